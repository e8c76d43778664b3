#!/usr/bin/env python3
"""Validates a durandex JSON result against doc/durandex-result.schema.json.

Usage: validate_result.py SCHEMA RESULT. Prints each violation and exits 1;
exits 2 when python3-jsonschema is missing."""
import json
import sys

try:
    import jsonschema
except ImportError:
    print("python3-jsonschema is not installed")
    sys.exit(2)

schema = json.load(open(sys.argv[1]))
jsonschema.Draft202012Validator.check_schema(schema)
problems = list(jsonschema.Draft202012Validator(schema).iter_errors(json.load(open(sys.argv[2]))))
for problem in problems:
    print(f"{'/'.join(map(str, problem.absolute_path))}: {problem.message}")
sys.exit(1 if problems else 0)
