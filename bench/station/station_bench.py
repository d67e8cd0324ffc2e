#!/usr/bin/env python3
"""Whole-station cost under the loads a field station meets, in one run.

Each load runs the real station headless (audio on, null back end) and samples
/proc over the measuring window:
  CPU      share of one core, whole process and per thread (schedstat run time,
           else utime + stime)
  wakes/s  voluntary context switches per second (a thread that blocked and was
           woken), summed over the threads
  RSS      peak resident set (VmHWM)
The reference printed beside each figure is the chain bench's cost of the same
input on this machine in the same run: what the signal processing alone costs
on one thread (conditioning, spectrum frames, trace, tuning path).

Loads:
  250 kHz live     halvane-sim --signal calls on loopback, over the network receiver
  500 kHz replay   a 500 kHz recording replayed in a loop (a synthetic one of bat-like
                   sweeps when the shared test data is absent)
  idle             no receiver at all (the acquisition retries once a second)
  power save       a timer program hours away: the power saver has released the receiver
  4 x 500 kHz      four stations side by side, each replaying the 500 kHz file;
                   their outputs are searched for overrun reports
  latency          latency_bench (built beside this script): a call's arrival on
                   the socket to its spectrogram column and to the sound output

The machine may be shared: the load average is printed with every figure, and
per-thread CPU is the steadier figure under load.

Usage: station_bench.py BUILD_DIR [TESTDATA_DIR] [--seconds N] [--only NAME...]
TESTDATA_DIR holds the real recordings (default $HALVANE_TESTDATA, else
../shared/testdata/recordings); without myomys-500k.wav there the replays are of
a made 500 kHz file of bat-like sweeps.
"""
import argparse
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import time
import math
import random

TICK = os.sysconf("SC_CLK_TCK")
ADDRESS_BASE = "127.0.7."  # this bench's own loopback addresses (--address-base changes them)


def read(path):
    try:
        with open(path) as f:
            return f.read()
    except OSError:
        return ""


def thread_sample(pid):
    """{tid: (name, cpu_seconds, voluntary_switches)} for every thread of pid."""
    out = {}
    try:
        tids = os.listdir(f"/proc/{pid}/task")
    except OSError:
        return out
    for tid in tids:
        stat = read(f"/proc/{pid}/task/{tid}/stat")
        status = read(f"/proc/{pid}/task/{tid}/status")
        if not stat or not status:
            continue
        name = stat[stat.index("(") + 1:stat.rindex(")")]
        fields = stat.rsplit(")", 1)[1].split()
        cpu = (int(fields[11]) + int(fields[12])) / TICK
        sched = read(f"/proc/{pid}/task/{tid}/schedstat").split()
        if sched:
            cpu = int(sched[0]) / 1e9  # nanoseconds on a CPU: finer than clock ticks
        m = re.search(r"^voluntary_ctxt_switches:\s+(\d+)", status, re.M)
        out[tid] = (name, cpu, int(m.group(1)) if m else 0)
    return out


def peak_rss_mb(pid):
    m = re.search(r"^VmHWM:\s+(\d+)", read(f"/proc/{pid}/status"), re.M)
    return int(m.group(1)) / 1024.0 if m else 0.0


def load_average():
    return read("/proc/loadavg").split()[0]


class Measured:
    def __init__(self):
        self.cpu = 0.0          # share of one core, %
        self.wakes = 0.0        # per second
        self.rss = 0.0          # MB (largest of the processes)
        self.threads = {}       # name -> (% of a core, wakes/s)
        self.load = ""


def measure(pids, seconds):
    """Samples the processes over `seconds`; per-thread figures are summed by name."""
    before = {pid: thread_sample(pid) for pid in pids}
    t0 = time.monotonic()
    load0 = load_average()
    time.sleep(seconds)
    after = {pid: thread_sample(pid) for pid in pids}
    dt = time.monotonic() - t0
    m = Measured()
    m.load = f"{load0}-{load_average()}"
    for pid in pids:
        for tid, (name, cpu1, vol1) in after[pid].items():
            _, cpu0, vol0 = before[pid].get(tid, (name, 0.0, 0))
            share = (cpu1 - cpu0) / dt * 100.0
            wakes = (vol1 - vol0) / dt
            m.cpu += share
            m.wakes += wakes
            c, w = m.threads.get(name, (0.0, 0.0))
            m.threads[name] = (c + share, w + wakes)
        m.rss = max(m.rss, peak_rss_mb(pid))
    return m


def chain_reference(build):
    """CPU % of one core that the chain bench needs per second of input, by rate."""
    exe = os.path.join(build, "bench/dsp/bench_signal_chain")
    if not os.path.exists(exe):
        return {}
    text = subprocess.run([exe], capture_output=True, text=True).stdout
    ref = {}
    for rate, ms in re.findall(r"Whole chain at (\d+) samples/s: ([\d.]+) ms CPU", text):
        ref[int(rate)] = float(ms) / 10.0  # ms per second of input -> % of a core
    return ref


def write_synthetic_500k(path, seconds=10):
    """16-bit mono WAV at 500 kHz: downward sweeps every 50 ms over noise."""
    rate = 500000
    rng = random.Random(7)
    frames = bytearray()
    phase = 0.0
    for i in range(rate * seconds):
        t = (i / rate) % 0.05
        f = 90000.0 - 1.2e7 * t if t < 0.005 else 0.0
        phase += 2 * math.pi * f / rate
        v = (7000.0 * math.sin(phase) if t < 0.005 else 0.0) + rng.gauss(0.0, 150.0)
        frames += struct.pack("<h", max(-32768, min(32767, int(v))))
    with open(path, "wb") as f:
        f.write(b"RIFF" + struct.pack("<I", 36 + len(frames)) + b"WAVE")
        f.write(b"fmt " + struct.pack("<IHHIIHH", 16, 1, 1, rate, rate * 2, 2, 16))
        f.write(b"data" + struct.pack("<I", len(frames)) + frames)


class Station:
    def __init__(self, build, work, name, extra, instance_dir):
        self.out = os.path.join(work, name + ".out")
        env = dict(os.environ, HALVANE_INSTANCE_DIR=instance_dir)
        args = [os.path.join(build, "apps/halvane/halvane"), "--headless", "--config",
                os.path.join(work, name + "-cfg"), "--audio", "null"] + extra
        self.proc = subprocess.Popen(args, env=env, stdout=open(self.out, "w"), stderr=subprocess.STDOUT)

    def stop(self):
        self.proc.terminate()
        try:
            self.proc.wait(timeout=15)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            self.proc.wait()

    def output(self):
        return read(self.out)


def run_load(build, label, station_args, seconds, settle, sims=()):
    work = tempfile.mkdtemp(prefix="halvane-bench-")
    sim_procs = [subprocess.Popen([os.path.join(build, "apps/halvane-sim/halvane-sim"), "--bind", a,
                                   "--signal", "calls"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
                 for a in sims]
    if sim_procs:
        time.sleep(0.3)
    stations = [Station(build, work, f"s{i}", extra, os.path.join(work, "inst"))
                for i, extra in enumerate(station_args)]
    try:
        time.sleep(settle)
        m = measure([s.proc.pid for s in stations], seconds)
        for s in stations:
            if s.proc.poll() is not None:
                raise SystemExit(f"{label}: a station ended early:\n{s.output()[-2000:]}")
    finally:
        for s in stations:
            s.stop()
        for p in sim_procs:
            p.terminate()
            p.wait()
    outputs = [s.output() for s in stations]
    shutil.rmtree(work, ignore_errors=True)
    return m, outputs


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("build")
    ap.add_argument("testdata", nargs="?", default=None)
    ap.add_argument("--seconds", type=float, default=10.0)
    ap.add_argument("--only", nargs="*", default=None)
    ap.add_argument("--address-base", default=None,
                    help="first three parts of the loopback addresses to use, e.g. 127.0.23.")
    a = ap.parse_args()
    global ADDRESS_BASE
    if a.address_base:
        ADDRESS_BASE = a.address_base if a.address_base.endswith(".") else a.address_base + "."
    build = os.path.abspath(a.build)
    here = os.path.dirname(os.path.abspath(__file__))
    testdata = a.testdata or os.environ.get("HALVANE_TESTDATA") or os.path.join(here, "../../../shared/testdata/recordings")
    file500 = os.path.join(testdata, "myomys-500k.wav")
    scratch = tempfile.mkdtemp(prefix="halvane-bench-data-")
    if not os.path.exists(file500):
        file500 = os.path.join(scratch, "synthetic-500k.wav")
        write_synthetic_500k(file500)

    print(f"load average at start {load_average()}; chain bench reference running...", flush=True)
    ref = chain_reference(build)

    def clock_in(hours):
        return time.strftime("%H:%M:%S", time.gmtime(time.time() + hours * 3600))

    def play(i):
        return ["--device", "IP" + ADDRESS_BASE + str(200 + i), "--play", file500, "--loop"]

    loads = [
        ("250k-live", "250000 samples/s live", [["--device", "IP" + ADDRESS_BASE + "101"]], 3.0, [ADDRESS_BASE + "101"],
         ref.get(250000), 3.0),
        ("500k-replay", "500000 samples/s replay", [play(0)], 3.0, [], ref.get(500000), 5.0),
        ("idle", "idle, no receiver", [["--device", "IP" + ADDRESS_BASE + "102"]], 3.0, [], 0.0, 0.2),
        ("4x500k", "4 stations x 500000 replay", [play(i) for i in range(4)], 5.0, [],
         4 * ref[500000] if 500000 in ref else None, 25.0),
        # A timer program far from now: the power saver releases the receiver after a few seconds.
        ("powersave", "power save between programs", [["--device", "IP" + ADDRESS_BASE + "103",
                                                       "--set", "TimeStandard=0", "--set", "PowerSaverEnable=1",
                                                       "--set", "Program1Enable=1",
                                                       "--set", "Pgm1StartTime=" + clock_in(6),
                                                       "--set", "Pgm1StopTime=" + clock_in(7)]], 8.0, [], 0.0, 0.2),
    ]
    rows = []
    for key, label, args, settle, sims, reference, target in loads:
        if a.only and key not in a.only:
            continue
        m, outputs = run_load(build, label, args, a.seconds, settle, sims)
        overruns = sum(len(re.findall(r"overrun", o, re.I)) for o in outputs)
        rows.append((label, m, reference, target, overruns))
        print(f"\n{label}  (load average {m.load})")
        for name, (c, w) in sorted(m.threads.items(), key=lambda kv: -kv[1][0]):
            if c >= 0.005 or w >= 0.5:
                print(f"    {name:16s} {c:6.2f}% of a core  {w:8.1f} wakes/s")

    print("\n| load | whole station (% of one core) | wakes/s | peak RSS MB | reference: chain bench, same input "
          "(% of one core) | target | load average |")
    print("|---|---|---|---|---|---|---|")
    for label, m, reference, target, overruns in rows:
        r = f"{reference:.2f}" if reference is not None else "-"
        extra = f"; {overruns} overrun lines" if label.startswith("4 ") else ""
        print(f"| {label} | {m.cpu:.2f} | {m.wakes:.0f} | {m.rss:.1f} | {r} | <= {target:g}{extra} | {m.load} |")
    latency = os.path.join(build, "bench/station/latency_bench")
    if os.path.exists(latency) and (not a.only or "latency" in a.only):
        print(f"\nlatency (load average {load_average()}):")
        out = subprocess.run([latency, "20"], capture_output=True, text=True).stdout
        for line in out.splitlines():
            print("  " + line)
    shutil.rmtree(scratch, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
