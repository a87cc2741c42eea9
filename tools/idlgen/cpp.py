"""C++ names and member types of the declarations of a resolved package."""

import re

# Native member types of the primitive types.
PRIMITIVE_TYPES = {
    "string": "std::string",
    "bool": "bool",
    "long": "std::int64_t",
    "datetime": "::Ormi::DateTime",
    "dynamic": "::Ormi::Data::DynamicStructure",
    "void": "::Ormi::Void",
}
# Default member initialisers, for members that would otherwise start indeterminate.
INITIALISERS = {"bool": "false", "long": "0"}
# Builder calls of structure metadata, by field annotation.
METADATA_CALLS = {"resource": "Identifier", "key_resource": "MapKey"}


def upper_camel(word):
    """"host_settings" -> "HostSettings"."""
    return "".join(part[:1].upper() + part[1:] for part in word.split("_"))


def snake(name):
    """"ConfigSpec" -> "config_spec", "URLSpec" -> "url_spec"."""
    name = re.sub(r"([A-Z]+)([A-Z][a-z])", r"\1_\2", name)
    return re.sub(r"([a-z0-9])([A-Z])", r"\1_\2", name).lower()


def package_namespace(package_name):
    """"com.norval.hyrn.settings_daemon" -> "Com::Norval::Hyrn::SettingsDaemon"."""
    return "::".join(upper_camel(segment) for segment in package_name.split("."))


def service_scope(service, package_name):
    """The namespace and class name of a service.

    The path after the package gives nested namespaces and the class ("config.components.keys"
    -> "...::Config::Components", "KeysSvc"); the package's own service sits beside the
    package namespace ("com.norval.hyrn.host_settings" -> "Com::Norval::Hyrn",
    "HostSettingsSvc")."""
    segments = package_name.split(".") + list(filter(None, service.path.split(".")))
    namespace = "::".join(upper_camel(segment) for segment in segments[:-1])
    return namespace, upper_camel(segments[-1]) + "Svc"


def scope_of(decl):
    """The C++ scope that declares a structure or enumeration."""
    if decl.service is None:
        return package_namespace(decl.package)
    return "::".join(service_scope(decl.service, decl.package))


def qualified_name(decl):
    return f"::{scope_of(decl)}::{decl.name}"


def canonical_name(decl):
    """The wire name: package, service path for a nested structure, snake_case name."""
    service_path = decl.service.path if decl.service else ""
    return ".".join(filter(None, [decl.package, service_path, snake(decl.name)]))


def member_type(t):
    """The native member type of a resolved type."""
    if t.kind in PRIMITIVE_TYPES:
        return PRIMITIVE_TYPES[t.kind]
    if t.kind == "enum":
        return qualified_name(t.decl)
    if t.kind == "struct":
        return f"std::shared_ptr<{qualified_name(t.decl)} const>"
    inner = t.args[-1]
    if t.kind == "optional" and inner.kind == "struct":
        return f"::Ormi::OptionalPtr<{qualified_name(inner.decl)} const>"
    containers = {"optional": "boost::optional<{}>", "list": "std::list<{}>",
                  "map": "std::map<std::string, {}>"}
    return containers[t.kind].format(member_type(inner))


def initialiser(t):
    """The member's default initialiser, or None when it needs none."""
    return INITIALISERS.get(t.kind)


# Operations -------------------------------------------------------------------------------

ACTIVATION_TYPE = "std::shared_ptr<::Ormi::Core::AsyncActivation>"
# Result object, frame base class and client invoker of ordinary and task operations.
RESULT_OBJECTS = {False: "AsyncResult", True: "AsyncTaskResult"}
OPERATION_BASES = {False: "Operation", True: "TaskOperation"}
INVOKERS = {False: "AsyncMethodInvoker", True: "AsyncTaskMethodInvoker"}
BUILDERS = {False: "MethodBuilder", True: "TaskMethodBuilder"}


def operation_name(operation):
    """"get" -> "Get": the interface's member function."""
    return upper_camel(operation.name)


def method_class(operation):
    """"get" -> "GetMethod": the operation's descriptor class."""
    return operation_name(operation) + "Method"


def builder_name(operation):
    """"GetMethodBuilder", or "ApplyTaskMethodBuilder" for a task operation."""
    return operation_name(operation) + BUILDERS[operation.task]


def result_object(operation):
    """The result object an implementation completes and a caller passes to the stub."""
    kind = RESULT_OBJECTS[operation.task]
    value = member_type(operation.result.resolved)
    return f"::Ormi::{kind}<{value}, ::Ormi::{kind}TerminateCbPolicy>"


def signature_parameters(operation):
    """(type, name) of every parameter of the interface function, in order."""
    return ([(member_type(p.type.resolved), p.name) for p in operation.parameters]
            + [(ACTIVATION_TYPE, "activation"), (result_object(operation), "result")])
