"""Loads and fills the text templates of templates/ (string.Template syntax).

A template line that holds nothing but one placeholder disappears when the placeholder
expands to nothing, so optional parts (a missing doc comment, no constants) leave no gap.
"""

import functools
import os
import re
import string

TEMPLATE_DIR = os.path.join(os.path.dirname(os.path.abspath(__file__)), "templates")
LONE_PLACEHOLDER = re.compile(r"^[ \t]*\$\{?(\w+)\}?[ \t]*$")


@functools.lru_cache(maxsize=None)
def load(name):
    with open(os.path.join(TEMPLATE_DIR, name + ".tmpl"), encoding="utf-8") as source:
        text = source.read()
    return text[:-1] if text.endswith("\n") else text


def render(template, /, **values):
    """Fills `template`; every placeholder must be given (KeyError otherwise)."""
    lines = [line for line in load(template).split("\n")
             if not is_empty_placeholder_line(line, values)]
    return string.Template("\n".join(lines)).substitute(values)


def is_empty_placeholder_line(line, values):
    match = LONE_PLACEHOLDER.match(line)
    return bool(match) and values.get(match.group(1)) == ""


def render_all(template, items, separator="\n", /, **shared):
    """Fills `template` once per dict in `items` and joins the results."""
    return separator.join(render(template, **shared, **item) for item in items)
