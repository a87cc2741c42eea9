#!/usr/bin/env python3
"""Checks the JSON Schema of the plain JSON form with a JSON Schema validator.

Runs the sample program given as the argument (plain_json_schema_samples.cpp), which prints
one line per operation input and output: the schema, valid payloads and broken payloads.
Each schema must be a valid draft 2020-12 schema whose every "$ref" resolves inside it; every
valid payload must be accepted and every broken payload rejected.
"""

import json
import subprocess
import sys
import urllib.parse

import jsonschema


def refs(node):
    """Every "$ref" value in a schema."""
    if isinstance(node, dict):
        for key, value in node.items():
            if key == "$ref":
                yield value
            else:
                yield from refs(value)
    elif isinstance(node, list):
        for value in node:
            yield from refs(value)


def resolves(schema, ref):
    """Whether a "#/..." reference names a part of `schema`."""
    if not ref.startswith("#/"):
        return False
    node = schema
    for token in urllib.parse.unquote(ref[2:]).split("/"):
        token = token.replace("~1", "/").replace("~0", "~")
        if not isinstance(node, dict) or token not in node:
            return False
        node = node[token]
    return True


def check(line):
    """The problems with one operation part, as texts."""
    problems = []
    name, schema = line["name"], line["schema"]
    try:
        jsonschema.Draft202012Validator.check_schema(schema)
    except jsonschema.SchemaError as error:
        return [f"{name}: not a valid schema: {error.message}"]
    problems += [f"{name}: dangling $ref {ref}" for ref in refs(schema) if not resolves(schema, ref)]
    validator = jsonschema.Draft202012Validator(
        schema, format_checker=jsonschema.Draft202012Validator.FORMAT_CHECKER)
    for payload in line["valid"]:
        for error in validator.iter_errors(payload):
            problems.append(f"{name}: valid payload rejected at {list(error.absolute_path)}: "
                            f"{error.message}\n  {json.dumps(payload)}")
    for broken in line["broken"]:
        if validator.is_valid(broken["payload"]):
            problems.append(f"{name}: payload with {broken['why']} accepted\n"
                            f"  {json.dumps(broken['payload'])}")
    return problems


def main():
    output = subprocess.run([sys.argv[1]], check=False, capture_output=True, text=True)
    sys.stderr.write(output.stderr)
    problems = [] if output.returncode == 0 else [f"{sys.argv[1]} exited {output.returncode}"]
    lines = [json.loads(text) for text in output.stdout.splitlines()]
    for line in lines:
        problems += check(line)
    for problem in problems:
        print(problem)
    valid = sum(len(line["valid"]) for line in lines)
    broken = sum(len(line["broken"]) for line in lines)
    print(f"{len(lines)} schemas, {valid} valid and {broken} broken payloads, "
          f"{len(problems)} problems")
    return 1 if problems or not lines else 0


if __name__ == "__main__":
    sys.exit(main())
