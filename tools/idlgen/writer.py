"""Formats generated text and writes it only when it differs from what is on disk."""

import os
import shutil
import subprocess


def clang_format(text, style_file, file_name):
    """Formats `text` with clang-format when it is on PATH; otherwise returns it as is."""
    if shutil.which("clang-format") is None:
        return text
    style = f"--style=file:{style_file}" if style_file else "--style=Google"
    result = subprocess.run(["clang-format", style, f"--assume-filename={file_name}"],
                            input=text, capture_output=True, text=True, check=True)
    return result.stdout


def write_if_changed(path, text):
    """Writes `text` to `path` unless the file already holds exactly it; True if written."""
    try:
        with open(path, encoding="utf-8") as existing:
            if existing.read() == text:
                return False
    except FileNotFoundError:
        pass
    os.makedirs(os.path.dirname(path) or ".", exist_ok=True)
    with open(path, "w", encoding="utf-8") as out:
        out.write(text)
    return True
