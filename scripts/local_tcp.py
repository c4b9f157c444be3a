"""Loopback TCP ports for the programs a test or a benchmark starts: a free one to give
a server, and whether a server listens on one yet."""

import socket


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def listening(port):
    wanted = "0100007F:%04X" % port
    with open("/proc/net/tcp") as table:
        return any(f[1] == wanted and f[3] == "0A"
                   for f in (line.split() for line in table.readlines()[1:]))
