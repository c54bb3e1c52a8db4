#!/usr/bin/env python3
"""Times whole commands over one folder, interleaved in one run: each round
runs every command once, in an order that changes from round to round, so
that a slow moment of the machine falls on all of them alike.

Usage: whole_job.py ROUNDS SLOW_ROUNDS OUTPUT_JSON LABEL=COMMAND... [slow:LABEL=COMMAND...]
A command marked slow: runs only in the first SLOW_ROUNDS rounds.
Writes {label: [seconds of each round]} as JSON.
"""
import json
import random
import subprocess
import sys
import time

rounds, slow_rounds, output = int(sys.argv[1]), int(sys.argv[2]), sys.argv[3]
commands = {}
slow = set()
for argument in sys.argv[4:]:
    label, command = argument.split("=", 1)
    if label.startswith("slow:"):
        label = label[len("slow:"):]
        slow.add(label)
    commands[label] = command
times = {label: [] for label in commands}
order = random.Random(7)
for round_number in range(rounds):
    labels = [label for label in commands if label not in slow or round_number < slow_rounds]
    order.shuffle(labels)
    for label in labels:
        start = time.perf_counter()
        # The exit status is not ours to judge: exiftool, for one, exits 1 for files it cannot read.
        subprocess.run(commands[label], shell=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                       check=False, timeout=900)
        times[label].append(time.perf_counter() - start)
with open(output, "w") as out:
    json.dump(times, out)
