#!/usr/bin/python
# -*- coding: utf-8 -*-
# Copyright: LORN
# GNU General Public License v3.0+ (see https://www.gnu.org/licenses/gpl-3.0.txt)

from __future__ import annotations

DOCUMENTATION = r"""
module: backup
short_description: Save the configuration of a VESK device to a file
description:
  - Reads the whole configuration of the device at I(address) into I(dest), a C(.vesk)
    file or, for a name ending in C(.json), its JSON text (one parameter a line, for
    version control).
  - The file is replaced whole, and only when its content changes.
  - In check mode the device is read, and I(dest) is left as it is.
version_added: 1.0.0
author: LORN
options:
  address:
    description: The device's address on the line. By default the program's last one.
    type: int
  dest:
    description: The file to save to, on the host the module runs on. Its folder must exist.
    type: path
    required: true
extends_documentation_fragment:
  - vesk.configurator.common
attributes:
  check_mode:
    support: full
"""

EXAMPLES = r"""
- name: Keep device 16's configuration in the fleet's repository
  vesk.configurator.backup:
    port: rfc2217://cabinet-7.plant.example:3001
    address: 16
    dest: "backups/{{ inventory_hostname }}/16.json"
"""

RETURN = r"""
dest:
  description: The file written.
  returned: success
  type: str
  sample: backups/cabinet-7/16.json
"""

import os
import shutil
import tempfile

from ansible.module_utils.basic import AnsibleModule
from ansible_collections.vesk.configurator.plugins.module_utils.configurator import (
    EXIT_OK, Configurator, common_argument_spec)


def same_content(a, b):
    if not os.path.exists(b):
        return False
    with open(a, "rb") as fa, open(b, "rb") as fb:
        return fa.read() == fb.read()


def main():
    options = common_argument_spec()
    options.update(address=dict(type="int"), dest=dict(type="path", required=True))
    module = AnsibleModule(argument_spec=options, supports_check_mode=True)
    p = module.params
    dest = os.path.abspath(p["dest"])
    folder = os.path.dirname(dest)
    # Check mode reports on a folder a real run would have to create first.
    if not os.path.isdir(folder) and not module.check_mode:
        module.fail_json(msg="the folder of dest %s does not exist" % dest)
    program = Configurator(module)

    work = tempfile.mkdtemp(prefix=".vesk-backup-",
                            dir=folder if os.path.isdir(folder) else None)
    try:
        read = os.path.join(work, "device.vesk")
        rc, out, err = program.run(program.address_keys(p["address"]) +
                                   ["/read/close", "--", read], cwd=work)
        if rc != EXIT_OK:
            program.fail("reading the device failed", rc, out, err)
        new = read
        if dest.endswith(".json"):
            new = os.path.join(work, "device.json")
            rc, out, err = program.run(["--export-json=" + read, "--output=" + new])
            if rc != EXIT_OK:
                program.fail("converting to JSON failed", rc, out, err)
        changed = not same_content(new, dest)
        if changed and not module.check_mode:
            module.atomic_move(new, dest)
    finally:
        shutil.rmtree(work, ignore_errors=True)
    module.exit_json(changed=changed, dest=dest, commands=program.commands)


if __name__ == "__main__":
    main()
