"""The demo's security descriptors, through Samba's own code (python3-samba).

  demo_security.py seed WORLD ROOT     writes the sample tree under ROOT with a
                                       descriptor on every file and directory
  demo_security.py show WORLD PATH...  prints each descriptor with the names the
                                       world gives its SIDs

Descriptors are kept as Samba keeps them: an xattr_NTACL value in
security.NTACL (user.NTACL for a process that may not write security.*).
"""
import json
import os
import sys

from samba.dcerpc import security, xattr
from samba.ndr import ndr_pack, ndr_unpack

WELL_KNOWN = {
    "S-1-1-0": "Everyone",
    "S-1-3-0": "CREATOR OWNER",
    "S-1-5-18": "SYSTEM",
    "S-1-5-32-544": "BUILTIN\\Administrators",
}
STANDARD = {500: "Administrator", 512: "Domain Admins", 513: "Domain Users"}
RIGHTS = {0x1F01FF: "full control", 0x1301BF: "modify", 0x1200A9: "read"}


def names_of(world):
    """SID -> DOMAIN\\name for every account the world file names."""
    names = dict(WELL_KNOWN)
    for domain in world["domains"]:
        for rid, name in STANDARD.items():
            names[f"{domain['sid']}-{rid}"] = f"{domain['name']}\\{name}"
        for account in domain.get("accounts", []):
            names[f"{domain['sid']}-{account['rid']}"] = f"{domain['name']}\\{account['name']}"
    for server in world["servers"]:
        if "sid" not in server:
            continue
        names[f"{server['sid']}-500"] = f"{server['name']}\\Administrator"
        for user in server.get("local_users", []):
            names[f"{server['sid']}-{user['rid']}"] = f"{server['name']}\\{user['name']}"
    return names


def sid_of(world, name):
    return {v.upper(): k for k, v in names_of(world).items()}[name.upper()]


def store(path, sddl, world):
    sd = security.descriptor.from_sddl(sddl, security.dom_sid(world["domains"][0]["sid"]))
    value = xattr.NTACL()
    value.version = 1
    value.info = sd
    packed = ndr_pack(value)
    try:
        os.setxattr(path, "security.NTACL", packed)
    except PermissionError:
        os.setxattr(path, "user.NTACL", packed)


def seed(world, root):
    alice, bob, engineers = (sid_of(world, n) for n in ("CORP\\alice", "CORP\\bob", "CORP\\Engineers"))
    users = sid_of(world, "CORP\\Domain Users")
    service = sid_of(world, "FS1\\svc_backup")
    folder = (f"O:{alice}G:{users}D:PAI(A;OICI;0x1f01ff;;;{alice})(A;OICI;0x1301bf;;;{engineers})"
              f"(A;OICI;0x1f01ff;;;BA)(A;OICI;0x1f01ff;;;{service})")
    plan = (f"O:{alice}G:{users}D:(A;;0x1f01ff;;;{alice})(A;;0x1301bf;;;{engineers})"
            f"(A;;0x1200a9;;;{bob})(A;;0x1f01ff;;;{service})(A;;0x1f01ff;;;BA)")
    os.makedirs(os.path.join(root, "specs"), exist_ok=True)
    files = {"plan.txt": "Milestones for the new building\n",
             "specs/design.txt": "Load-bearing walls are marked in red.\n"}
    for name, text in files.items():
        with open(os.path.join(root, name), "w") as f:
            f.write(text)
        store(os.path.join(root, name), plan, world)
    for directory in (root, os.path.join(root, "specs")):
        store(directory, folder, world)


def read_descriptor(path):
    for name in ("security.NTACL", "user.NTACL"):
        try:
            return ndr_unpack(xattr.NTACL, os.getxattr(path, name)).info
        except OSError:
            pass
    return None


def show(world, paths):
    names = names_of(world)
    label = lambda sid: names.get(str(sid), str(sid))
    for path in paths:
        sd = read_descriptor(path)
        print(f"  {path}")
        if sd is None:
            print("    (no descriptor)")
            continue
        print(f"    owner {label(sd.owner_sid)}, group {label(sd.group_sid)}")
        for ace in sd.dacl.aces if sd.dacl else []:
            kind = "deny " if ace.type == security.SEC_ACE_TYPE_ACCESS_DENIED else "allow"
            rights = RIGHTS.get(ace.access_mask, f"0x{ace.access_mask:06x}")
            print(f"    {kind} {label(ace.trustee):<28} {rights}")


def main():
    command, world_file = sys.argv[1], sys.argv[2]
    with open(world_file) as f:
        world = json.load(f)
    if command == "seed":
        seed(world, sys.argv[3])
    else:
        show(world, sys.argv[3:])


if __name__ == "__main__":
    main()
