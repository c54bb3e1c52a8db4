#!/usr/bin/env python3
"""Compares Double Commander's file panel, copied to the clipboard as text,
with what the command-line host reported through the same plug-in.

Usage: doublecmd_compare.py PANEL_TEXT EXPECTED_JSONL [--code-page=CODEC] [FILE=DBNAME ...]

Every row must hold the host's values; a date may be in whatever format the
locale gives it, so only its year, month and day are compared. Each
FILE=DBNAME names a database whose name cell must read exactly DBNAME (UTF-8),
as written by hand in the test, not taken from the host; so must the name the
host shows for it. A text value's
bytes are read as UTF-8, as hosts on Linux read them, or with --code-page in
that code page (a Python codec: cp1252, cp1251, cp932), as Windows hosts
read them in their ANSI code page.
"""
import json
import re
import sys


def date_parts(cell):
    return sorted(int(n) % 100 if len(n) == 4 else int(n) for n in re.findall(r"\d+", cell))


def cell_matches(field, cell, codec):
    if field["result"] == 8:
        return cell == bytes.fromhex(field["bytes"]).split(b"\0")[0].decode(codec, "replace")
    if field["result"] == 4:
        y, m, d = (int(n) for n in field["shown"].split("-"))
        return date_parts(cell) == sorted([y % 100, m, d])
    return cell == ""  # no value: an empty cell


def main(panel_path, expected_path, *literals):
    codec = "utf-8"
    if literals and literals[0].startswith("--code-page="):
        codec = literals[0].split("=", 1)[1]
        literals = literals[1:]
    rows = {}
    for line in open(panel_path, encoding="utf-8", errors="replace").read().splitlines():
        if line.strip():
            cells = line.split("\t")
            rows[cells[0]] = cells[1:]
    problems = []
    expected_files = 0
    shown_names = {}
    for line in open(expected_path, encoding="utf-8"):
        entry = json.loads(line)
        expected_files += 1
        file = entry["file"].replace("\\", "/").rsplit("/", 1)[-1]  # the panel shows names only
        shown_names[file] = entry["fields"][0]["shown"]
        got = rows.get(file)
        if got is None or len(got) != len(entry["fields"]):
            problems.append(f"{file}: row missing or incomplete: {got}")
            continue
        for field, cell in zip(entry["fields"], got):
            if not cell_matches(field, cell, codec):
                problems.append(f"{file} {field['name']}: panel {cell!r}, host {field['shown']!r}")
    if len(rows) != expected_files:
        problems.append(f"{len(rows)} rows in the panel, {expected_files} files")
    for literal in literals:
        file, name = literal.split("=", 1)
        got = rows.get(file, ["(row missing)"])[0]
        if got != name:
            problems.append(f"{file}: name shown as {got!r}, written as {name!r}")
        if shown_names.get(file) != name:  # the host reads it as the panel does
            problems.append(f"{file}: the host shows the name as {shown_names.get(file)!r}, written as {name!r}")
    print("\n".join(problems) if problems else
          f"all {expected_files} rows and 8 columns agree; {len(literals)} names exactly as written")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:]))
