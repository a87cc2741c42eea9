"""Renders the Jinja2 templates of templates/, one per generated construct.

Templates receive plain data prepared by emit.py (names, C++ types, lists in their final
order) and decide only the layout. Two rules keep the templates free of whitespace markers:
a printed value never ends with a line break of its own, so a macro called on a line by
itself yields exactly its lines; and no generated line keeps trailing blanks (an empty doc
comment line, for one).
"""

import functools
import os

import jinja2

TEMPLATE_DIR = os.path.join(os.path.dirname(os.path.abspath(__file__)), "templates")


def cpp_string(text):
    """A C++ string literal; strings of the definition language carry no escapes."""
    return f'"{text}"'


def without_final_line_break(value):
    return value.rstrip("\n") if isinstance(value, str) else value


@functools.lru_cache(maxsize=None)
def environment():
    env = jinja2.Environment(
        loader=jinja2.FileSystemLoader(TEMPLATE_DIR), undefined=jinja2.StrictUndefined,
        trim_blocks=True, lstrip_blocks=True, keep_trailing_newline=True, autoescape=False,
        finalize=without_final_line_break)
    env.filters["cpp_string"] = cpp_string
    return env


def render(template, /, **context):
    """Fills `templates/<template>.tmpl`; a name the template uses must be given."""
    text = environment().get_template(template + ".tmpl").render(**context)
    return "\n".join(line.rstrip() for line in text.split("\n"))
