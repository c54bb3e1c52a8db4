#!/usr/bin/env python3
"""The command-line host against content plug-ins that nobody here wrote:
deb_wdx and audioinfo from Debian's doublecmd-plugins, on a .deb that the
test builds with dpkg-deb from a control file it writes, and on WAV files it
writes. Every expected value comes from what the test put in the files.

Usage: third_party_test.py PROBE WORK_DIR
"""
import json
import os
import shutil
import subprocess
import sys
import wave

probe, work = sys.argv[1:]
plugins = "/usr/lib/doublecmd/plugins/wdx"
problems = []


def check(label, got, want):
    if got != want:
        problems.append(f"{label}: got {got!r}, expected {want!r}")


def installed(package):
    status = subprocess.run(["dpkg-query", "-W", "-f=${Status}", package], capture_output=True, text=True)
    return "install ok installed" in status.stdout


if not installed("doublecmd-plugins"):
    if os.geteuid() != 0:
        sys.exit("doublecmd-plugins is missing; as root: apt-get install doublecmd-plugins")
    subprocess.run(["apt-get", "install", "-y", "-qq", "--no-install-recommends", "doublecmd-plugins"],
                   check=True, env=dict(os.environ, DEBIAN_FRONTEND="noninteractive"), stdout=subprocess.DEVNULL,
                   timeout=1800)

shutil.rmtree(work, ignore_errors=True)
os.makedirs(work)


def values(plugin, fields, *paths):
    """The JSON lines of wdxprobe, by file and by column title."""
    result = subprocess.run([probe, f"{plugins}/{plugin}", "--json", "--ini", f"{work}/wdxprobe.ini",
                             "--fields", fields, *paths], capture_output=True, text=True, timeout=120)
    if result.returncode != 0:
        problems.append(f"{plugin}: status {result.returncode}: {result.stderr}")
    answers = {}
    # Some plug-ins print to standard output themselves; the JSON lines are ours.
    for line in result.stdout.splitlines():
        if line.startswith("{"):
            entry = json.loads(line)
            answers[entry["file"]] = {
                f["name"] + (f"{{{f['unit']}}}" if "unit" in f else ""): (f["result"], f["shown"])
                for f in entry["fields"]}
    return answers


# deb_wdx: packages whose control files say what each field must show; the
# installed sizes (in KiB) divide evenly into every unit.
packages = [
    {"Package": "korvel-sample", "Version": "1.2.3-4", "Architecture": "all", "KiB": 3 * 1024 * 1024,
     "Summary": "A sample package for the host test"},
    {"Package": "korvel-other", "Version": "2:0.9~rc1", "Architecture": "amd64", "KiB": 2048,
     "Summary": "Another one, with an epoch"},
]
for package in packages:
    root = f"{work}/{package['Package']}"
    os.makedirs(f"{root}/DEBIAN")
    with open(f"{root}/DEBIAN/control", "w") as control:
        control.write(f"Package: {package['Package']}\nVersion: {package['Version']}\n"
                      f"Architecture: {package['Architecture']}\nMaintainer: Korvel Tests <tests@example.org>\n"
                      f"Installed-Size: {package['KiB']}\nSection: misc\nPriority: optional\n"
                      f"Description: {package['Summary']}\n Written by the host test.\n")
    os.makedirs(f"{work}/debs", exist_ok=True)
    subprocess.run(["dpkg-deb", "--root-owner-group", "--build", root,
                    f"{work}/debs/{package['Package']}.deb"], check=True, stdout=subprocess.DEVNULL)
sizes = "Installed-Size{bytes},Installed-Size{kbytes},Installed-Size{Mbytes},Installed-Size{Gbytes}"
answers = values("deb_wdx/deb_wdx.wdx", f"Package,Version,Architecture,{sizes},Summary", f"{work}/debs")
for package in packages:
    got = answers.get(f"{work}/debs/{package['Package']}.deb", {})
    label = package["Package"]
    check(f"{label} Package", got.get("Package"), (8, package["Package"]))
    check(f"{label} Version", got.get("Version"), (8, package["Version"]))
    check(f"{label} Architecture", got.get("Architecture"), (8, package["Architecture"]))
    check(f"{label} Summary", got.get("Summary"), (8, package["Summary"]))
    kib = package["KiB"]
    for unit, value in (("bytes", kib * 1024), ("kbytes", kib), ("Mbytes", kib // 1024),
                        ("Gbytes", kib // (1024 * 1024))):
        check(f"{label} Installed-Size in {unit}", got.get(f"Installed-Size{{{unit}}}"), (2, str(value)))

# audioinfo: WAV files of known rate, channels and length.
tones = [("tone.wav", 44100, 2, 3, "Stereo"), ("voice.wav", 8000, 1, 5, "Mono")]
for name, rate, channels, seconds, _ in tones:
    with wave.open(f"{work}/{name}", "wb") as sound:
        sound.setnchannels(channels)
        sound.setsampwidth(2)
        sound.setframerate(rate)
        sound.writeframes(b"\0\0" * channels * rate * seconds)
answers = values("audioinfo/audioinfo.wdx", "Channels,Sample rate{Hz},Sample rate{kHz},Duration (seconds)",
                 f"{work}/tone.wav", f"{work}/voice.wav")
for name, rate, channels, seconds, shown in tones:
    got = answers.get(f"{work}/{name}", {})
    check(f"{name} channels", got.get("Channels"), (7, shown))
    check(f"{name} rate", got.get("Sample rate{Hz}"), (1, str(rate)))
    check(f"{name} rate in kHz", got.get("Sample rate{kHz}"), (1, str(rate // 1000)))
    check(f"{name} duration", got.get("Duration (seconds)"), (1, str(seconds)))

print("\n".join(problems) if problems else "deb_wdx (all four units) and audioinfo give what the files hold")
sys.exit(1 if problems else 0)
