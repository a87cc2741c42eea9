"""Generator of C++ bindings from interface definition files.

Pipeline: lexer -> parser (model) -> resolver (validation, type resolution) -> emitter
(C++ naming and type mapping, text from templates/) -> writer (format, write if changed).
"""
