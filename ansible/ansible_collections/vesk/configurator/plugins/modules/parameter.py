#!/usr/bin/python
# -*- coding: utf-8 -*-
# Copyright: LORN
# GNU General Public License v3.0+ (see https://www.gnu.org/licenses/gpl-3.0.txt)

from __future__ import annotations

DOCUMENTATION = r"""
module: parameter
short_description: Set one parameter of a VESK device
description:
  - Reads the parameter I(name) (at I(index)) from the device and writes I(value) only
    when the device holds another value, through C(vesk-configurator --get) and C(--set).
  - In check mode nothing is written.
version_added: 1.0.0
author: LORN
options:
  address:
    description: The device's address on the line. By default the program's last one.
    type: int
  name:
    description: The parameter's short name, as the program lists it (C(FiLt), C(Addr)).
    type: str
    required: true
  index:
    description: The linear index of an indexed parameter.
    type: int
  value:
    description: The value as the program shows it after a read.
    type: str
    required: true
extends_documentation_fragment:
  - vesk.configurator.common
attributes:
  check_mode:
    support: full
  diff_mode:
    support: full
"""

EXAMPLES = r"""
- name: Filter of input 1 at 25 ms
  vesk.configurator.parameter:
    port: /dev/ttyUSB0
    bps: 9600
    address: 16
    name: FiLt
    index: 0
    value: "25"
"""

RETURN = r"""
before:
  description: The device's value before the task.
  returned: success
  type: str
  sample: "10"
after:
  description: The device's value after the task (its answer to the write).
  returned: success
  type: str
  sample: "25"
"""

from ansible.module_utils.basic import AnsibleModule
from ansible_collections.vesk.configurator.plugins.module_utils.configurator import (
    EXIT_OK, Configurator, common_argument_spec)


def main():
    options = common_argument_spec()
    options.update(address=dict(type="int"), name=dict(type="str", required=True),
                   index=dict(type="int"), value=dict(type="str", required=True))
    module = AnsibleModule(argument_spec=options, supports_check_mode=True)
    p = module.params
    program = Configurator(module)
    shown = p["name"] if p["index"] is None else "%s:%d" % (p["name"], p["index"])
    target = program.address_keys(p["address"])

    rc, out, err = program.run(target + ["--get=" + shown])
    if rc != EXIT_OK:
        program.fail("reading %s failed" % shown, rc, out, err)
    before = out.rstrip("\n")
    result = dict(changed=before != p["value"], before=before, after=p["value"],
                  commands=program.commands)
    if module._diff:
        result["diff"] = dict(before="%s = %s\n" % (shown, before),
                              after="%s = %s\n" % (shown, p["value"]))
    if not result["changed"] or module.check_mode:
        module.exit_json(**result)

    rc, out, err = program.run(target + ["--set=%s=%s" % (shown, p["value"])])
    if rc != EXIT_OK:
        program.fail("writing %s failed" % shown, rc, out, err, **result)
    result["after"] = out.rstrip("\n")
    module.exit_json(**result)


if __name__ == "__main__":
    main()
