#!/usr/bin/env python3
"""Checks what a station run left in its recording folder.

Usage: recording_check.py FOLDER STEM STATION_OUTPUT [--snapshots] [--planted NAME]...

STEM is the file name part of the base path's stem ("bats" for .../bats.wav);
the runs name files in UTC (TimeStandard 0). Checks:
  - every finished recording STEM_DYYYYMMDDThhmmssmSSS.wav/.wv is whole (WAV:
    RIFF size matching the length, fact 0; WavPack: "wvpk" blocks) and the UTC
    field of its attribute is the instant its name shows;
  - every file left under a temporary name was reported failed on standard
    output ("Status : Failed - ...; kept as NAME") and, with --snapshots, in
    the daily log ("recording failed: ...; kept as NAME");
  - as many "Finished..."/"Stopped" status lines as finished recordings, so no
    recording was reported finished that is not;
  - with --snapshots (Auto Snap, which logs every snapshot it opens): every
    snapshot opened is finished or kept and reported.
Files named with --planted were put there by the test, not by the station.
Prints one line per problem and exits 1 when there is any; prints a summary.
"""
import glob
import os
import re
import struct
import sys

folder, stem, output = sys.argv[1:4]
options = sys.argv[4:]
snapshots = "--snapshots" in options
planted = {options[i + 1] for i, o in enumerate(options[:-1]) if o == "--planted"}
problems = []
name_re = re.compile(re.escape(stem) + r"_D(\d{4})(\d\d)(\d\d)T(\d\d)(\d\d)(\d\d)m(\d{3})\.(tmp_)?(wav|wv)$")


def utc_of(match):
    y, mo, d, h, mi, s, ms = match.groups()[:7]
    return f"{y}:{mo}:{d}::{h}:{mi}:{s}.{ms}"


finished, kept = [], []
for path in sorted(glob.glob(os.path.join(folder, "*"))):
    m = name_re.match(os.path.basename(path))
    if not m or os.path.basename(path) in planted:
        continue
    (kept if m.group(8) else finished).append(os.path.basename(path))
    if m.group(8):
        continue
    data = open(path, "rb").read()
    if m.group(9) == "wav":
        if data[:4] != b"RIFF" or struct.unpack("<I", data[4:8])[0] + 8 != len(data):
            problems.append(f"{path}: not a whole WAV file")
        fact = data.find(b"fact")
        if fact < 0 or struct.unpack("<I", data[fact + 8:fact + 12])[0] != 0:
            problems.append(f"{path}: fact value not cleared")
        head = data[:700]
    else:
        if data[:4] != b"wvpk":
            problems.append(f"{path}: not a WavPack file")
        head = data[-1200:]
    utc = re.search(rb"UTC=([0-9:.]+)", head)
    if not utc or utc.group(1).decode() != utc_of(m):
        problems.append(f"{path}: attribute time {utc and utc.group(1)} is not the name's {utc_of(m)}")

out = open(output, errors="replace").read()
logs = glob.glob(os.path.join(folder, stem + "_D*_log.txt"))
log = "".join(open(p, errors="replace").read() for p in logs)
for name in kept:
    if not re.search(r"Status : Failed - .*; kept as " + re.escape(name) + "$", out, re.M):
        problems.append(f"{name}: left under its temporary name without a report on standard output")
    if snapshots and not re.search(r"\] - recording failed: .*; kept as " + re.escape(name) + "$", log, re.M):
        problems.append(f"{name}: left under its temporary name without a line in the daily log")
ended = len(re.findall(r"Record Status : (?:Finished\.\.\.|Stopped)", out))
if ended != len(finished):
    problems.append(f"{ended} status lines say finished or stopped, {len(finished)} recordings are finished")
if snapshots:
    opened = re.findall(r"\] - recording file: (\S+)$", log, re.M)
    left = sorted(os.path.splitext(n)[0] for n in finished + kept)
    if sorted(opened) != left:
        problems.append(f"snapshots opened {sorted(opened)} but on disk {left}")
    if len(set(opened)) != len(opened):
        problems.append(f"a name was opened twice: {opened}")

for p in problems:
    print(p)
print(f"{len(finished)} finished, {len(kept)} kept under a temporary name, {len(problems)} problem(s)")
sys.exit(1 if problems else 0)
