"""Lays out the generated files of a resolved package from the templates."""

import os
from dataclasses import dataclass
from typing import List, Tuple

from . import cpp
from .model import Field, Struct
from .templates import render


@dataclass
class Layout:
    """Where the generated files of one package go and what they are called."""
    source: str  # the definition file, relative to the repository root
    package: str  # e.g. "com.norval.hyrn.host_settings"
    stem: str  # file stem of the definition file, e.g. "host_settings"
    imports: List[str]  # include paths of the imported packages' headers

    @staticmethod
    def include_dir_of(package):
        """The package's folder: its name with dots as folders, as its namespace reads."""
        return package.replace(".", "/")

    @staticmethod
    def header_of(package, stem):
        return f"{Layout.include_dir_of(package)}/{stem}.h"

    @property
    def header(self):
        return self.header_of(self.package, self.stem)

    @property
    def type_list_header(self):
        return f"{self.include_dir_of(self.package)}/{self.stem}_types.h"

    @property
    def service_list_header(self):
        return f"{self.include_dir_of(self.package)}/{self.stem}_services.h"

    @property
    def source_file(self):
        return f"{self.stem}/{self.stem}.cpp"


def namespace_blocks(parts: List[Tuple[str, dict]]):
    """Groups (namespace, part) pairs into blocks, merging neighbours in the same namespace."""
    blocks = []
    for name, part in parts:
        if blocks and blocks[-1]["name"] == name:
            blocks[-1]["parts"].append(part)
        else:
            blocks.append({"name": name, "parts": [part]})
    return blocks


# Per construct: the data its template lays out ----------------------------------------------


def struct_view(struct, keeps_unknown_fields=True):
    known_names = sorted((f.name for f in struct.fields), key=lambda name: name.encode())
    return {
        "kind": "struct", "name": struct.name, "doc": struct.doc,
        "fields": [{"name": f.name, "doc": f.doc, "type": cpp.member_type(f.type.resolved),
                    "initialiser": cpp.initialiser(f.type.resolved),
                    "rank": known_names.index(f.name)} for f in struct.fields],
        "keeps_unknown_fields": keeps_unknown_fields,
        "known_names": known_names,
    }


def enum_view(enum):
    return {"kind": "enum", "name": enum.name, "doc": enum.doc,
            "enumerators": [{"name": e.name, "doc": e.doc} for e in enum.enumerators]}


def input_struct(operation):
    """The operation's `Input`: its parameters as fields, in order."""
    fields = [Field(p.name, p.type, p.doc, [], p.location) for p in operation.parameters]
    return Struct("Input", fields, [], [], operation.location)


def operation_doc(operation):
    """The operation's doc comment, then one entry per documented parameter."""
    lines = list(operation.doc)
    for parameter in operation.parameters:
        for number, line in enumerate(parameter.doc):
            lines.append(f"{parameter.name}: {line}" if number == 0 else f"  {line}")
    return lines


def operation_view(operation):
    return {
        "name": cpp.operation_name(operation), "wire_name": operation.name,
        "doc": operation_doc(operation), "method": cpp.method_class(operation),
        "base": cpp.OPERATION_BASES[operation.task],
        "result": cpp.member_type(operation.result.resolved),
        "errors": [cpp.qualified_name(e) for e in operation.error_structs],
        "input": (struct_view(input_struct(operation), keeps_unknown_fields=False)
                  if operation.parameters else None),
        "input_fields": [p.name for p in operation.parameters],
        "parameters": [{"type": type_name, "name": name}
                       for type_name, name in cpp.signature_parameters(operation)],
        "builder": cpp.builder_name(operation), "builder_kind": cpp.BUILDERS[operation.task],
        "invoker": cpp.INVOKERS[operation.task],
    }


def service_view(service, package_name):
    return {"kind": "service", "name": cpp.service_scope(service, package_name)[1],
            "doc": service.doc, "resource_type": service.annotation("resource_type"),
            "structs": [struct_view(s) for s in service.structs],
            "operations": [operation_view(o) for o in service.operations]}


def service_interface(service, package_name):
    return "::" + "::".join(cpp.service_scope(service, package_name)) + "::AsyncServiceInterface"


def input_types(service, package_name):
    """Qualified names of the service's own `Input` structures (not `Ormi::OperationInput`)."""
    scope = "::" + "::".join(cpp.service_scope(service, package_name))
    return [f"{scope}::{cpp.method_class(o)}::Input" for o in service.operations if o.parameters]


def type_info_view(type_name, form, canonical_name=None):
    return {"kind": "type_info", "type": type_name, "form": form,
            "canonical_name": canonical_name}


def declared_type_info(decl):
    """TypeInfo of a structure or enumeration, with its canonical name."""
    return type_info_view(cpp.qualified_name(decl), "struct" if isinstance(decl, Struct)
                          else "plain", cpp.canonical_name(decl))


def service_type_info(service, package_name):
    """TypeInfo of the service interface: its name is the service identifier."""
    return type_info_view(service_interface(service, package_name), "plain", service.identifier)


def metadata_view(struct):
    return {"kind": "metadata", "type": cpp.qualified_name(struct),
            "name": struct.annotation("metadata"),
            "entries": [{"call": cpp.METADATA_CALLS[a.name], "field": f.name,
                         "resource_type": a.value}
                        for f in struct.fields for a in f.annotations]}


# Per file ---------------------------------------------------------------------------------


def types_of(package):
    """Enumerations, then structures (the package's, then those nested in services)."""
    return package.enums + package.all_structs()


def with_metadata(package):
    return [s for s in package.all_structs() if s.annotation("metadata") is not None]


def header_parts(package):
    namespace = cpp.package_namespace(package.name)
    parts = []
    if package.structs:
        parts.append((namespace, {"kind": "forward_declarations",
                                  "names": [s.name for s in package.structs]}))
    parts += [(namespace, enum_view(e)) for e in package.enums]
    parts += [(namespace, struct_view(s)) for s in package.structs]
    parts += [(cpp.service_scope(s, package.name)[0], service_view(s, package.name))
              for s in package.services]
    parts += [("Ormi::Data", declared_type_info(d)) for d in types_of(package)]
    for service in package.services:
        parts.append(("Ormi::Data", service_type_info(service, package.name)))
        parts += [("Ormi::Data", type_info_view(t, "input"))
                  for t in input_types(service, package.name)]
    parts += [("Ormi::Metadata", metadata_view(s)) for s in with_metadata(package)]
    return parts


def source_parts(package):
    parts = [("Ormi::Data", declared_type_info(d)) for d in types_of(package)]
    parts += [("Ormi::Data", service_type_info(s, package.name)) for s in package.services]
    parts += [("Ormi::Metadata", metadata_view(s)) for s in with_metadata(package)]
    parts += [(cpp.service_scope(s, package.name)[0], service_view(s, package.name))
              for s in package.services]
    return parts


def header_text(package, layout):
    return render("header", source=layout.source, package_doc=package.doc,
                  imports=layout.imports, has_services=bool(package.services),
                  namespaces=namespace_blocks(header_parts(package)))


def source_text(package, layout):
    return render("source", source=layout.source, header=layout.header,
                  namespaces=namespace_blocks(source_parts(package)))


def type_list_text(package, layout):
    return render("type_list", source=layout.source, header=layout.header,
                  namespace=cpp.package_namespace(package.name),
                  structures=[cpp.qualified_name(s) for s in package.all_structs()],
                  enumerations=[cpp.qualified_name(e) for e in package.enums])


def service_list_text(package, layout):
    return render("service_list", source=layout.source, header=layout.header,
                  namespace=cpp.package_namespace(package.name),
                  services=["::" + "::".join(cpp.service_scope(s, package.name))
                            for s in package.services])


def generate(package, layout):
    """The generated files as {path relative to the output directory: text}."""
    return {
        os.path.join("include", layout.header): header_text(package, layout),
        os.path.join("include", layout.type_list_header): type_list_text(package, layout),
        os.path.join("include", layout.service_list_header): service_list_text(package, layout),
        os.path.join("src", layout.source_file): source_text(package, layout),
    }
