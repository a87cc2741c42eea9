"""Every parse and semantic error names the file, line and column of the fault."""

import contextlib
import io
import os
import tempfile
import unittest

import support
from idlgen.__main__ import main
from idlgen.errors import IdlError
from idlgen.parser import parse
from idlgen.resolver import resolve

BASE = "package com.norval.hyrn.base;\nstruct Shared { a: string; }\nenum Level { LOW }\n"
OTHER = "package com.norval.hyrn.other;\nstruct Shared { b: string; }\n"
IMPORTABLE = {p.name: p for p in (parse("base.idl", BASE), parse("other.idl", OTHER))}


def error_of(body, header="package com.norval.hyrn.t;\n"):
    """The message of the error that `header + body` raises, or None when it is accepted."""
    try:
        resolve(parse("t.idl", header + body), IMPORTABLE)
    except IdlError as error:
        return str(error)
    return None


# (source after the package line, expected "file:line:column: error: message")
LEXICAL_AND_SYNTAX = [
    ("struct A { a: string; }\n$", "t.idl:3:1: error: unexpected character '$'"),
    ('@metadata("open\n', "t.idl:2:11: error: unterminated string"),
    ("struct A { a: string }", "t.idl:2:22: error: expected ';', found '}'"),
    ("struct A { a string; }", "t.idl:2:14: error: expected ':', found 'string'"),
    ("struct A { a: list<string; }", "t.idl:2:26: error: expected '>', found ';'"),
    ("struct A {\n  a: string;\n  /// dangling\n}",
     "t.idl:4:3: error: doc comment not followed by a field"),
    ("/// dangling\n", "t.idl:2:1: error: doc comment not followed by a declaration"),
    ('service "com.norval.hyrn.t" {\n  /// dangling\n}',
     "t.idl:3:3: error: doc comment not followed by a structure or operation"),
    ("enum E { }", "t.idl:2:10: error: expected an enumerator, found '}'"),
    ("service x { }", "t.idl:2:9: error: expected the service identifier as a string, found 'x'"),
    ('service "com.norval.hyrn.t" { get(a: string) }',
     "t.idl:2:46: error: expected '->', found '}'"),
    ("typedef A;", "t.idl:2:1: error: expected 'struct', 'enum' or 'service', found 'typedef'"),
]

SEMANTIC = [
    ("struct A { a: Missing; }", "t.idl:2:15: error: unknown type 'Missing'"),
    ("import com.norval.hyrn.base;\nstruct A { a: base.Missing; }",
     "t.idl:3:15: error: unknown type 'base.Missing'"),
    ("struct A { a: nowhere.B; }", "t.idl:2:15: error: unknown package 'nowhere' in 'nowhere.B'"),
    ("struct A { a: string; }\nstruct A { b: string; }", "t.idl:3:1: error: duplicate type 'A'"),
    ("struct A { a: string; }\nenum A { X }", "t.idl:3:1: error: duplicate type 'A'"),
    ("struct A { a: string; a: bool; }", "t.idl:2:23: error: duplicate field 'a'"),
    ("struct A { }", "t.idl:2:1: error: structure 'A' declares no fields"),
    ("enum E { X, Y, X }", "t.idl:2:16: error: duplicate enumerator 'X'"),
    ("enum E { X, _UNKNOWN }", "t.idl:2:13: error: '_UNKNOWN' is reserved for unknown values"),
    ("struct A { a: map<bool, string>; }", "t.idl:2:19: error: map keys must be 'string'"),
    ("struct A { a: void; }",
     "t.idl:2:15: error: 'void' is only allowed as an operation result"),
    ("struct A { a: list<void>; }",
     "t.idl:2:20: error: 'void' is only allowed as an operation result"),
    ("struct A { a: list<string, string>; }",
     "t.idl:2:15: error: 'list' takes 1 type argument(s), 2 given"),
    ("struct A { a: string<bool>; }",
     "t.idl:2:15: error: 'string' takes 0 type argument(s), 1 given"),
    ("struct A { a: optional<optional<string>>; }",
     "t.idl:2:24: error: an optional cannot hold an optional"),
    ("struct A { Name: string; }",
     "t.idl:2:12: error: field name 'Name' must be lower_case"),
    ("struct a_b { x: string; }", "t.idl:2:1: error: structure name 'a_b' must be UpperCamelCase"),
    ("enum E { lower }", "t.idl:2:10: error: enumerator name 'lower' must be UPPER_CASE"),
    ('struct A { @metadata("m") a: string; }',
     "t.idl:2:12: error: annotation '@metadata' is not allowed on a field"),
    ('@resource("r") struct A { a: string; }',
     "t.idl:2:1: error: annotation '@resource' is not allowed on a structure"),
    ('@resource_type("r") enum E { X }',
     "t.idl:2:1: error: annotation '@resource_type' is not allowed on a enumeration"),
    ('@metadata("a") @metadata("b") struct A { a: string; }',
     "t.idl:2:16: error: duplicate annotation 'metadata'"),
    ('@colour("red") struct A { a: string; }',
     "t.idl:2:1: error: annotation '@colour' is not allowed on a structure"),
    ('@metadata("m") struct A { @resource("r") a: bool; }',
     "t.idl:2:27: error: '@resource' needs a string field"),
    ('@metadata("m") struct A { @key_resource("r") a: list<string>; }',
     "t.idl:2:27: error: '@key_resource' needs a map field"),
    ('struct A { @resource("r") a: string; }',
     "t.idl:2:12: error: structure 'A' has field metadata but no '@metadata'"),
    ('service "com.norval.hyrn.other.x" { }',
     "t.idl:2:1: error: service 'com.norval.hyrn.other.x' is not inside package "
     "'com.norval.hyrn.t'"),
    ('service "com.norval.hyrn.t.x" { }\nservice "com.norval.hyrn.t.x" { }',
     "t.idl:3:1: error: duplicate service 'com.norval.hyrn.t.x'"),
    ('service "com.norval.hyrn.t.Bad" { }',
     "t.idl:2:1: error: service path segment name 'Bad' must be lower_case"),
    ('service "com.norval.hyrn.t" { get() -> void; get() -> void; }',
     "t.idl:2:46: error: duplicate operation 'get'"),
    ('service "com.norval.hyrn.t" { get(a: string, a: bool) -> void; }',
     "t.idl:2:46: error: duplicate parameter 'a'"),
    ('service "com.norval.hyrn.t" { get(a: void) -> void; }',
     "t.idl:2:38: error: 'void' is only allowed as an operation result"),
    ('enum E { X }\nservice "com.norval.hyrn.t" { get() -> void throws E; }',
     "t.idl:3:52: error: thrown type 'E' is not a structure"),
    ('struct A { a: string; }\nservice "com.norval.hyrn.t" { get() -> void throws A, A; }',
     "t.idl:3:55: error: duplicate error 'A'"),
    ('service "com.norval.hyrn.t" { @metadata("m") get() -> void; }',
     "t.idl:2:31: error: annotation '@metadata' is not allowed on a operation"),
    ('service "com.norval.hyrn.t.x" { struct N { a: string; } }\nstruct A { n: N; }',
     "t.idl:3:15: error: unknown type 'N'"),
]

IMPORTS = [
    ("import com.norval.hyrn.missing;\n",
     "t.idl:2:1: error: imported package 'com.norval.hyrn.missing' is not available"),
    ("import com.norval.hyrn.t;\n", "t.idl:2:1: error: a package cannot import itself"),
    ("import com.norval.hyrn.base;\nimport com.norval.hyrn.base;\n",
     "t.idl:3:1: error: duplicate import 'com.norval.hyrn.base'"),
    ("import com.norval.hyrn.base;\nimport com.norval.hyrn.other;\nstruct A { s: Shared; }",
     "t.idl:4:15: error: type 'Shared' is ambiguous (in com.norval.hyrn.base, "
     "com.norval.hyrn.other)"),
    ("import com.norval.hyrn.base;\nstruct A { s: Shared; }", None),
    ("import com.norval.hyrn.base;\nimport com.norval.hyrn.other;\nstruct A { s: other.Shared; }",
     None),
]


class ErrorTest(unittest.TestCase):
    def check(self, cases):
        for body, expected in cases:
            with self.subTest(body=body):
                self.assertEqual(error_of(body), expected)

    def test_lexical_and_syntax_errors(self):
        self.check(LEXICAL_AND_SYNTAX)

    def test_semantic_errors(self):
        self.check(SEMANTIC)

    def test_import_errors_and_qualified_names(self):
        self.check(IMPORTS)

    def test_a_missing_package_line(self):
        self.assertEqual(error_of("struct A { a: string; }", header=""),
                         "t.idl:1:1: error: expected 'package', found 'struct'")

    def test_nested_structures_shadow_package_ones_in_their_service(self):
        source = ('struct N { a: string; }\n'
                  'service "com.norval.hyrn.t.x" { struct N { b: bool; } get() -> N; }')
        package = resolve(parse("t.idl", "package com.norval.hyrn.t;\n" + source), {})
        result = package.services[0].operations[0].result.resolved
        self.assertIs(result.decl, package.services[0].structs[0])


class CommandLineErrorTest(unittest.TestCase):
    def test_error_is_printed_with_location_and_exit_status_is_one(self):
        with tempfile.TemporaryDirectory() as directory:
            idl = os.path.join(directory, "bad.idl")
            with open(idl, "w", encoding="utf-8") as target:
                target.write("package com.norval.hyrn.bad;\nstruct A {\n  a: strin;\n}\n")
            stderr = io.StringIO()
            with contextlib.redirect_stderr(stderr):
                status = main([idl, "--root", directory, 
                               "--out", os.path.join(directory, "out")])
        self.assertEqual(status, 1)
        self.assertEqual(stderr.getvalue(), "bad.idl:3:6: error: unknown type 'strin'\n")


if __name__ == "__main__":
    unittest.main()
