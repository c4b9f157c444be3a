# -*- coding: utf-8 -*-
# Copyright: LORN
# GNU General Public License v3.0+ (see https://www.gnu.org/licenses/gpl-3.0.txt)
"""Running vesk-configurator for the modules: the line's keys, the task's time limit, and
the program's line formats read back into data."""

from __future__ import annotations

import os
import signal
import subprocess
import time

# The program's exit codes the modules tell apart (see vesk-configurator --help).
EXIT_OK = 0
EXIT_DIFFERENT = 1
EXIT_PORT = 201
EXIT_CANCELLED = 205
EXIT_NOTHING_FOUND = 206

PARITY_KEYS = {"even": "even", "odd": "odd", "none": "no"}


def common_argument_spec():
    """The options of doc fragment vesk.configurator.common."""
    return dict(
        port=dict(type="str", required=True),
        bps=dict(type="int"),
        parity=dict(type="str", choices=["even", "odd", "none"]),
        data_bits=dict(type="int", choices=[7, 8]),
        stop_bits=dict(type="int", choices=[1, 2]),
        address_bits=dict(type="int", choices=[8, 11]),
        converter=dict(type="str", choices=["auto", "off", "on", "driver"]),
        timeout=dict(type="float", default=300),
        binary=dict(type="path"),
    )


def unescape(field):
    """A field as the program escapes it (backslash, tab, line ends) back to its text."""
    out = []
    chars = iter(field)
    for c in chars:
        if c != "\\":
            out.append(c)
            continue
        nxt = next(chars, "")
        out.append({"t": "\t", "n": "\n", "r": "\r", "\\": "\\"}.get(nxt, "\\" + nxt))
    return "".join(out)


def parse_difference(line):
    """One line of --diff or --write-differences as a dict, or None for another line."""
    fields = line.split("\t")
    if len(fields) != 4:
        return None
    path, shown, device, wanted = (unescape(f) for f in fields)
    name, _, index = shown.partition(":")
    return dict(path=path, name=name, index=int(index) if index.isdigit() else None,
                device=device, file=wanted, line=line)


def difference_text(differences, side):
    """The lines PATH NAME[:INDEX] = VALUE of one side, for Ansible's --diff."""
    lines = []
    for d in differences:
        shown = d["name"] if d["index"] is None else "%s:%d" % (d["name"], d["index"])
        lines.append("%s %s = %s\n" % (d["path"], shown, d[side]))
    return "".join(lines)


def public_difference(d):
    """A difference as the modules return it."""
    return dict((k, d[k]) for k in ("path", "name", "index", "device", "file"))


class Configurator:
    """vesk-configurator on this host with the module's line options, under one deadline
    for the whole task."""

    def __init__(self, module):
        self.module = module
        params = module.params
        self.deadline = time.monotonic() + params["timeout"]
        self.binary = params["binary"] or module.get_bin_path("vesk-configurator", required=True)
        self.line = ["--no-gui", "--port=" + params["port"]]
        if params["bps"]:
            self.line.append("--bps=%d" % params["bps"])
        if params["parity"]:
            self.line.append("--prty=" + PARITY_KEYS[params["parity"]])
        if params["data_bits"]:
            self.line.append("--len=%d" % params["data_bits"])
        if params["stop_bits"]:
            self.line.append("--sbit=%d" % params["stop_bits"])
        if params["address_bits"]:
            self.line.append("--alen=%d" % params["address_bits"])
        if params["converter"]:
            self.line.append("--rs485=" + params["converter"])
        self.commands = []

    def address_keys(self, address):
        return [] if address is None else ["--addr=%d" % address]

    def run(self, args, cwd=None):
        """Runs the program with the line's keys and `args`; returns (rc, out, err). Fails
        the task when the deadline passes, with what the program had written by then."""
        argv = [self.binary] + self.line + list(args)
        self.commands.append(argv)
        left = self.deadline - time.monotonic()
        if left <= 0:
            self.module.fail_json(msg="timeout of %g s ran out before: %s"
                                  % (self.module.params["timeout"], " ".join(argv)),
                                  commands=self.commands)
        env = dict(os.environ, LC_ALL="C.UTF-8")
        env.pop("DISPLAY", None)
        env.pop("WAYLAND_DISPLAY", None)
        proc = subprocess.Popen(argv, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                stderr=subprocess.PIPE, cwd=cwd, env=env,
                                start_new_session=True)
        try:
            out, err = proc.communicate(timeout=left)
        except subprocess.TimeoutExpired:
            # SIGTERM lets the program close the port and say how far it came.
            proc.send_signal(signal.SIGTERM)
            try:
                out, err = proc.communicate(timeout=5)
            except subprocess.TimeoutExpired:
                proc.kill()
                out, err = proc.communicate()
            self.module.fail_json(
                msg="timeout of %g s ran out: %s" % (self.module.params["timeout"],
                                                    " ".join(argv)),
                rc=proc.returncode, stdout=out.decode("utf-8", "replace"),
                stderr=err.decode("utf-8", "replace"), commands=self.commands)
        return (proc.returncode, out.decode("utf-8", "replace"),
                err.decode("utf-8", "replace"))

    def fail(self, what, rc, out, err, **extra):
        """Fails the task with the program's own words."""
        message = err.strip() or out.strip() or "no message"
        result = dict(extra)
        result.update(rc=rc, stdout=out, stderr=err, commands=self.commands)
        self.module.fail_json(msg="%s (exit %d): %s" % (what, rc, message), **result)
