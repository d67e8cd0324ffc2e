#!/usr/bin/env python3
"""Whole-station cost: CPU seconds per minute of input and peak RSS, headless,
with the audio (null back end) and the spectral trace on, beside the wall-clock
time of the same run (the reference: one core fully busy would cost 60 CPU
seconds per minute).

  250000 samples/s: a simulated receiver on loopback feeding the station.
  500000 samples/s: the station replaying a 500 kHz recording in a loop.
  idle:             no receiver at all (the power a field computer pays to wait).
  power save:       the timer's power saver between two programs (receiver released).

Usage: station_bench.py BUILD_DIR TESTDATA_DIR [SECONDS]
Without myomys-500k.wav in TESTDATA_DIR the replay is of a 500 kHz file the
test-file writer makes (counting samples instead of calls).
"""
import atexit
import os
import shutil
import subprocess
import sys
import tempfile
import time

build, testdata = sys.argv[1], sys.argv[2]
seconds = float(sys.argv[3]) if len(sys.argv) > 3 else 20.0
halvane = os.path.join(build, "apps/halvane/halvane")
sim = os.path.join(build, "apps/halvane-sim/halvane-sim")
tick = os.sysconf("SC_CLK_TCK")
replay = os.path.join(testdata, "myomys-500k.wav")
if not os.path.isfile(replay):
    made = tempfile.mkdtemp(prefix="halvane-bench-files-")
    atexit.register(shutil.rmtree, made, True)
    subprocess.run([os.path.join(build, "tests/support/halvane-test-files"), made, "5"], check=True,
                   stdout=subprocess.DEVNULL)
    replay = os.path.join(made, "plain-500k.wav")
    print(f"(no {testdata}/myomys-500k.wav: replaying {replay})")


def cpu_seconds(pid):
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / tick


def peak_rss_mb(pid):
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            if line.startswith("VmHWM:"):
                return int(line.split()[1]) / 1024.0
    return 0.0


def run(label, extra, with_sim, settle=2.0):
    work = tempfile.mkdtemp(prefix="halvane-bench-")
    env = dict(os.environ, HALVANE_INSTANCE_DIR=os.path.join(work, "inst"))
    sim_proc = None
    if with_sim:
        sim_proc = subprocess.Popen([sim, "--bind", "127.0.0.88", "--signal", "calls"],
                                    stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        time.sleep(0.3)
    args = [halvane, "--headless", "--config", os.path.join(work, "cfg"), "--audio", "null",
            "--run-for", str(seconds + settle + 1)] + extra
    station = subprocess.Popen(args, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    time.sleep(settle)  # start-up and the first receiver connection
    c0, t0 = cpu_seconds(station.pid), time.monotonic()
    time.sleep(seconds)
    c1, t1 = cpu_seconds(station.pid), time.monotonic()
    rss = peak_rss_mb(station.pid)
    station.wait()
    if sim_proc:
        sim_proc.terminate()
        sim_proc.wait()
    per_minute = (c1 - c0) / (t1 - t0) * 60.0
    print(f"{label:28s} {per_minute:7.2f} CPU s per minute of input "
          f"({per_minute / 60.0 * 100.0:5.1f}% of one core; reference 60 s = 100%)  peak RSS {rss:6.1f} MB")


run("250000 samples/s (network)", ["--device", "IP127.0.0.88", "--show", "trace"], True)
run("500000 samples/s (replay)", ["--device", "IP127.0.0.89", "--show", "trace", "--play", replay, "--loop"],
    False)
run("idle (no receiver)", ["--device", "IP127.0.0.90"], False)
# A program far from now: the power saver takes over after its pause of a few seconds.
later = time.gmtime(time.time() + 6 * 3600)
window = [time.strftime("%H:%M:%S", later), time.strftime("%H:%M:%S", time.gmtime(time.time() + 7 * 3600))]
run("power save", ["--device", "IP127.0.0.91", "--set", "TimeStandard=0", "--set", "PowerSaverEnable=1",
                   "--set", "Program1Enable=1", "--set", "Pgm1StartTime=" + window[0],
                   "--set", "Pgm1StopTime=" + window[1]], False, settle=6.0)
