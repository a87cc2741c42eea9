"""Recursive-descent parser from tokens to the model.

    file       := doc* "package" qname ";" import* declaration*
    import     := doc* "import" qname ";"
    declaration:= doc* annotation* (struct | enum | service)
    annotation := "@" ident "(" string ")"
    struct     := "struct" ident "{" field* "}"
    field      := doc* annotation* ident ":" type ";"
    enum       := "enum" ident "{" doc* ident ("," doc* ident)* ","? "}"
    service    := "service" string "{" (doc* annotation* (struct | operation))* "}"
    operation  := ["task"] ident "(" [param ("," param)*] ")" "->" type
                  ["throws" type ("," type)*] ";"
    param      := doc* ident ":" type
    type       := qname ["<" type ("," type)* ">"]
"""

from .errors import IdlError
from .lexer import tokenize
from . import model


class Parser:
    def __init__(self, path, text):
        self.path = path
        self.tokens = tokenize(path, text)
        self.pos = 0

    # Token access -----------------------------------------------------------------------

    def peek(self, offset=0):
        return self.tokens[min(self.pos + offset, len(self.tokens) - 1)]

    def take(self):
        token = self.peek()
        self.pos += 1
        return token

    def at(self, text, offset=0):
        token = self.peek(offset)
        return token.kind in ("punct", "ident") and token.text == text

    def fail(self, expected, token=None):
        token = token or self.peek()
        raise IdlError(token.location, f"expected {expected}, found {token.describe()}")

    def expect(self, text):
        if not self.at(text):
            self.fail(f"'{text}'")
        return self.take()

    def expect_kind(self, kind, what):
        if self.peek().kind != kind:
            self.fail(what)
        return self.take()

    def accept(self, text):
        if self.at(text):
            self.take()
            return True
        return False

    # Building blocks --------------------------------------------------------------------

    def doc(self):
        lines = []
        while self.peek().kind == "doc":
            lines.append(self.take().text)
        return lines

    def leading(self, closing, what):
        """The doc comment and annotations before a declaration; a doc comment followed by
        `closing` instead of a declaration is an error."""
        start = self.peek()
        doc, annotations = self.doc(), self.annotations()
        ended = self.peek().kind == "eof" or (closing and self.at(closing))
        if doc and not annotations and ended:
            raise IdlError(start.location, f"doc comment not followed by {what}")
        return doc, annotations

    def qualified_name(self, what):
        parts = [self.expect_kind("ident", what).text]
        while self.accept("."):
            parts.append(self.expect_kind("ident", "a name after '.'").text)
        return ".".join(parts)

    def annotations(self):
        result = []
        while self.at("@"):
            start = self.take().location
            name = self.expect_kind("ident", "an annotation name").text
            self.expect("(")
            value = self.expect_kind("string", "a string argument").text
            self.expect(")")
            result.append(model.Annotation(name, value, start))
        return result

    def type_ref(self):
        location = self.peek().location
        name = self.qualified_name("a type")
        args = []
        if self.accept("<"):
            args.append(self.type_ref())
            while self.accept(","):
                args.append(self.type_ref())
            self.expect(">")
        return model.TypeRef(name, args, location)

    # Declarations -----------------------------------------------------------------------

    def parse(self):
        doc = self.doc()
        location = self.expect("package").location
        name = self.qualified_name("a package name")
        self.expect(";")
        imports, structs, enums, services = [], [], [], []
        while self.at("import") or (self.peek().kind == "doc" and self.next_keyword() == "import"):
            imports.append(self.import_declaration())
        while self.peek().kind != "eof":
            decl_doc, annotations = self.leading(None, "a declaration")
            if self.at("struct"):
                structs.append(self.struct(decl_doc, annotations))
            elif self.at("enum"):
                enums.append(self.enum(decl_doc, annotations))
            elif self.at("service"):
                services.append(self.service(decl_doc, annotations))
            else:
                self.fail("'struct', 'enum' or 'service'")
        package = model.Package(name, doc, imports, structs, enums, services, self.path, location)
        link_declarations(package)
        return package

    def next_keyword(self):
        offset = 0
        while self.peek(offset).kind == "doc":
            offset += 1
        return self.peek(offset).text

    def import_declaration(self):
        doc = self.doc()
        location = self.expect("import").location
        name = self.qualified_name("a package name")
        self.expect(";")
        return model.Import(name, doc, location)

    def struct(self, doc, annotations):
        location = self.expect("struct").location
        name = self.expect_kind("ident", "a structure name").text
        self.expect("{")
        fields = []
        while not self.accept("}"):
            fields.append(self.field())
        return model.Struct(name, fields, doc, annotations, location)

    def field(self):
        doc, annotations = self.leading("}", "a field")
        token = self.expect_kind("ident", "a field name or '}'")
        self.expect(":")
        type_ref = self.type_ref()
        self.expect(";")
        return model.Field(token.text, type_ref, doc, annotations, token.location)

    def enum(self, doc, annotations):
        location = self.expect("enum").location
        name = self.expect_kind("ident", "an enumeration name").text
        self.expect("{")
        enumerators = [self.enumerator()]
        while self.accept(",") and not self.at("}"):
            enumerators.append(self.enumerator())
        self.expect("}")
        return model.Enum(name, enumerators, doc, annotations, location)

    def enumerator(self):
        doc = self.doc()
        token = self.expect_kind("ident", "an enumerator")
        return model.Enumerator(token.text, doc, token.location)

    def service(self, doc, annotations):
        location = self.expect("service").location
        identifier = self.expect_kind("string", "the service identifier as a string").text
        self.expect("{")
        structs, operations = [], []
        while not self.accept("}"):
            member_doc, member_annotations = self.leading("}", "a structure or operation")
            if self.at("struct"):
                structs.append(self.struct(member_doc, member_annotations))
            else:
                operations.append(self.operation(member_doc, member_annotations))
        return model.Service(identifier, structs, operations, doc, annotations, location)

    def operation(self, doc, annotations):
        task = self.accept("task")
        token = self.expect_kind("ident", "'struct', an operation name or '}'")
        self.expect("(")
        parameters = []
        if not self.at(")"):
            parameters.append(self.parameter())
            while self.accept(","):
                parameters.append(self.parameter())
        self.expect(")")
        self.expect("->")
        result = self.type_ref()
        errors = []
        if self.accept("throws"):
            errors.append(self.type_ref())
            while self.accept(","):
                errors.append(self.type_ref())
        self.expect(";")
        return model.Operation(token.text, parameters, result, errors, task, doc, annotations,
                               token.location)

    def parameter(self):
        doc = self.doc()
        token = self.expect_kind("ident", "a parameter name")
        self.expect(":")
        return model.Parameter(token.text, self.type_ref(), doc, token.location)


def link_declarations(package):
    """Records on every declaration its package and, for a nested structure, its service."""
    for decl in package.structs + package.enums:
        decl.package = package.name
    for service in package.services:
        for struct in service.structs:
            struct.package, struct.service = package.name, service


def parse(path, text):
    return Parser(path, text).parse()


def parse_file(path, display_path=None):
    with open(path, encoding="utf-8") as source:
        return parse(display_path or path, source.read())
