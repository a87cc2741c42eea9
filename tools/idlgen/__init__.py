"""Generator of C++ bindings from interface definition files.

Pipeline: lexer -> parser (model) -> resolver (validation, type resolution) -> emitter
(C++ naming and type mapping, the data of each construct) -> templates (their layout, with
Jinja2) -> writer (format, write if changed).
"""
