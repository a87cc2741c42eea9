"""The parsed form of a definition file.

The parser fills the declarations; the resolver fills `TypeRef.resolved` and
`Operation.error_structs`, so later stages never look a name up again.
"""

from dataclasses import dataclass, field
from typing import List, Optional

from .errors import Location


@dataclass
class Annotation:
    name: str
    value: str
    location: Location


@dataclass
class Type:
    """A resolved type: a primitive ("string", "bool", "long", "datetime", "dynamic", "void"), a
    container ("optional", "list", "map" with `args`), or "struct"/"enum" with `decl`."""
    kind: str
    args: List["Type"] = field(default_factory=list)
    decl: Optional[object] = None


@dataclass
class TypeRef:
    """A type as written: a name (possibly qualified, "errors.Error") with arguments."""
    name: str
    args: List["TypeRef"]
    location: Location
    resolved: Optional[Type] = None


@dataclass
class Field:
    name: str
    type: TypeRef
    doc: List[str]
    annotations: List[Annotation]
    location: Location


@dataclass
class Struct:
    name: str
    fields: List[Field]
    doc: List[str]
    annotations: List[Annotation]
    location: Location
    package: str = ""
    service: Optional["Service"] = None  # the enclosing service of a nested structure

    def annotation(self, name):
        return next((a.value for a in self.annotations if a.name == name), None)


@dataclass
class Enumerator:
    name: str
    doc: List[str]
    location: Location


@dataclass
class Enum:
    name: str
    enumerators: List[Enumerator]
    doc: List[str]
    annotations: List[Annotation]
    location: Location
    package: str = ""
    service: Optional["Service"] = None  # always None: enumerations live in the package


@dataclass
class Parameter:
    name: str
    type: TypeRef
    doc: List[str]
    location: Location


@dataclass
class Operation:
    name: str
    parameters: List[Parameter]
    result: TypeRef
    errors: List[TypeRef]
    task: bool
    doc: List[str]
    annotations: List[Annotation]
    location: Location
    error_structs: List[Struct] = field(default_factory=list)


@dataclass
class Service:
    identifier: str
    structs: List[Struct]
    operations: List[Operation]
    doc: List[str]
    annotations: List[Annotation]
    location: Location
    path: str = ""  # the identifier after the package name, "" for the package's own service

    def annotation(self, name):
        return next((a.value for a in self.annotations if a.name == name), None)


@dataclass
class Import:
    package: str
    doc: List[str]
    location: Location


@dataclass
class Package:
    name: str
    doc: List[str]
    imports: List[Import]
    structs: List[Struct]
    enums: List[Enum]
    services: List[Service]
    path: str  # the source file as given on the command line
    location: Location

    @property
    def last_segment(self):
        return self.name.rsplit(".", 1)[-1]

    def all_structs(self):
        """Package structures in file order, then each service's nested ones."""
        nested = [s for service in self.services for s in service.structs]
        return self.structs + nested
