"""Diagnostics with a source location."""

from dataclasses import dataclass


@dataclass(frozen=True)
class Location:
    path: str
    line: int
    column: int

    def __str__(self):
        return f"{self.path}:{self.line}:{self.column}"


class IdlError(Exception):
    """A parse or semantic error, printed as `file:line:column: error: message`."""

    def __init__(self, location, message):
        super().__init__(f"{location}: error: {message}")
        self.location = location
        self.message = message
