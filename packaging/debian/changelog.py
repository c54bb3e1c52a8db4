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

releases = [r for r in releases if r is not None]
# Each entry must be newer than the one below it: releases of one day are
# put an hour apart, in their order.
times = []
for _, date, _ in reversed(releases):
    time = datetime.datetime.fromisoformat(date).replace(tzinfo=datetime.timezone.utc)
    if times and time <= times[-1]:
        time = times[-1] + datetime.timedelta(hours=1)
    times.append(time)

for (version, _, items), time in zip(releases, reversed(times)):
    print(f"{package} ({version}) unstable; urgency=medium\n")
    for item in items:
        print(textwrap.fill(item, width=79, initial_indent="  * ", subsequent_indent="    ",
                            break_long_words=False, break_on_hyphens=False))
    print(f"\n -- {maintainer}  {email.utils.format_datetime(time)}\n")
