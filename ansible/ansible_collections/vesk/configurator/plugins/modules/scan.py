#!/usr/bin/python
# -*- coding: utf-8 -*-
# Copyright: LORN
# GNU General Public License v3.0+ (see https://www.gnu.org/licenses/gpl-3.0.txt)

from __future__ import annotations

DOCUMENTATION = r"""
module: scan
short_description: Find the VESK devices on a line
description:
  - Asks every address of a range on the line and returns the devices that answer,
    through C(vesk-configurator --scan).
  - Reads only; never reports a change.
version_added: 1.0.0
author: LORN
options:
  first:
    description: First address of the range. By default the lowest address.
    type: int
  last:
    description:
      - Last address of the range. By default the highest address of the address length
        (255 with 8 bits, 2047 with 11).
    type: int
extends_documentation_fragment:
  - vesk.configurator.common
attributes:
  check_mode:
    support: full
"""

EXAMPLES = r"""
- name: Find the devices on the cabinet's line
  vesk.configurator.scan:
    port: rfc2217://cabinet-7.plant.example:3001
    bps: 115200
    first: 1
    last: 32
  register: line

- name: Show them
  ansible.builtin.debug:
    msg: "{{ line.devices | map(attribute='address') | list }}"
"""

RETURN = r"""
devices:
  description: The devices that answered, by address.
  returned: success
  type: list
  elements: dict
  contains:
    address:
      description: The device's address.
      type: int
      sample: 16
    name:
      description: What the device answers to "dev".
      type: str
      sample: VESK
    version:
      description: What the device answers to "ver".
      type: str
      sample: "1.02"
    reply_ms:
      description: How long the device took to answer, in milliseconds.
      type: float
      sample: 2.5
"""

from ansible.module_utils.basic import AnsibleModule
from ansible_collections.vesk.configurator.plugins.module_utils.configurator import (
    EXIT_NOTHING_FOUND, EXIT_OK, Configurator, common_argument_spec)


def parse_devices(out):
    devices = []
    for line in out.splitlines():
        fields = line.split("\t")
        if len(fields) == 4 and fields[0].isdigit():
            devices.append(dict(address=int(fields[0]), name=fields[1], version=fields[2],
                                reply_ms=float(fields[3])))
    return devices


def main():
    options = common_argument_spec()
    options.update(first=dict(type="int"), last=dict(type="int"))
    module = AnsibleModule(argument_spec=options, supports_check_mode=True)
    program = Configurator(module)
    first, last = module.params["first"], module.params["last"]
    if first is None and last is None:
        scan = "--scan"
    else:
        if last is None:
            last = 2047 if module.params["address_bits"] == 11 else 255
        scan = "--scan=%d-%d" % (first or 0, last)
    rc, out, err = program.run([scan])
    if rc not in (EXIT_OK, EXIT_NOTHING_FOUND):
        program.fail("scan failed", rc, out, err)
    module.exit_json(changed=False, devices=parse_devices(out), commands=program.commands)


if __name__ == "__main__":
    main()
