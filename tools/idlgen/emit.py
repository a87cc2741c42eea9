"""Lays out the generated files of a resolved package from the templates."""

import os
from dataclasses import dataclass
from typing import List, Tuple

from . import cpp
from .model import Field, Struct
from .templates import render, render_all


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


def doc_comment(lines):
    return "\n".join(f"/// {line}".rstrip() for line in lines)


def namespaces(blocks: List[Tuple[str, str]]):
    """Wraps (namespace, text) blocks, merging neighbours in the same namespace."""
    merged = []
    for name, text in blocks:
        if not text:
            continue
        if merged and merged[-1][0] == name:
            merged[-1] = (name, merged[-1][1] + "\n\n" + text)
        else:
            merged.append((name, text))
    return "\n\n".join(render("namespace", name=name, body=body) for name, body in merged)


# Per construct -----------------------------------------------------------------------------


def struct_text(struct, keep_unknown_fields=True):
    known = sorted((f.name for f in struct.fields), key=lambda name: name.encode())
    fields = [{"doc": doc_comment(f.doc), "type": cpp.member_type(f.type.resolved),
               "name": f.name, "initialiser": cpp.initialiser(f.type.resolved)}
              for f in struct.fields]
    add_fields = [{"wire_name": f.name, "name": f.name} for f in struct.fields]
    known_names = ", ".join(f'"{name}"' for name in known)
    return render(
        "struct", doc=doc_comment(struct.doc), name=struct.name,
        fields=render_all("field", fields),
        known_names=render("known_names", known_names=known_names) if keep_unknown_fields else "",
        add_fields=render_all("add_field", add_fields, struct_name=struct.name),
        add_unknown_fields=render("add_unknown_fields") if keep_unknown_fields else "",
        unknown_fields_doc=render("unknown_fields_doc") if keep_unknown_fields else "")


def enum_text(enum):
    enumerators = [{"doc": doc_comment(e.doc), "name": e.name} for e in enum.enumerators]
    enumerators.append({"doc": "", "name": "_UNKNOWN"})
    separator = ",\n" if any(e.doc for e in enum.enumerators) else ", "
    strings = [f'"{e["name"]}"' for e in enumerators] + ["nullptr"]
    return render("enum", doc=doc_comment(enum.doc), name=enum.name,
                  enumerators=render_all("enumerator", enumerators, separator),
                  strings=", ".join(strings))


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
    return doc_comment(lines)


def parameters_text(operation):
    return ", ".join(render("parameter", type=type_name, name=name)
                     for type_name, name in cpp.signature_parameters(operation))


def input_text(operation):
    """The statements that build the operation's `Input` from the parameters."""
    return render("input_build", method=cpp.method_class(operation),
                  assignments=render_all("input_assignment",
                                         [{"name": p.name} for p in operation.parameters]))


def method_text(operation):
    errors = "".join(f", {cpp.qualified_name(e)}" for e in operation.error_structs)
    input_decl = (struct_text(input_struct(operation), keep_unknown_fields=False)
                  if operation.parameters else render("input_alias"))
    return render("method", method=cpp.method_class(operation), wire_name=operation.name,
                  base=cpp.OPERATION_BASES[operation.task],
                  result=cpp.member_type(operation.result.resolved), errors=errors,
                  input=input_decl)


def builder_text(operation):
    method = cpp.method_class(operation)
    fields = "".join(render("input_member", method=method, name=p.name)
                     for p in operation.parameters)
    return render("builder", builder=cpp.builder_name(operation),
                  kind=cpp.BUILDERS[operation.task], method=method, fields=fields)


def operation_items(service):
    """Per operation, the values that most templates of a service share."""
    return [{"name": cpp.operation_name(o), "method": cpp.method_class(o),
             "builder": cpp.builder_name(o), "parameters": parameters_text(o),
             "input": input_text(o), "invoker": cpp.INVOKERS[o.task],
             "doc": operation_doc(o)} for o in service.operations]


def service_text(service, package_name):
    _, class_name = cpp.service_scope(service, package_name)
    resource_type = service.annotation("resource_type")
    constants = render("constants", resource_type=resource_type) if resource_type else ""
    operations = operation_items(service)
    return render(
        "service", doc=doc_comment(service.doc), name=class_name,
        forward_declarations=render_all("forward_declaration",
                                        [{"name": s.name} for s in service.structs]),
        constants=constants,
        structs="\n\n".join(struct_text(s) for s in service.structs),
        methods="\n\n".join(method_text(o) for o in service.operations),
        interface=render("interface",
                         operations=render_all("interface_operation", operations, "\n\n")),
        stub=render("stub", operations=render_all("stub_operation", operations)),
        binder_helper=render("binder_helper",
                             builders="\n".join(builder_text(o) for o in service.operations)),
        binder=render("binder"),
        operation_list=render("operation_list",
                              entries=render_all("operation_entry", operations, ", ")),
        forwarding=render("forwarding",
                          operations=render_all("forwarding_operation", operations, "\n\n")))


def service_definitions(service, package_name):
    """The .cpp part of a service: Bind in slot order, then the stub operations."""
    _, class_name = cpp.service_scope(service, package_name)
    operations = operation_items(service)
    bind = render("bind_definition", service=class_name,
                  adds=render_all("bind_add", operations))
    stubs = render_all("stub_definition", operations, "\n\n", service=class_name)
    return "\n\n".join(filter(None, [bind, stubs]))


def service_interface(service, package_name):
    return "::" + "::".join(cpp.service_scope(service, package_name)) + "::AsyncServiceInterface"


def input_types(service, package_name):
    """Qualified names of the service's own `Input` structures (not `Ormi::OperationInput`)."""
    scope = "::" + "::".join(cpp.service_scope(service, package_name))
    return [f"{scope}::{cpp.method_class(o)}::Input" for o in service.operations if o.parameters]


def type_info_text(decl):
    name = cpp.qualified_name(decl)
    bases = render("struct_type_info_base", type=name) if isinstance(decl, Struct) else ""
    return render("type_info", type=name, bases=bases)


def service_type_info_text(service, package_name):
    """TypeInfo of the service interface (its identifier) and of each operation's Input."""
    interface = render("type_info", type=service_interface(service, package_name), bases="")
    inputs = [render("input_type_info", type=t) for t in input_types(service, package_name)]
    return "\n\n".join([interface] + inputs)


def metadata_entries(struct):
    entries = [{"call": cpp.METADATA_CALLS[a.name], "field": f.name, "resource_type": a.value}
               for f in struct.fields for a in f.annotations]
    return render_all("metadata_entry", entries, separator="")


# Per file ---------------------------------------------------------------------------------


def types_of(package):
    return package.all_structs(), package.enums


def with_metadata(package):
    return [s for s in package.all_structs() if s.annotation("metadata") is not None]


def header_text(package, layout):
    structs, enums = types_of(package)
    namespace = cpp.package_namespace(package.name)
    package_doc = "\n".join(["//"] + [f"// {line}".rstrip() for line in package.doc])
    blocks = [
        (namespace, render_all("forward_declaration", [{"name": s.name} for s in package.structs])),
        (namespace, "\n\n".join(enum_text(e) for e in package.enums)),
        (namespace, "\n\n".join(struct_text(s) for s in package.structs)),
    ]
    blocks += [(cpp.service_scope(s, package.name)[0], service_text(s, package.name))
               for s in package.services]
    blocks += [("Ormi::Data", "\n\n".join(
                   [type_info_text(d) for d in enums + structs]
                   + [service_type_info_text(s, package.name) for s in package.services])),
               ("Ormi::Metadata", render_all(
                   "metadata_declaration",
                   [{"type": cpp.qualified_name(s)} for s in with_metadata(package)], "\n\n"))]
    return render("header", banner=render("banner", source=layout.source),
                  package_doc=package_doc if package.doc else "",
                  service_includes=render("service_includes") if package.services else "",
                  imports=render_all("include", [{"path": p} for p in layout.imports]),
                  body=namespaces(blocks))


def source_text(package, layout):
    structs, enums = types_of(package)
    names = [{"type": cpp.qualified_name(d), "canonical_name": cpp.canonical_name(d)}
             for d in enums + structs]
    names += [{"type": service_interface(s, package.name), "canonical_name": s.identifier}
              for s in package.services]
    metadata = [{"type": cpp.qualified_name(s), "metadata_name": s.annotation("metadata"),
                 "entries": metadata_entries(s)} for s in with_metadata(package)]
    blocks = [("Ormi::Data", render_all("type_info_name", names, "\n\n")),
              ("Ormi::Metadata", render_all("metadata_definition", metadata, "\n\n"))]
    blocks += [(cpp.service_scope(s, package.name)[0], service_definitions(s, package.name))
               for s in package.services]
    return render("source", banner=render("banner", source=layout.source),
                  header=layout.header, body=namespaces(blocks))


def type_list_text(package, layout):
    structs, enums = types_of(package)
    return render("type_list", banner=render("banner", source=layout.source),
                  header=layout.header, namespace=cpp.package_namespace(package.name),
                  structures=", ".join(cpp.qualified_name(s) for s in structs),
                  enumerations=", ".join(cpp.qualified_name(e) for e in enums))


def service_list_text(package, layout):
    services = ["::" + "::".join(cpp.service_scope(s, package.name)) for s in package.services]
    return render("service_list", banner=render("banner", source=layout.source),
                  header=layout.header, namespace=cpp.package_namespace(package.name),
                  services=", ".join(services))


def generate(package, layout):
    """The generated files as {path relative to the output directory: text}."""
    files = {
        os.path.join("include", layout.header): header_text(package, layout),
        os.path.join("include", layout.type_list_header): type_list_text(package, layout),
        os.path.join("include", layout.service_list_header): service_list_text(package, layout),
        os.path.join("src", layout.source_file): source_text(package, layout),
    }
    return {path: text + "\n" for path, text in files.items()}
