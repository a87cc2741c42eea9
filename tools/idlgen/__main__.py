"""Command line: python3 -m idlgen <file.idl> --root <repo> --include-dir <dir> --out <dir>.

Writes <out>/include/<include-dir>/<stem>.h, the type list and service list headers beside
it, and <out>/src/<stem>/<stem>.cpp, each only when its content changes. Errors are printed as
`file:line:column: error: message` and exit with status 1.
"""

import argparse
import os
import sys

from . import emit
from .errors import IdlError
from .parser import parse_file
from .resolver import resolve
from .writer import clang_format, write_if_changed


def arguments(argv):
    parser = argparse.ArgumentParser(prog="idlgen", description=__doc__.split("\n")[0])
    parser.add_argument("idl", help="the definition file to generate")
    parser.add_argument("--root", default=".", help="repository root (for the banner paths)")
    parser.add_argument("--include-dir", required=True, help="e.g. hyrn/api/host_settings")
    parser.add_argument("--out", required=True, help="output directory")
    parser.add_argument("--import", dest="imports", action="append", default=[],
                        metavar="FILE=INCLUDE_DIR",
                        help="a definition file that may be imported, and its include dir")
    parser.add_argument("--type-list", default="type_list.h",
                        help="type list header name; the service list header is named after it, "
                             "with \"service_list\" for \"type_list\"")
    parser.add_argument("--style-file", help="clang-format style file "
                                             "(default: <root>/.clang-format)")
    parser.add_argument("--stamp", help="file touched after a successful run")
    return parser.parse_args(argv)


def display_path(path, root):
    """The path relative to the repository root when it lies inside it."""
    relative = os.path.relpath(os.path.abspath(path), os.path.abspath(root))
    return path if relative.startswith("..") else relative.replace(os.sep, "/")


def stem(path):
    return os.path.splitext(os.path.basename(path))[0]


def load_imports(specs, root):
    """Parses the importable files: {package name: package}, {package name: header path}."""
    packages, headers = {}, {}
    for spec in specs:
        path, _, include_dir = spec.partition("=")
        package = parse_file(path, display_path(path, root))
        packages[package.name] = package
        headers[package.name] = f"{include_dir}/{stem(path)}.h"
    return packages, headers


def run(options):
    imports, headers = load_imports(options.imports, options.root)
    package = resolve(parse_file(options.idl, display_path(options.idl, options.root)), imports)
    layout = emit.Layout(source=display_path(options.idl, options.root),
                         include_dir=options.include_dir, stem=stem(options.idl),
                         type_list=options.type_list,
                         imports=[headers[i.package] for i in package.imports])
    style_file = options.style_file or os.path.join(options.root, ".clang-format")
    style_file = style_file if os.path.exists(style_file) else None
    for relative, text in emit.generate(package, layout).items():
        text = clang_format(text, style_file, os.path.basename(relative))
        write_if_changed(os.path.join(options.out, relative), text)
    if options.stamp:
        write_if_changed(options.stamp, "")
        os.utime(options.stamp)


def main(argv=None):
    options = arguments(argv)
    try:
        run(options)
    except IdlError as error:
        print(error, file=sys.stderr)
        return 1
    except OSError as error:
        print(f"idlgen: error: {error}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
