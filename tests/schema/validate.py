#!/usr/bin/env python3
"""Validates ombrel-scan output against the schemas in doc/schema.

Usage: validate.py <schema dir> <report|lines|cache> <file>...
A 'lines' file is validated line by line. Prints the outcomes seen, one per
line, so that the caller can check that every outcome was exercised.
Exit code: 0 valid, 1 invalid, 2 the validator cannot run."""
import json
import pathlib
import sys
import warnings

try:
    import jsonschema
except ImportError:
    print("python3-jsonschema is not installed", file=sys.stderr)
    sys.exit(2)


def outcomes(document):
    if isinstance(document, dict):
        if "outcome" in document:
            yield document["outcome"]
        for value in document.values():
            yield from outcomes(value)
    elif isinstance(document, list):
        for value in document:
            yield from outcomes(value)


def main():
    folder, kind, files = pathlib.Path(sys.argv[1]), sys.argv[2], sys.argv[3:]
    schemas = {}
    for path in folder.glob("*.schema.json"):
        schema = json.loads(path.read_text())
        jsonschema.Draft7Validator.check_schema(schema)
        schemas[schema["$id"]] = schema
    root = next(s for s in schemas.values() if s["$id"].endswith(f"ombrel-scan-{kind}.schema.json"))
    with warnings.catch_warnings():
        # Newer releases prefer another resolver; Debian 12's has only this one.
        warnings.simplefilter("ignore", DeprecationWarning)
        resolver = jsonschema.RefResolver.from_schema(root, store=schemas)
    validator = jsonschema.Draft7Validator(root, resolver=resolver)
    seen, failed = set(), False
    for name in files:
        text = pathlib.Path(name).read_text(encoding="utf-8")
        documents = [json.loads(line) for line in text.splitlines()] if kind == "lines" else [json.loads(text)]
        for number, document in enumerate(documents, 1):
            for error in validator.iter_errors(document):
                failed = True
                where = "/".join(str(p) for p in error.absolute_path)
                print(f"{name}:{number}: {where}: {error.message}", file=sys.stderr)
            seen.update(outcomes(document))
    print("\n".join(sorted(seen)))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
