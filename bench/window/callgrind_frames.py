#!/usr/bin/env python3
"""Instructions per status frame from a callgrind profile of the program: all instructions
counted (every thread), divided by the calls of LinkState::UpdateDisplay, one a status frame.
Usage: callgrind_frames.py CALLGRIND_OUT"""
import re
import sys

data = open(sys.argv[1]).read()
names = {}
for m in re.finditer(r'^c?fn=\((\d+)\)(?: (.*))?$', data, re.M):
    if m.group(2):
        names[m.group(1)] = m.group(2)
display = {k for k, v in names.items() if 'LinkState::UpdateDisplay()' in v}
frames = 0
lines = data.split('\n')
for i, line in enumerate(lines):
    m = re.match(r'^cfn=\((\d+)\)', line)
    if m and m.group(1) in display:
        calls = re.match(r'calls=(\d+)', lines[i + 1])
        if calls:
            frames += int(calls.group(1))
total = int(re.search(r'^(?:totals|summary): (\d+)', data, re.M).group(1))
print(f"instructions_per_status_frame {total // max(frames, 1)} instructions ({frames} frames)")
