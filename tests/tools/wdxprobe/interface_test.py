#!/usr/bin/env python3
"""The command-line host against a plug-in of ours that has a field of every
value type and writes down what the host tells it: the whole interface as a
host uses it, the command line, and the three outputs.

Usage: interface_test.py PROBE RECORDING_PLUGIN VERSION WORK_DIR
(KORVEL_EMULATOR, if set, is the command that runs PROBE: another processor's.)

Every expected value is written here from what the plug-in's source puts in
its answers, never taken from wdxprobe's own output.
"""
import csv
import io
import json
import os
import shutil
import subprocess
import unicodedata
import sys

probe, plugin, version, work = sys.argv[1:]
probe = [*os.environ.get("KORVEL_EMULATOR", "").split(), probe]
problems = []


def check(label, got, want):
    if got != want:
        problems.append(f"{label}: got {got!r}, expected {want!r}")


def run(*arguments, status=0, env=None):
    result = subprocess.run([*probe, *arguments], capture_output=True, env=env, timeout=60)
    if result.returncode != status:
        problems.append(f"{' '.join(arguments)}: status {result.returncode}, expected {status}\n"
                        f"{result.stderr.decode(errors='replace')}")
    return result.stdout.decode("utf-8", "replace"), result.stderr.decode("utf-8", "replace")


shutil.rmtree(work, ignore_errors=True)
os.makedirs(work)
log = os.path.join(work, "calls.log")
env = dict(os.environ, KORVEL_RECORDING_LOG=log, XDG_CONFIG_HOME=os.path.join(work, "config"))
for name in ["a.rec"] + [f"code-{n}.rec" for n in range(1, 7)]:
    open(os.path.join(work, name), "w").close()


def calls():
    with open(log) as lines:
        entries = lines.read().splitlines()
    os.remove(log)
    return entries


# The command line as people expect it.
out, err = run(status=2)
check("no arguments: usage line", err.splitlines()[1] if len(err.splitlines()) > 1 else err,
      "Usage: wdxprobe [OPTIONS] PLUGIN [PATH...]")
out, err = run("--version")
check("--version", out.strip(), f"wdxprobe {version}")
out, err = run("--help")
for code in ("0  every file was asked about, or named", "1  a PATH does not exist", "2  a usage error"):
    if code not in out:
        problems.append(f"--help does not list exit status {code!r}")
run(plugin, "--no-such-option", status=2)
out, err = run(plugin, "--json", "--csv", ".", status=2)
check("--json with --csv", err.splitlines()[0] if err else "", "wdxprobe: --json and --csv exclude each other")

# --list: types, units, flags and sort orders.
out, err = run(plugin, "--list", env=env)
rows = {line.split()[1]: line for line in out.splitlines()[2:] if line[:5].strip().isdigit()}
check("--list Count", rows["Count"].split()[2:5], ["1", "int32", "-"])
check("--list Count units", rows["Count"].split()[-1], "one|dozen")
check("--list Mode units", rows["Mode"].split()[-1], "alpha|beta|gamma")
check("--list Size flags", rows["Size"].split()[4], "size")
check("--list Stamp sort", rows["Stamp"].split()[5], "descending")
check("--list Day sort", rows["Day"].split()[5], "ascending")
check("--list plug-in flags", out.splitlines()[-1], "Flags of the plug-in as a whole: edit,size")
calls()

# Every value type, through the JSON output.
ini = os.path.join(work, "chosen", "settings.ini")
fields = "IniPath,Interface,Count,Count{dozen},Big,Ratio,Size,Day,Clock,Flag,Mode,Wide,Stamp,Story,StoryW,Result"
out, err = run(plugin, "--json", "--ini", ini, "--fields", fields, os.path.join(work, "a.rec"), env=env)
entry = json.loads(out)
shown = {(f["name"], f.get("unit")): f for f in entry["fields"]}
story = ""
line = 1
while len(story) < 5000:
    story += f"line {line}\n"
    line += 1
story = story[:5000]
expected = {
    ("IniPath", None): (8, ini),
    ("Interface", None): (8, "2.12 size 272"),
    ("Count", "one"): (1, "7"),
    ("Count", "dozen"): (1, "-12"),
    ("Big", None): (2, "-1234567890123"),
    ("Ratio", None): (3, "0.25"),
    ("Size", None): (3, "1.5 MB"),
    ("Day", None): (4, "2024-02-29"),
    ("Clock", None): (5, "23:59:08"),
    ("Flag", None): (6, "true"),
    ("Mode", None): (7, "beta"),  # its units are its choices, not units of a value
    ("Wide", None): (11, "Grüße 日本 𝄞"),
    ("Stamp", None): (10, "2024-05-06T07:08:09.5Z"),
    ("Story", None): (9, story),
    ("StoryW", None): (12, story),
    ("Result", None): (8, "no code"),
}
for key, (result, text) in expected.items():
    field = shown.get(key)
    if field is None:
        problems.append(f"no value for {key}")
        continue
    check(f"{key} result", field["result"], result)
    check(f"{key} shown", field["shown"], text)
check("Count bytes", shown[("Count", "one")]["bytes"], "07000000")
check("Wide bytes", shown[("Wide", None)]["bytes"][:8], "47007200")
made = calls()
check("first call", made[0], f"params 2.12 size 272 {ini}")
check("full text offsets",
      [c for c in made if c.startswith("fulltext Story ")],
      [f"fulltext Story offset {n}" for n in (0, 1000, 2000, 3000, 4000, 5000, -1)])
check("wide full text offsets (bytes)",
      [c for c in made if c.startswith("fulltext StoryW ")],
      [f"fulltext StoryW offset {n}" for n in (0, 2000, 4000, 6000, 8000, 10000, -1)])
check("last call", made[-1], "unloading")

# The result codes as words.
out, err = run(plugin, "--json", "--fields", "Result", work, env=env)
words = {json.loads(line)["file"]: json.loads(line)["fields"][0]["shown"] for line in out.splitlines()}
check("result words", [words[os.path.join(work, f"code-{n}.rec")] for n in range(1, 7)],
      ["no such field", "file error", "empty", "on demand", "not supported", "cancelled"])
made = calls()
check("default settings path", made[0], f"params 2.12 size 272 {os.path.join(work, 'config', 'wdxprobe.ini')}")

# A full text cut at the bound: stopped, then released.
out, err = run(plugin, "--json", "--max-text", "1500", "--fields", "Story", os.path.join(work, "a.rec"), env=env)
field = json.loads(out)["fields"][0]
check("cut text", field["shown"], story[:1500])
check("cut mark", field.get("cut"), True)
made = calls()
check("calls of a cut text", made[1:],
      ["fulltext Story offset 0", "fulltext Story offset 1000", f"stop {os.path.join(work, 'a.rec')}",
       "fulltext Story offset -1", "unloading"])

# Units: asked by name, refused when the field has no such unit.
out, err = run(plugin, "--fields", "Count{gross}", work, status=2, env=env)
check("unknown unit", err.strip(), "wdxprobe: the field Count has no unit gross; its units: one|dozen")
out, err = run(plugin, "--fields", "Colour", work, status=2, env=env)
check("unknown field", err.strip(), "wdxprobe: the plug-in has no field named Colour")

# CSV for spreadsheets: RFC 4180 quoting, CR LF line ends.
odd = os.path.join(work, 'a,"b".ini')
out, err = run(plugin, "--csv", "--ini", odd, "--fields", "IniPath,Count{dozen},Story",
               os.path.join(work, "a.rec"), env=env)
lines = out.split("\r\n")
check("CSV header", lines[0], "File,IniPath,Count{dozen},Story")
check("CSV quoting", f'"{work}/a,""b"".ini"' in lines[1], True)
parsed = list(csv.reader(io.StringIO(out, newline="")))
check("CSV parsed back", parsed[1][1:], [odd, "-12", story])

# The table: one line per file, values padded to their column's width on a
# terminal ("日本" takes four columns, "Grüße 日本 𝄞" twelve).
path = os.path.join(work, "a.rec")
out, err = run(plugin, "--fields", "Mode,Wide,Count", path, env=env)
check("table", out.splitlines(), ["File".ljust(len(path) + 2) + "Mode  " + "Wide" + " " * 10 + "Count",
                                  f"{path}  beta  Grüße 日本 𝄞  7"])

# Nothing from a file name, a value or a message that a terminal would act
# on reaches it: C0 controls (CR too), DEL and C1 controls show escaped, in
# the table, the CSV and the JSON; so do bidirectional and zero-width
# characters in the table and the CSV, where they would reorder the columns.
hostile = "\x1b]0;owned\x07\x1b[2J\x7f\u009b\r\u202e\u2066\u200b\ufeff"
controls_shown = "\\u001b]0;owned\\u0007\\u001b[2J\\u007f\\u009b"
shown = controls_shown + "\\u000d\\u202e\\u2066\\u200b\\ufeff"
folder = os.path.join(work, "hostile")
os.makedirs(folder)
open(os.path.join(folder, f"n{hostile}.rec"), "w").close()
for output, want, formats in (([], shown, True), (["--csv"], shown, True), (["--json"], controls_shown + "\\r", False)):
    out, err = run(plugin, *output, "--ini", os.path.join(work, f"i{hostile}.ini"), "--fields", "IniPath",
                   folder, env=env)
    controls = [c for c in out.replace("\r\n", "\n") if (ord(c) < 0x20 and c != "\n") or 0x7F <= ord(c) <= 0x9F
                or (formats and unicodedata.category(c) == "Cf")]
    check(f"controls {output or 'table'}", (controls, out.count(want)), ([], 2))
out, err = run(plugin, "--fields", f"Colour{hostile}", work, status=2, env=env)
check("controls in a message", err.strip(), f"wdxprobe: the plug-in has no field named Colour{shown}")
# A library for another processor is named as such (the C library would say
# "No such file or directory"): here the header of a 32-bit SPARC one.
sparc = os.path.join(work, "sparc.wdx")
with open(sparc, "wb") as out_file:
    out_file.write(b"\x7fELF\x01\x02\x01" + bytes(9) + b"\x00\x03\x00\x02" + bytes(60))
out, err = run(sparc, "--list", status=2, env=env)
check("another processor", err.split(": ", 2)[-1].split(", not for")[0], "a library for ELF machine 2, 32-bit")
out, err = run(plugin, "--fields", "Count", os.path.join(work, "notes.txt"), status=1, env=env)
check("missing file", err.strip(), f"wdxprobe: {work}/notes.txt: no such file or folder")
open(os.path.join(work, "notes.txt"), "w").close()
out, err = run(plugin, "--fields", "Count", os.path.join(work, "notes.txt"), env=env)
check("not asked", err.strip(), f"wdxprobe: {work}/notes.txt: not asked: the plug-in's detect string does not match "
      "it; --all asks anyway")
os.remove(os.path.join(work, "notes.txt"))

# Two folders that each hold a file of one name give two rows; names that
# are not UTF-8 keep the columns in line.
for sub in ("one", "two"):
    os.makedirs(os.path.join(work, sub))
    open(os.path.join(work, sub, "x.rec"), "w").close()
open(os.path.join(os.fsencode(work), b"two", b"caf\xe9\xe9\xe9.rec"), "w").close()
out, err = run(plugin, "--fields", "Count", os.path.join(work, "one"), os.path.join(work, "two"), env=env)
rows = out.splitlines()
check("rows by path", [row.split()[0] for row in rows[1:]],
      [os.path.join(work, "one", "x.rec"), os.path.join(work, "two", "caf\\udce9\\udce9\\udce9.rec"),
       os.path.join(work, "two", "x.rec")])
check("columns in line", len({len(row) - len(row.split()[-1]) for row in rows}), 1)

# Under a locale of a legacy charset names are read in it: JSON and CSV give
# them in UTF-8, the table in the terminal's charset; a byte that is no
# character of it (0x98 in Windows-1251) shows as \udc98 everywhere.
legacy = os.path.join(os.fsencode(work), b"legacy")
os.makedirs(legacy)
for name in (b"\xc7\xe0\xec\xe5\xf2\xea\xe8.rec", b"a\x98.rec"):
    open(os.path.join(legacy, name), "w").close()
cp1251 = dict(env, LC_ALL="ru_RU.CP1251")
names = [os.path.join(work, "legacy", "a\\udc98.rec"), os.path.join(work, "legacy", "Заметки.rec")]
out, err = run(plugin, "--json", "--fields", "Count", os.fsdecode(legacy), env=cp1251)
check("legacy names in JSON", [json.loads(line)["file"] for line in out.splitlines()], names)
out, err = run(plugin, "--csv", "--fields", "Count", os.fsdecode(legacy), env=cp1251)
check("legacy names in CSV", [row[0] for row in csv.reader(io.StringIO(out, newline=""))][1:], names)
table = subprocess.run([*probe, plugin, "--fields", "Count", legacy], capture_output=True, env=cp1251, timeout=60)
check("legacy names in the table", [line.split()[0] for line in table.stdout.splitlines()[1:]],
      [os.path.join(legacy, b"a\\udc98.rec"), os.path.join(legacy, b"\xc7\xe0\xec\xe5\xf2\xea\xe8.rec")])

# A folder or file that cannot be read is named, the others still shown,
# and the status is 1 (root reads everything: then as nobody).
locked = os.path.join(work, "locked")
os.makedirs(os.path.join(locked, "folder"))
open(os.path.join(locked, "file.rec"), "w").close()
os.chmod(os.path.join(locked, "folder"), 0)
os.chmod(os.path.join(locked, "file.rec"), 0)
as_user = ["setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"] if os.geteuid() == 0 else []
result = subprocess.run([*as_user, *probe, plugin, "--fields", "Count", "-r", locked,
                         os.path.join(locked, "file.rec"), os.path.join(work, "a.rec")],
                        capture_output=True, text=True, timeout=60)
check("unreadable: status", result.returncode, 1)
check("unreadable: named", sorted(result.stderr.splitlines()),
      [f"wdxprobe: {locked}/file.rec: permission denied", f"wdxprobe: {locked}/folder: permission denied"])
check("unreadable: the others shown", os.path.join(work, "a.rec") in result.stdout, True)

print("\n".join(problems) if problems else "all checks passed")
sys.exit(1 if problems else 0)
