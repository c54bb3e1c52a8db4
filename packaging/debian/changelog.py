#!/usr/bin/env python3
"""Writes the change log in the form Debian packages carry it, from
CHANGELOG.md: one entry per released version, newest first, each item of
the version's sections as one wrapped `*` line.

Usage: changelog.py CHANGELOG.md PACKAGE MAINTAINER
"""
import datetime
import email.utils
import re
import sys
import textwrap

source, package, maintainer = sys.argv[1:]
releases = []  # (version, date, [items])
for line in open(source, encoding="utf-8"):
    heading = re.match(r"## \[(\d[\d.]*)\] - (\d{4}-\d{2}-\d{2})", line)
    if heading:
        releases.append((heading[1], heading[2], []))
    elif line.startswith("## "):
        releases.append(None)  # [Unreleased]: not in a package
    elif releases and releases[-1] is not None:
        items = releases[-1][2]
        if line.startswith("- "):
            items.append(line[2:].strip())
        elif line.startswith("  ") and items:
            items[-1] += " " + line.strip()

for version, date, items in (r for r in releases if r is not None):
    print(f"{package} ({version}) unstable; urgency=medium\n")
    for item in items:
        print(textwrap.fill(item, width=79, initial_indent="  * ", subsequent_indent="    ",
                            break_long_words=False, break_on_hyphens=False))
    day = datetime.datetime.fromisoformat(date).replace(tzinfo=datetime.timezone.utc)
    print(f"\n -- {maintainer}  {email.utils.format_datetime(day)}\n")
