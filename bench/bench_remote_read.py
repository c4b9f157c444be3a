#!/usr/bin/env python3
"""Read-all figures of vesk-configurator through ser2net against the direct read.

One simulated device (--line-timing, so that the line's own time counts) on a
pseudo-terminal; "/read/close" of the whole configuration straight from the terminal,
then through ser2net in raw TCP mode (tcp://) and with RFC 2217 (rfc2217://), at 115200
and 9600 baud, once with ser2net's default settings and once with the recommended ones
(ansible/examples/ser2net.yaml: tcp(nodelay) and chardelay: false). Each figure is the
best of RUNS reads; the ratio is against the direct read at the same rate.

Usage: bench/bench_remote_read.py [BIN_DIR] [RUNS]   (default: BUILD/bin, 3)
"""

import os
import shutil
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "scripts"))
from local_tcp import free_port, listening  # noqa: E402

RATES = (115200, 9600)


# ser2net's settings: the accepter's TCP layer and the connection's options.
SETTINGS = (
    ("default", "tcp", ""),
    ("recommended", "tcp(nodelay)", "  options:\n    chardelay: false\n"),
)


def start_ser2net(work, pty, baud, settings):
    _, tcp, options = settings
    raw, telnet = free_port(), free_port()
    config = os.path.join(work, "ser2net.yaml")
    connector = "  connector: serialdev,%s,%dn81,local\n%s" % (pty, baud, options)
    with open(config, "w") as f:
        f.write("%%YAML 1.1\n---\nconnection: &raw\n  accepter: %s,127.0.0.1,%d\n%s"
                "connection: &rfc2217\n  accepter: telnet(rfc2217),%s,127.0.0.1,%d\n%s"
                % (tcp, raw, connector, tcp, telnet, connector))
    server = subprocess.Popen([shutil.which("ser2net") or "/usr/sbin/ser2net", "-n", "-d", "-u",
                               "-c", config], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    deadline = time.monotonic() + 10
    while not (listening(raw) and listening(telnet)):
        if time.monotonic() > deadline or server.poll() is not None:
            server.kill()
            raise RuntimeError("ser2net did not start")
        time.sleep(0.02)
    return server, "tcp://127.0.0.1:%d" % raw, "rfc2217://127.0.0.1:%d" % telnet


def read_all(bin_dir, work, env, port, baud):
    start = time.monotonic()
    run = subprocess.run([os.path.join(bin_dir, "vesk-configurator"), "--no-gui",
                          "--port=" + port, "/bps:%d/read/close" % baud, "bench.vesk"],
                         capture_output=True, text=True, env=env, cwd=work, timeout=600)
    seconds = time.monotonic() - start
    if run.returncode != 0:
        raise RuntimeError("read through %s failed (%d): %s" % (port, run.returncode, run.stderr))
    return seconds


def main():
    bin_dir = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else "BUILD/bin")
    runs = int(sys.argv[2]) if len(sys.argv) > 2 else 3
    with tempfile.TemporaryDirectory() as work:
        env = dict(os.environ, HOME=work, XDG_CONFIG_HOME=work)
        env.setdefault("VESK_TREE_DAT", os.path.join(bin_dir, "vesk.tree.dat"))
        env.pop("DISPLAY", None)
        env.pop("WAYLAND_DISPLAY", None)
        for baud in RATES:
            sim = subprocess.Popen([os.path.join(bin_dir, "vesk-sim"), "--bps", str(baud),
                                    "--line-timing"], stdout=subprocess.PIPE, text=True, env=env)
            try:
                pty = sim.stdout.readline().strip()
                direct = min(read_all(bin_dir, work, env, pty, baud) for _ in range(runs))
                print("read-all at %6d baud: direct   %6.2f s" % (baud, direct))
                for settings in SETTINGS:
                    for kind in ("raw", "rfc2217"):
                        # A server of its own for each kind: ser2net turns a client of one
                        # accepter away while the other still holds the device.
                        server, raw, telnet = start_ser2net(work, pty, baud, settings)
                        try:
                            port = raw if kind == "raw" else telnet
                            seconds = min(read_all(bin_dir, work, env, port, baud)
                                          for _ in range(runs))
                        finally:
                            server.terminate()
                            server.wait()
                        print("read-all at %6d baud: %-8s %-11s %6.2f s  ratio %.2f"
                              % (baud, kind, settings[0], seconds, seconds / direct))
            finally:
                sim.terminate()
                sim.wait()
    return 0


if __name__ == "__main__":
    sys.exit(main())
