"""Splits a definition file into tokens.

Line comments ("//") are dropped; doc comments ("///") become DOC tokens whose text is the
comment without the slashes and one leading space.
"""

from dataclasses import dataclass

from .errors import IdlError, Location

PUNCTUATION = ("->", ";", "{", "}", "(", ")", "<", ">", ",", ":", ".", "@")


@dataclass(frozen=True)
class Token:
    kind: str  # "ident", "string", "doc", "punct" or "eof"
    text: str
    location: Location

    def describe(self):
        if self.kind == "eof":
            return "end of file"
        if self.kind == "doc":
            return "doc comment"
        return f"'{self.text}'"


class Lexer:
    def __init__(self, path, text):
        self.path = path
        self.text = text
        self.pos = 0
        self.line = 1
        self.column = 1

    def location(self):
        return Location(self.path, self.line, self.column)

    def advance(self, count):
        for char in self.text[self.pos:self.pos + count]:
            if char == "\n":
                self.line += 1
                self.column = 1
            else:
                self.column += 1
        self.pos += count

    def rest_of_line(self):
        end = self.text.find("\n", self.pos)
        return self.text[self.pos:] if end < 0 else self.text[self.pos:end]

    def tokens(self):
        result = []
        while True:
            token = self.next_token()
            if token is None:
                continue
            result.append(token)
            if token.kind == "eof":
                return result

    def next_token(self):
        """Returns the next token, or None after skipping blanks or a line comment."""
        if self.pos >= len(self.text):
            return Token("eof", "", self.location())
        char = self.text[self.pos]
        start = self.location()
        if char.isspace():
            self.advance(1)
            return None
        if self.text.startswith("///", self.pos):
            line = self.rest_of_line()
            self.advance(len(line))
            body = line[3:]
            return Token("doc", body[1:] if body.startswith(" ") else body, start)
        if self.text.startswith("//", self.pos):
            self.advance(len(self.rest_of_line()))
            return None
        if char.isalpha() or char == "_":
            return Token("ident", self.take_while(lambda c: c.isalnum() or c == "_"), start)
        if char == '"':
            return Token("string", self.string_literal(start), start)
        for punct in PUNCTUATION:
            if self.text.startswith(punct, self.pos):
                self.advance(len(punct))
                return Token("punct", punct, start)
        raise IdlError(start, f"unexpected character '{char}'")

    def take_while(self, predicate):
        end = self.pos
        while end < len(self.text) and predicate(self.text[end]):
            end += 1
        word = self.text[self.pos:end]
        self.advance(end - self.pos)
        return word

    def string_literal(self, start):
        """A double-quoted string without escapes; it may not span lines."""
        line = self.rest_of_line()
        end = line.find('"', 1)
        if end < 0:
            raise IdlError(start, "unterminated string")
        self.advance(end + 1)
        return line[1:end]


def tokenize(path, text):
    return Lexer(path, text).tokens()
