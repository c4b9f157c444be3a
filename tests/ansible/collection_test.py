#!/usr/bin/env python3
"""The Ansible collection vesk.configurator through real ansible-playbook runs.

Three sites on localhost, each a host with its own vesk-sim: one behind the simulator's
own TCP port, one behind ser2net in raw TCP mode, one behind ser2net with RFC 2217. The
examples' site.yml runs against them in check mode, for real, and again; then with one
gateway down; module_check.yml checks the scan and the parameter module; ansible-lint
checks the examples.

Usage: collection_test.py BIN_DIR SOURCE_DIR. Exit 0 passed, 1 failed, 77 skipped.
"""

import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts"))
from local_tcp import free_port, listening  # noqa: E402

SKIPPED = 77
BPS = 115200
PLAYBOOK_LIMIT = 120
HERE = os.path.dirname(os.path.abspath(__file__))

# Host, simulated addresses, how the line is reached, and the configuration of each device.
SITES = (
    ("site_tcp", (16, 17), "sim-tcp", ("inputs.json", "inputs.json")),
    ("site_raw", (20, 21), "ser2net-raw", ("inputs.json", "counters.json")),
    ("site_rfc2217", (30,), "ser2net-rfc2217", ("counters.json",)),
)
# Device 16 differs from inputs.json in FiLt:0 only; device 17 holds it already.
SEEDED = {
    16: "FiLt\t0\t-\t3\t10\nFiLt\t1\t-\t3\t25\ninv\t0\t-\t3\tДа\n",
    17: "FiLt\t0\t-\t3\t25\nFiLt\t1\t-\t3\t25\ninv\t0\t-\t3\tДа\n",
}
RECAP = re.compile(r"^(\S+)\s*:\s*ok=(\d+)\s+changed=(\d+)\s+unreachable=(\d+)\s+failed=(\d+)",
                   re.M)

failures = []


def check(condition, what):
    print(("ok   " if condition else "FAIL ") + what, flush=True)
    if not condition:
        failures.append(what)
    return condition


def wait_until(condition, what, limit=10):
    deadline = time.monotonic() + limit
    while not condition():
        if time.monotonic() > deadline:
            raise RuntimeError(what)
        time.sleep(0.02)


def stop(process):
    if process.poll() is None:
        process.send_signal(signal.SIGTERM)
        try:
            process.wait(timeout=10)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait()


class Lab:
    """The simulators (and their gateways) of the three sites; their values survive a
    restart in state files, which are also what the test compares."""

    def __init__(self, bin_dir, work, env, sites=SITES, sim_args=()):
        self.bin_dir, self.work, self.env = bin_dir, work, env
        self.sites, self.sim_args = sites, list(sim_args)
        self.processes = []
        self.ports = {site: free_port() for site, _, _, _ in sites}

    def state(self, site, address):
        return os.path.join(self.work, "%s_%d.txt" % (site, address))

    def start(self, gateways=True, down=()):
        for site, addresses, kind, _ in self.sites:
            args = [os.path.join(self.bin_dir, "vesk-sim"), "--bps", str(BPS), "--input-ms", "0",
                    "--devices", ",".join(map(str, addresses)),
                    "--state", os.path.join(self.work, site + "_%a.txt")] + self.sim_args
            pty_link = os.path.join(self.work, site + ".pty")
            args += ["--tcp", str(self.ports[site])] if kind == "sim-tcp" else ["--link", pty_link]
            sim = subprocess.Popen(args, stdout=subprocess.PIPE, env=self.env, text=True)
            self.processes.append(sim)
            sim.stdout.readline()
            if kind == "sim-tcp" or not gateways or site in down:
                continue
            config = os.path.join(self.work, site + "-ser2net.yaml")
            accepter = ("tcp(nodelay)" if kind == "ser2net-raw"
                        else "telnet(rfc2217),tcp(nodelay)")
            with open(config, "w") as f:
                f.write("%%YAML 1.1\n---\nconnection: &%s\n  accepter: %s,127.0.0.1,%d\n"
                        "  connector: serialdev,%s,%dn81,local\n  options:\n"
                        "    chardelay: false\n"
                        % (site, accepter, self.ports[site], pty_link, BPS))
            server = subprocess.Popen([shutil.which("ser2net") or "/usr/sbin/ser2net", "-n",
                                       "-d", "-u", "-c", config], stdout=subprocess.DEVNULL,
                                      stderr=subprocess.DEVNULL)
            self.processes.append(server)
            wait_until(lambda: listening(self.ports[site]), "ser2net does not listen")

    def stop(self):
        for process in reversed(self.processes):
            stop(process)
        self.processes = []

    def states(self):
        values = {}
        for site, addresses, _, _ in self.sites:
            for address in addresses:
                with open(self.state(site, address), encoding="utf-8") as f:
                    values[address] = [line for line in f if not line.startswith("#")]
        return values

    def inventory(self):
        lines = ["all:", "  children:", "    vesk_sites:", "      hosts:"]
        for site, addresses, kind, configs in self.sites:
            scheme = "rfc2217" if kind == "ser2net-rfc2217" else "tcp"
            lines += ["        %s:" % site,
                      "          ansible_connection: local",
                      "          ansible_python_interpreter: %s" % sys.executable,
                      "          vesk_port: %s://127.0.0.1:%d" % (scheme, self.ports[site]),
                      "          vesk_bps: %d" % BPS,
                      "          vesk_scan_first: 1",
                      "          vesk_scan_last: 40",
                      "          vesk_devices:"]
            lines += ["            - {address: %d, config: %s}" % pair
                      for pair in zip(addresses, configs)]
        path = os.path.join(self.work, "inventory.yml")
        with open(path, "w") as f:
            f.write("\n".join(lines) + "\n")
        return path


def playbook(env, inventory, book, *extra):
    """Runs `book` on every host of `inventory`, three at a time; returns the run and the
    recap by host."""
    start = time.monotonic()
    run = subprocess.run(["ansible-playbook", "-i", inventory, "--forks", "3", book] +
                         list(extra), capture_output=True, text=True, env=env,
                         timeout=PLAYBOOK_LIMIT)
    print("     %s %s: exit %d in %.1f s" % (os.path.basename(book), " ".join(extra),
                                              run.returncode, time.monotonic() - start))
    recap = {m.group(1): dict(ok=int(m.group(2)), changed=int(m.group(3)),
                              failed=int(m.group(5)))
             for m in RECAP.finditer(run.stdout)}
    return run, recap


def config_values(examples, name):
    """FiLt:0 ... of a configuration JSON as (name, index) -> value."""
    import json
    with open(os.path.join(examples, "configs", name), encoding="utf-8") as f:
        return {(p["name"], str(p["index"])): p["value"] for p in json.load(f)["parameters"]}


def value_map(lines):
    out = {}
    for line in lines:
        fields = line.rstrip("\n").split("\t")
        out[(fields[0], fields[1])] = fields[4]
    return out


def environment(work, bin_dir, source, examples):
    """What ansible-playbook and the programs it starts need, and nothing of the user's."""
    env = dict(os.environ, HOME=work, XDG_CONFIG_HOME=work, LC_ALL="C.UTF-8",
               PATH=bin_dir + os.pathsep + os.environ.get("PATH", ""),
               ANSIBLE_COLLECTIONS_PATH=os.path.join(source, "ansible"),
               ANSIBLE_CONFIG=os.path.join(examples, "ansible.cfg"),
               ANSIBLE_LOCAL_TEMP=os.path.join(work, "tmp"), ANSIBLE_NOCOLOR="1",
               ANSIBLE_FORCE_COLOR="0", ANSIBLE_RETRY_FILES_ENABLED="0",
               ANSIBLE_PIPELINING="1")
    env.setdefault("VESK_TREE_DAT", os.path.join(bin_dir, "vesk.tree.dat"))
    for var in ("DISPLAY", "WAYLAND_DISPLAY"):
        env.pop(var, None)
    return env


def main():
    bin_dir, source = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    for tool, package in (("ansible-playbook", "ansible-core"), ("ansible-lint", "ansible-lint")):
        if not shutil.which(tool):
            print("SKIPPED: %s is not installed (Debian package %s)" % (tool, package))
            return SKIPPED
    if not (shutil.which("ser2net") or os.access("/usr/sbin/ser2net", os.X_OK)):
        print("SKIPPED: ser2net is not installed (Debian package ser2net)")
        return SKIPPED

    with tempfile.TemporaryDirectory() as work:
        examples = os.path.join(work, "examples")
        shutil.copytree(os.path.join(source, "ansible", "examples"), examples)
        env = environment(work, bin_dir, source, examples)
        site = os.path.join(examples, "site.yml")
        lab = Lab(bin_dir, work, env)
        for address, seeded in SEEDED.items():
            with open(lab.state(SITES[0][0], address), "w", encoding="utf-8") as f:
                f.write(seeded)
        inventory = lab.inventory()
        try:
            lab.start(gateways=False)
            lab.stop()
            before = lab.states()

            lab.start()
            run, recap = playbook(env, inventory, site, "--check", "--diff")
            lab.stop()
            check(run.returncode == 0, "check mode succeeds\n" + run.stdout[-3000:])
            changed = {a: set(lines) ^ set(before[a]) for a, lines in lab.states().items()}
            check(not any(changed.values()),
                  "check mode leaves every simulator's values %s" % changed)
            check("FiLt:0 = 10" in run.stdout and "FiLt:0 = 25" in run.stdout,
                  "check mode shows the difference of device 16 as before and after")

            lab.start()
            run, recap = playbook(env, inventory, site)
            lab.stop()
            print(run.stdout[run.stdout.find("PLAY RECAP"):], end="")
            check(run.returncode == 0, "the first run succeeds\n" + run.stdout[-3000:])
            after = lab.states()
            for name, addresses, _, configs in SITES:
                for address, config in zip(addresses, configs):
                    wanted = config_values(examples, config)
                    old, new = value_map(before[address]), value_map(after[address])
                    differing = {k for k, v in wanted.items() if old.get(k) != v}
                    expected = {**old, **wanted}
                    check(new == expected,
                          "device %d holds %s, nothing else changed" % (address, config))
                    item = "[%s] => (item=%d %s)" % (name, address, config)
                    verdict = "changed: " if differing else "ok: "
                    check(verdict + item in run.stdout,
                          "device %d reported %s" % (address, verdict.rstrip(": ")))

            lab.start()
            run, recap = playbook(env, inventory, site)
            scan_run, _ = playbook(env, inventory, os.path.join(HERE, "module_check.yml"))
            lab.stop()
            print(run.stdout[run.stdout.find("PLAY RECAP"):], end="")
            check(run.returncode == 0 and len(recap) == len(SITES) and
                  all(r["changed"] == 0 for r in recap.values()),
                  "the second run reports changed=0 on every site")
            check(scan_run.returncode == 0,
                  "scan returns exactly the simulated devices; parameter plans, writes once\n" +
                  scan_run.stdout[-3000:])

            lab.start(down=("site_raw",))
            run, recap = playbook(env, inventory, site)
            lab.stop()
            check(run.returncode != 0 and recap.get("site_raw", {}).get("failed") == 1,
                  "the site whose gateway is down fails")
            check(all(recap.get(s, {}).get("failed") == 0 and recap[s]["ok"] >= 4
                      for s in ("site_tcp", "site_rfc2217")),
                  "the other sites complete\n" + run.stdout[-4000:])
        finally:
            lab.stop()

        lint = subprocess.run(["ansible-lint", "--offline", "site.yml", "gateway.yml"],
                              capture_output=True, text=True, env=env, cwd=examples,
                              timeout=PLAYBOOK_LIMIT)
        check(lint.returncode == 0, "ansible-lint passes on the examples\n" + lint.stdout +
              lint.stderr)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
