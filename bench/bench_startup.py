#!/usr/bin/env python3
"""Start-up and unattended-read figures of vesk-configurator against vesk-sim.

  start-up:  from starting the process to the first request on the line (the simulator's
             trace shows it), median of several starts;
  read:      wall time of "/read/close" of the whole VESK tree with the simulator's
             --line-timing at 115200 baud, and its ratio to the line time (the time the
             request and reply characters occupy the line, 10 bits a character, plus the
             simulator's turnaround per reply).

Usage: bench/bench_startup.py [BIN_DIR]   (default: BUILD/bin)
"""

import os
import re
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

BAUD = 115200
TURNAROUND_S = 0.001  # vesk-sim's default --turnaround-ms
STARTS = 7


def start_sim(bin_dir, work, trace, extra=()):
    out = open(os.path.join(work, "sim.out"), "w+")
    sim = subprocess.Popen([os.path.join(bin_dir, "vesk-sim"), "--bps", str(BAUD), "--trace",
                            trace, *extra], stdout=out, stderr=subprocess.DEVNULL)
    deadline = time.monotonic() + 10
    while time.monotonic() < deadline:
        out.seek(0)
        line = out.readline()
        if line.endswith("\n"):
            return sim, line.strip()
        time.sleep(0.01)
    sim.kill()
    raise SystemExit("vesk-sim did not start")


def rx_count(trace):
    try:
        with open(trace, encoding="utf-8", errors="replace") as f:
            return sum(1 for line in f if " RX " in line)
    except FileNotFoundError:
        return 0


def frame_chars(quoted):
    # CHARACTERS with \r \n \\ and \xHH escapes: one character each.
    return len(re.sub(r"\\x[0-9A-Fa-f]{2}|\\.", "x", quoted))


def main():
    bin_dir = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else "BUILD/bin")
    work = tempfile.mkdtemp(prefix="vesk-bench-")
    env = dict(os.environ, HOME=work, XDG_CONFIG_HOME=os.path.join(work, "config"))
    env.pop("DISPLAY", None)
    env.pop("WAYLAND_DISPLAY", None)
    conf = os.path.join(bin_dir, "vesk-configurator")
    try:
        # Start-up to the first request.
        trace = os.path.join(work, "startup.trace")
        sim, pty = start_sim(bin_dir, work, trace)
        samples = []
        for _ in range(STARTS):
            before = rx_count(trace)
            t0 = time.monotonic()
            p = subprocess.Popen([conf, "--port=" + pty, "/bps:%d/test" % BAUD], env=env,
                                 cwd=work, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            while rx_count(trace) == before and time.monotonic() - t0 < 10:
                time.sleep(0.0005)
            samples.append((time.monotonic() - t0) * 1000)
            p.wait()
        sim.terminate()
        sim.wait()
        print("start-up to the first request: median %.1f ms (min %.1f, max %.1f, %d starts)"
              % (statistics.median(samples), min(samples), max(samples), STARTS))

        # The whole tree read with the line's own timing.
        trace = os.path.join(work, "read.trace")
        sim, pty = start_sim(bin_dir, work, trace, ["--line-timing"])
        t0 = time.monotonic()
        rc = subprocess.call([conf, "--port=" + pty, "/bps:%d/read/close" % BAUD, "read.vesk"],
                             env=env, cwd=work, stdout=subprocess.DEVNULL)
        wall = time.monotonic() - t0
        sim.terminate()
        sim.wait()
        request_chars = reply_chars = replies = requests = 0
        with open(trace, encoding="utf-8", errors="replace") as f:
            for line in f:
                m = re.match(r'\S+ (RX|TX) "(.*)"', line)
                if not m:
                    continue
                if m.group(1) == "TX":
                    replies += 1
                    reply_chars += frame_chars(m.group(2))
                else:
                    requests += 1
                    request_chars += frame_chars(m.group(2))
        line_time = (request_chars + reply_chars) * 10.0 / BAUD + replies * TURNAROUND_S
        # A pseudo-terminal carries the requests at once; the simulator delays each reply
        # by its characters' time and the turnaround.
        simulated = reply_chars * 10.0 / BAUD + replies * TURNAROUND_S
        print("read of the whole tree: exit %d, %d requests (%d characters), %d replies "
              "(%d characters)" % (rc, requests, request_chars, replies, reply_chars))
        print("  wall time %.3f s; line time of a real line %.3f s (ratio %.2f); "
              "delays the simulator adds %.3f s (ratio %.2f)"
              % (wall, line_time, wall / line_time, simulated, wall / simulated))
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
