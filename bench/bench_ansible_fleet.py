#!/usr/bin/env python3
"""Time of the examples' site.yml on three sites at once (--forks 3) against each site alone.

The sites are those of the collection's test (tests/ansible/collection_test.py): one line
behind the simulator's own TCP port, one behind ser2net in raw TCP mode, one behind
ser2net with RFC 2217, each simulator with --line-timing so that the line's own time
counts. Every run starts from the simulators' seeded values, so each one scans, writes the
differing values, reads them back and backs every device up. Each figure is the best of
RUNS; the ratio is the three sites' time against the slowest site alone.

Usage: bench/bench_ansible_fleet.py [BIN_DIR] [RUNS]   (default: BUILD/bin, 3)
"""

import glob
import importlib.util
import os
import shutil
import sys
import tempfile
import time

SOURCE = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def load_lab():
    path = os.path.join(SOURCE, "tests", "ansible", "collection_test.py")
    spec = importlib.util.spec_from_file_location("collection_test", path)
    module = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(module)
    return module


def timed_run(t, lab, work, env, inventory, site, limit):
    for state in glob.glob(os.path.join(work, "site_*.txt")):
        os.remove(state)
    shutil.rmtree(os.path.join(work, "examples", "backups"), ignore_errors=True)
    lab.start()
    try:
        start = time.monotonic()
        extra = ("--limit", limit) if limit else ()
        run, recap = t.playbook(env, inventory, site, *extra)
        seconds = time.monotonic() - start
    finally:
        lab.stop()
    if run.returncode != 0:
        # A failed run is no figure; say why and let the other runs count.
        print("     failed: " + "; ".join(line[:300] for line in run.stdout.splitlines()
                                          if line.startswith(("failed:", "fatal:"))))
        return None
    return seconds


def best(runs, measure):
    figures = [f for f in (measure() for _ in range(runs)) if f is not None]
    if not figures:
        raise RuntimeError("every run failed")
    return min(figures)


def main():
    t = load_lab()
    bin_dir = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else "BUILD/bin")
    runs = int(sys.argv[2]) if len(sys.argv) > 2 else 3
    with tempfile.TemporaryDirectory() as work:
        examples = os.path.join(work, "examples")
        shutil.copytree(os.path.join(SOURCE, "ansible", "examples"), examples)
        env = t.environment(work, bin_dir, SOURCE, examples)
        lab = t.Lab(bin_dir, work, env, sim_args=["--line-timing"])
        inventory = lab.inventory()
        site = os.path.join(examples, "site.yml")
        alone = {}
        for name, addresses, kind, _ in t.SITES:
            alone[name] = best(runs, lambda: timed_run(t, lab, work, env, inventory, site, name))
            print("site.yml, %-13s alone (%s, %d devices): %6.2f s"
                  % (name, kind, len(addresses), alone[name]))
        together = best(runs, lambda: timed_run(t, lab, work, env, inventory, site, None))
        slowest = max(alone.values())
        print("site.yml, three sites, --forks 3:             %6.2f s  ratio %.2f"
              " (against the slowest site alone)" % (together, together / slowest))
    return 0


if __name__ == "__main__":
    sys.exit(main())
