"""Generates the benchmark trees once: many small files, and a few large ones.

With "security" as the fourth argument every file and directory also carries
an NT security descriptor in security.NTACL, as a Samba file server keeps it:
owner, group and a DACL of four entries, one of them inheritable.
"""
import os
import random
import shutil
import struct
import sys


def sid(text):
    parts = [int(p) for p in text.split("-")[1:]]
    revision, authority, subs = parts[0], parts[1], parts[2:]
    return (struct.pack("<BB", revision, len(subs)) + authority.to_bytes(6, "big")
            + b"".join(struct.pack("<I", s) for s in subs))


def acl(entries):
    body = b""
    for mask, flags, text in entries:
        s = sid(text)
        body += struct.pack("<BBHI", 0, flags, 8 + len(s), mask) + s
    return struct.pack("<BBHHH", 2, 0, 8 + len(body), len(entries), 0) + body


def nt_acl_value():
    """xattr_NTACL version 1: version, level, a unique pointer, then the
    self-relative descriptor whose offsets count from the start of the value."""
    owner = sid("S-1-5-21-1004336348-1177238915-682003330-1104")
    group = sid("S-1-5-21-1004336348-1177238915-682003330-513")
    dacl = acl([(0x1F01FF, 0x03, "S-1-5-32-544"),
                (0x1F01FF, 0x00, "S-1-5-18"),
                (0x1301BF, 0x00, "S-1-5-21-1004336348-1177238915-682003330-1104"),
                (0x1200A9, 0x00, "S-1-1-0")])
    header = 8
    owner_at = header + 20
    group_at = owner_at + len(owner)
    dacl_at = group_at + len(group)
    control = 0x8004 | 0x0400  # self-relative, DACL present, auto-inherited
    descriptor = struct.pack("<BBHIIII", 1, 0, control, owner_at, group_at, 0, dacl_at)
    return struct.pack("<HHI", 1, 1, 0x00020000) + descriptor + owner + group + dacl


def add_security(root):
    value = nt_acl_value()
    for directory, _, files in os.walk(root):
        os.setxattr(directory, "security.NTACL", value)
        for name in files:
            os.setxattr(os.path.join(directory, name), "security.NTACL", value)


def make_small(root, count):
    rng = random.Random(1)
    directories = max(1, count // 50)
    total = 0
    for d in range(directories):
        path = os.path.join(root, f"dir{d // 20:03d}", f"sub{d:04d}")
        os.makedirs(path, exist_ok=True)
    for i in range(count):
        d = i % directories
        path = os.path.join(root, f"dir{d // 20:03d}", f"sub{d:04d}", f"file{i:06d}.dat")
        size = rng.randint(1024, 8192)
        with open(path, "wb") as f:
            f.write(rng.randbytes(size))
        total += size
    return count, total


def make_large(root, mib):
    os.makedirs(root, exist_ok=True)
    files = 4
    chunk = os.urandom(1 << 20)
    per_file = mib // files
    for i in range(files):
        with open(os.path.join(root, f"large{i}.bin"), "wb") as f:
            for _ in range(per_file):
                f.write(chunk)
    return files, per_file * files << 20


def make_flat(root, count):
    """One directory of count files of 0 to 300 bytes: how the engine scales
    with the entries of a single directory."""
    rng = random.Random(2)
    os.makedirs(root, exist_ok=True)
    total = 0
    for i in range(count):
        size = rng.randint(0, 300)
        with open(os.path.join(root, f"entry{i:07d}.txt"), "wb") as f:
            f.write(rng.randbytes(size))
        total += size
    return count, total


MAKERS = {"small": make_small, "large": make_large, "flat": make_flat, "trace": make_small}


def main():
    """make_trees.py BASE NAME=SIZE... [security]: small, trace (a small tree
    for the traced pass) and flat take a number of files, large MiB."""
    base = sys.argv[1]
    security = sys.argv[-1] == "security"
    specs = [arg.split("=") for arg in sys.argv[2:] if "=" in arg]
    for name, value in specs:
        make, arg = MAKERS[name], int(value)
        count_file = os.path.join(base, name + ".count")
        tree = os.path.join(base, name)
        if os.path.exists(count_file):
            with open(count_file) as f:
                recorded = f.read().split()
            if recorded[2:] == [str(arg)]:
                continue  # generated before with the same size
            shutil.rmtree(tree, ignore_errors=True)
        files, size = make(tree, arg)
        if security:
            add_security(tree)
        with open(count_file, "w") as f:
            f.write(f"{files} {size} {arg}\n")


if __name__ == "__main__":
    main()
