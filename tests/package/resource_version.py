#!/usr/bin/env python3
"""Prints the FileVersion text of a Windows DLL's version resource, read from
the file's bytes: the key and its value are UTF-16, the value aligned to 32 bits.

Usage: resource_version.py DLL
"""
import sys

data = open(sys.argv[1], "rb").read()
key = "FileVersion\0".encode("utf-16-le")
at = data.find(key)
if at < 0:
    sys.exit("no FileVersion in " + sys.argv[1])
at += len(key)
at += (4 - at % 4) % 4
end = at
while data[end:end + 2] != b"\0\0":
    end += 2
print(data[at:end].decode("utf-16-le"))
