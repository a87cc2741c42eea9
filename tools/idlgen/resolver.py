"""Checks a parsed package and resolves every type reference.

Name lookup for a bare type name: the enclosing service's nested structures, then the
package, then the imported packages (a name found in two imports is ambiguous). A qualified
name "<last package segment>.<Name>" picks the package (the current one or an import).
"""

import re

from .errors import IdlError
from .model import Struct, Type

PRIMITIVES = ("string", "bool", "long", "datetime", "dynamic", "void")
CONTAINER_ARITY = {"optional": 1, "list": 1, "map": 2}

# Which annotations each kind of declaration accepts.
ANNOTATIONS = {
    "structure": ("metadata",),
    "field": ("resource", "key_resource"),
    "service": ("resource_type",),
    "enumeration": (),
    "operation": (),
}

NAME_RULES = {
    "package segment": re.compile(r"[a-z][a-z0-9_]*\Z"),
    "service path segment": re.compile(r"[a-z][a-z0-9_]*\Z"),
    "structure": re.compile(r"[A-Z][A-Za-z0-9]*\Z"),
    "enumeration": re.compile(r"[A-Z][A-Za-z0-9]*\Z"),
    "enumerator": re.compile(r"[A-Z][A-Z0-9_]*\Z"),
    "field": re.compile(r"[a-z][a-z0-9_]*\Z"),
    "parameter": re.compile(r"[a-z][a-z0-9_]*\Z"),
    "operation": re.compile(r"[a-z][a-z0-9_]*\Z"),
}
NAME_STYLE = {
    "structure": "UpperCamelCase", "enumeration": "UpperCamelCase",
    "enumerator": "UPPER_CASE", "field": "lower_case", "parameter": "lower_case",
    "operation": "lower_case", "package segment": "lower_case",
    "service path segment": "lower_case",
}


def check_name(kind, name, location):
    if not NAME_RULES[kind].match(name):
        raise IdlError(location, f"{kind} name '{name}' must be {NAME_STYLE[kind]}")


def check_unique(kind, items, name_of=lambda item: item.name):
    seen = set()
    for item in items:
        name = name_of(item)
        if name in seen:
            raise IdlError(item.location, f"duplicate {kind} '{name}'")
        seen.add(name)


def check_annotations(kind, annotations):
    allowed = ANNOTATIONS[kind]
    check_unique("annotation", annotations)
    for annotation in annotations:
        if annotation.name not in allowed:
            raise IdlError(annotation.location,
                           f"annotation '@{annotation.name}' is not allowed on a {kind}")


class Resolver:
    def __init__(self, package, imports):
        """`imports` maps package names to parsed packages that may be imported."""
        self.package = package
        self.available = imports
        self.imported = []

    def run(self):
        package = self.package
        for segment in package.name.split("."):
            check_name("package segment", segment, package.location)
        self.resolve_imports()
        check_unique("type", package.structs + package.enums)
        check_unique("service", package.services, lambda s: s.identifier)
        for enum in package.enums:
            self.check_enum(enum)
        for struct in package.structs:
            self.check_struct(struct, None)
        for service in package.services:
            self.check_service(service)
        return package

    def resolve_imports(self):
        check_unique("import", self.package.imports, lambda i: i.package)
        for imp in self.package.imports:
            if imp.package == self.package.name:
                raise IdlError(imp.location, "a package cannot import itself")
            if imp.package not in self.available:
                raise IdlError(imp.location, f"imported package '{imp.package}' is not available")
            self.imported.append(self.available[imp.package])

    # Declarations -----------------------------------------------------------------------

    def check_enum(self, enum):
        check_name("enumeration", enum.name, enum.location)
        check_annotations("enumeration", enum.annotations)
        for enumerator in enum.enumerators:
            if enumerator.name == "_UNKNOWN":
                raise IdlError(enumerator.location, "'_UNKNOWN' is reserved for unknown values")
            check_name("enumerator", enumerator.name, enumerator.location)
        check_unique("enumerator", enum.enumerators)

    def check_struct(self, struct, service):
        check_name("structure", struct.name, struct.location)
        check_annotations("structure", struct.annotations)
        if not struct.fields:
            raise IdlError(struct.location, f"structure '{struct.name}' declares no fields")
        check_unique("field", struct.fields)
        for field in struct.fields:
            check_name("field", field.name, field.location)
            check_annotations("field", field.annotations)
            self.resolve(field.type, service)
            self.check_field_annotations(field)
        annotated = [f for f in struct.fields if f.annotations]
        if annotated and struct.annotation("metadata") is None:
            raise IdlError(annotated[0].annotations[0].location,
                           f"structure '{struct.name}' has field metadata but no '@metadata'")

    @staticmethod
    def check_field_annotations(field):
        shape = field.type.resolved
        if shape.kind == "optional":
            shape = shape.args[0]
        wanted = {"resource": ("string", "a string"), "key_resource": ("map", "a map")}
        for annotation in field.annotations:
            kind, description = wanted[annotation.name]
            if shape.kind != kind:
                raise IdlError(annotation.location,
                               f"'@{annotation.name}' needs {description} field")

    def check_service(self, service):
        name = self.package.name
        identifier = service.identifier
        if identifier != name and not identifier.startswith(name + "."):
            raise IdlError(service.location,
                           f"service '{identifier}' is not inside package '{name}'")
        service.path = identifier[len(name) + 1:]
        for segment in filter(None, service.path.split(".")):
            check_name("service path segment", segment, service.location)
        check_annotations("service", service.annotations)
        check_unique("structure", service.structs)
        for struct in service.structs:
            self.check_struct(struct, service)
        check_unique("operation", service.operations)
        for operation in service.operations:
            self.check_operation(operation, service)

    def check_operation(self, operation, service):
        check_name("operation", operation.name, operation.location)
        check_annotations("operation", operation.annotations)
        check_unique("parameter", operation.parameters)
        for parameter in operation.parameters:
            check_name("parameter", parameter.name, parameter.location)
            self.resolve(parameter.type, service)
        self.resolve(operation.result, service, allow_void=True)
        check_unique("error", operation.errors, lambda ref: ref.name)
        for ref in operation.errors:
            if self.resolve(ref, service).kind != "struct":
                raise IdlError(ref.location, f"thrown type '{ref.name}' is not a structure")
        operation.error_structs = [ref.resolved.decl for ref in operation.errors]

    # Types ------------------------------------------------------------------------------

    def resolve(self, ref, service, allow_void=False):
        """Resolves `ref` (and its arguments) in the scope of `service` (or the package)."""
        if ref.name == "void" and not allow_void:
            raise IdlError(ref.location, "'void' is only allowed as an operation result")
        arity = CONTAINER_ARITY.get(ref.name, 0)
        if len(ref.args) != arity:
            raise IdlError(ref.location, f"'{ref.name}' takes {arity} type argument(s), "
                                         f"{len(ref.args)} given")
        args = [self.resolve(arg, service) for arg in ref.args]
        if ref.name == "map" and args[0].kind != "string":
            raise IdlError(ref.args[0].location, "map keys must be 'string'")
        if ref.name == "optional" and args[0].kind == "optional":
            raise IdlError(ref.args[0].location, "an optional cannot hold an optional")
        if ref.name in PRIMITIVES or arity:
            ref.resolved = Type(ref.name, args)
        else:
            decl = self.lookup(ref, service)
            ref.resolved = Type("struct" if isinstance(decl, Struct) else "enum", [], decl)
        return ref.resolved

    def lookup(self, ref, service):
        if "." in ref.name:
            return self.lookup_qualified(ref)
        scopes = [service.structs if service else [], self.package.structs + self.package.enums]
        for scope in scopes:
            found = [decl for decl in scope if decl.name == ref.name]
            if found:
                return found[0]
        found = [(p.name, d) for p in self.imported for d in p.structs + p.enums
                 if d.name == ref.name]
        if len(found) > 1:
            packages = ", ".join(name for name, _ in found)
            raise IdlError(ref.location, f"type '{ref.name}' is ambiguous (in {packages})")
        if not found:
            raise IdlError(ref.location, f"unknown type '{ref.name}'")
        return found[0][1]

    def lookup_qualified(self, ref):
        prefix, _, name = ref.name.rpartition(".")
        packages = [p for p in [self.package] + self.imported if p.last_segment == prefix]
        if not packages:
            raise IdlError(ref.location, f"unknown package '{prefix}' in '{ref.name}'")
        found = [d for d in packages[0].structs + packages[0].enums if d.name == name]
        if not found:
            raise IdlError(ref.location, f"unknown type '{ref.name}'")
        return found[0]


def resolve(package, imports):
    return Resolver(package, imports).run()
