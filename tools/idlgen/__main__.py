"""Command line: python3 -m idlgen <file.idl> --root <repo> --out <dir> [--import <file.idl>]...

Writes <out>/include/<package path>/<stem>.h, the type list and service list headers beside
it (<stem>_types.h, <stem>_services.h), and <out>/src/<stem>/<stem>.cpp, each only when its
content changes. The package path is the package name with dots as folders
("com.norval.hyrn.hosts" -> "com/norval/hyrn/hosts"), so a header is found from its namespace.
Errors are printed as `file:line:column: error: message` and exit with status 1.
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
    parser.add_argument("--out", required=True, help="output directory")
    parser.add_argument("--import", dest="imports", action="append", default=[],
                        metavar="FILE", help="a definition file that may be imported")
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
    for path in specs:
        package = parse_file(path, display_path(path, root))
        packages[package.name] = package
        headers[package.name] = emit.Layout.header_of(package.name, stem(path))
    return packages, headers


def run(options):
    imports, headers = load_imports(options.imports, options.root)
    package = resolve(parse_file(options.idl, display_path(options.idl, options.root)), imports)
    layout = emit.Layout(source=display_path(options.idl, options.root), package=package.name,
                         stem=stem(options.idl),
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
