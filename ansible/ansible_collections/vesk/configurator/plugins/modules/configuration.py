#!/usr/bin/python
# -*- coding: utf-8 -*-
# Copyright: LORN
# GNU General Public License v3.0+ (see https://www.gnu.org/licenses/gpl-3.0.txt)

from __future__ import annotations

DOCUMENTATION = r"""
module: configuration
short_description: Make a VESK device hold a configuration file
description:
  - Compares the device at I(address) with the configuration in I(src), writes only the
    parameters that differ, then reads them back to verify, through
    C(vesk-configurator --write-differences).
  - Values the file does not hold ("Нет данных"), the device's network parameters
    (address, rate, format) and what the device only reports (C(dev), C(ver)) are never
    written, so the line stays up and one file can serve every device of a site.
  - In check mode nothing is written; the differences are reported with C(changed) as a
    real run would have it.
version_added: 1.0.0
author: LORN
options:
  address:
    description: The device's address on the line. By default the program's last one.
    type: int
  src:
    description:
      - The configuration, a C(.vesk) file or its JSON text (C(--export-json)), on the
        host the module runs on.
    type: path
    required: true
  backup:
    description:
      - Save the device's configuration before anything is written, as a C(.vesk) file
        in I(backup_dir). Nothing is saved when nothing is to be written.
    type: bool
    default: false
  backup_dir:
    description: Where I(backup) saves. By default the folder of I(src).
    type: path
extends_documentation_fragment:
  - vesk.configurator.common
attributes:
  check_mode:
    support: full
  diff_mode:
    support: full
    details: Before and after are lines C(PATH NAME[:INDEX] = VALUE) of the parameters that differ.
"""

EXAMPLES = r"""
- name: Apply the site's configuration to device 16
  vesk.configurator.configuration:
    port: tcp://cabinet-7.plant.example:3000
    address: 16
    src: files/inputs.json
    backup: true
  register: applied

- name: What it found different
  ansible.builtin.debug:
    var: applied.differences
"""

RETURN = r"""
differences:
  description: The parameters that differed before the write, in the order of the tree.
  returned: always
  type: list
  elements: dict
  contains:
    path:
      description: The branch of the parameter.
      type: str
      sample: Входы/Вход №1
    name:
      description: The parameter's short name.
      type: str
      sample: FiLt
    index:
      description: The parameter's linear index, null when it has none.
      type: int
      sample: 0
    device:
      description: The device's value (and attributes in parentheses, when they differ).
      type: str
      sample: "10"
    file:
      description: The file's value (and attributes in parentheses, when they differ).
      type: str
      sample: "25"
backup_file:
  description: The device's configuration saved before the write.
  returned: when backup is true and something was to be written
  type: str
  sample: /srv/fleet/inputs.json.tcp_cabinet-7_3000.16.2026-12-08@12-30-00.vesk
failed_parameters:
  description: The parameters the device refused, or that read back otherwise.
  returned: failure
  type: list
  elements: dict
"""

import os
import re
import time

from ansible.module_utils.basic import AnsibleModule
from ansible_collections.vesk.configurator.plugins.module_utils.configurator import (
    EXIT_OK, Configurator, common_argument_spec, difference_text, parse_difference,
    public_difference)


def differences_of(out):
    return [d for d in (parse_difference(line) for line in out.splitlines()) if d]


def backup_path(module):
    p = module.params
    folder = p["backup_dir"] or os.path.dirname(os.path.abspath(p["src"]))
    port = re.sub(r"[^A-Za-z0-9.-]+", "_", p["port"]).strip("_")
    stamp = time.strftime("%Y-%m-%d@%H-%M-%S")
    address = "" if p["address"] is None else ".%d" % p["address"]
    return os.path.join(folder, "%s.%s%s.%s.vesk" % (os.path.basename(p["src"]), port,
                                                      address, stamp))


def main():
    options = common_argument_spec()
    options.update(address=dict(type="int"), src=dict(type="path", required=True),
                   backup=dict(type="bool", default=False), backup_dir=dict(type="path"))
    module = AnsibleModule(argument_spec=options, supports_check_mode=True)
    p = module.params
    if not os.path.isfile(p["src"]):
        module.fail_json(msg="src %s is not a file on %s" % (p["src"], os.uname()[1]))
    program = Configurator(module)
    target = program.address_keys(p["address"]) + ["--write-differences"]

    rc, out, err = program.run(target + ["--dry-run", p["src"]])
    if rc != EXIT_OK:
        program.fail("compare with the device failed", rc, out, err)
    differences = differences_of(out)
    result = dict(changed=bool(differences),
                  differences=[public_difference(d) for d in differences],
                  commands=program.commands)
    if module._diff:
        result["diff"] = dict(before=difference_text(differences, "device"),
                              after=difference_text(differences, "file"),
                              before_header="%s address %s" % (p["port"], p["address"]),
                              after_header=p["src"])
    if not differences or module.check_mode:
        module.exit_json(**result)

    if p["backup"]:
        path = backup_path(module)
        rc, out, err = program.run(program.address_keys(p["address"]) + ["/read/close", "--", path])
        if rc != EXIT_OK:
            program.fail("backup of the device failed, nothing written", rc, out, err,
                         **dict(result, changed=False))
        result["backup_file"] = path

    rc, out, err = program.run(target + [p["src"]])
    written = differences_of(out)
    result["changed"] = bool(written)
    if rc != EXIT_OK:
        done = set(d["line"] for d in written)
        failed = [d for d in differences if d["line"] not in done or d["line"] in err]
        result["failed_parameters"] = [public_difference(d) for d in failed]
        program.fail("configuration not applied: %d of %d parameters failed"
                     % (len(failed), len(differences)), rc, out, err, **result)
    module.exit_json(**result)


if __name__ == "__main__":
    main()
