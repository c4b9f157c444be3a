# -*- coding: utf-8 -*-
# Copyright: LORN
# GNU General Public License v3.0+ (see https://www.gnu.org/licenses/gpl-3.0.txt)
"""The options every module of vesk.configurator shares: the line and the program."""

from __future__ import annotations


class ModuleDocFragment:
    DOCUMENTATION = r"""
options:
  port:
    description:
      - The line the devices are on, as seen from the host the module runs on.
      - A device path (C(/dev/ttyUSB0)), C(tcp://HOST:PORT) for a port server in raw TCP
        mode, or C(rfc2217://HOST:PORT) for one that speaks RFC 2217.
      - Through C(tcp://) the server's own settings fix the rate and format of the line.
    type: str
    required: true
  bps:
    description: Baud rate of the line.
    type: int
  parity:
    description: Parity of the line.
    type: str
    choices: [even, odd, none]
  data_bits:
    description: Data bits of a character.
    type: int
    choices: [7, 8]
  stop_bits:
    description: Stop bits of a character.
    type: int
    choices: [1, 2]
  address_bits:
    description: Length of the device address on the line, in bits.
    type: int
    choices: [8, 11]
  converter:
    description:
      - The RS-485 converter. C(off) is an automatic one, C(auto) and C(on) a
        half-automatic one, C(driver) the serial driver's own RS-485 mode.
    type: str
    choices: [auto, off, on, driver]
  timeout:
    description:
      - Limit of the whole task, in seconds. When it runs out the program is stopped and
        the task fails with what it had said so far.
    type: float
    default: 300
  binary:
    description:
      - The vesk-configurator program on the host the module runs on.
      - By default the one found on C(PATH).
    type: path
notes:
  - The module runs C(vesk-configurator) without its window on the host where the line is
    (C(delegate_to) that host, or C(ansible_connection=local) on it).
requirements:
  - vesk-configurator (package vesk) on the host the module runs on
"""
