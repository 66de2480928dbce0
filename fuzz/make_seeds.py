#!/usr/bin/python3
"""Writes the seed corpus of the fuzz targets: values as Samba's own library
writes them (security.NTACL of every version, user.DOSATTRIB), descriptors,
reparse buffers and SID texts. Run with Debian's python3 (python3-samba)."""
import os
import struct
import sys

from samba.dcerpc import security, xattr
from samba.ndr import ndr_pack

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "corpus")

SDDLS = [
    "O:BAG:SYD:(A;;FA;;;SY)(A;;FA;;;BA)",
    "O:S-1-5-21-1-2-3-1001G:S-1-5-21-1-2-3-513D:PAI(A;OICI;FA;;;S-1-5-21-1-2-3-1001)"
    "(A;OICIIO;GA;;;CO)(D;;WD;;;WD)S:AI(AU;SAFA;FA;;;WD)",
    "O:SYG:SYD:(A;;0x1200a9;;;S-1-15-3-1024-1065365936-1281604716-3511738428-1654721687-"
    "432734479-3232135806-4053264122-3456934681)",
    "D:(OA;;CR;ab721a53-1e2f-11d0-9819-00aa0040529b;;WD)",
]


def write(target, name, data):
    folder = os.path.join(ROOT, target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as out:
        out.write(data)


def descriptors():
    domain = security.dom_sid("S-1-5-21-1-2-3")
    return [security.descriptor.from_sddl(sddl, domain) for sddl in SDDLS]


def nt_acl(version, sd):
    value = xattr.NTACL()
    value.version = version
    if version == 1:
        value.info = sd
    elif version == 2:
        info = xattr.security_descriptor_hash_v2()
        info.sd = sd
        info.hash = [1] * 16
        value.info = info
    elif version == 3:
        info = xattr.security_descriptor_hash_v3()
        info.sd = sd
        info.hash_type = 1
        info.hash = [2] * 64
        value.info = info
    else:
        info = xattr.security_descriptor_hash_v4()
        info.sd = sd
        info.hash_type = 1
        info.hash = [3] * 64
        info.description = "posix_acl"
        info.time = 132000000000000000
        info.sys_acl_hash = [4] * 64
        value.info = info
    return ndr_pack(value)


def dos_attrib(version, attributes, created):
    value = xattr.DOSATTRIB()
    value.version = version
    if version == 1:
        info = xattr.DosInfo1()
        info.attrib = attributes
        info.create_time = created
    elif version == 3:
        info = xattr.DosInfo3()
        info.valid_flags = 0x11
        info.attrib = attributes
        info.create_time = created
    elif version == 4:
        info = xattr.DosInfo4()
        info.valid_flags = 0x11
        info.attrib = attributes
        info.create_time = created
    else:
        info = xattr.DosInfo5()
        info.valid_flags = 0x11
        info.attrib = attributes
        info.create_time = created
    value.info = info
    value.attrib_hex = "" if version > 1 else "0x%x" % attributes
    return ndr_pack(value)


def symlink(substitute, printed, relative):
    sub = substitute.encode("utf-16-le")
    pri = printed.encode("utf-16-le")
    body = struct.pack("<HHHHI", 0, len(sub), len(sub), len(pri), 1 if relative else 0) + sub + pri
    return struct.pack("<IHH", 0xA000000C, len(body), 0) + body


def mount_point(substitute, printed):
    sub = substitute.encode("utf-16-le") + b"\0\0"
    pri = printed.encode("utf-16-le") + b"\0\0"
    body = struct.pack("<HHHH", 0, len(sub) - 2, len(sub), len(pri) - 2) + sub + pri
    return struct.pack("<IHH", 0xA0000003, len(body), 0) + body


def main():
    for i, sd in enumerate(descriptors()):
        write("descriptor_fuzzer", "sd%d" % i, ndr_pack(sd))
        for version in (1, 2, 3, 4):
            write("nt_acl_fuzzer", "v%d_sd%d" % (version, i), nt_acl(version, sd))
    for version in (1, 3, 4, 5):
        write("dos_attrib_fuzzer", "v%d" % version, dos_attrib(version, 0x23, 132000000000000000))
    write("dos_attrib_fuzzer", "hex_text", b"0x22\0")
    write("reparse_fuzzer", "absolute", symlink("\\??\\C:\\data\\dir", "C:\\data\\dir", False))
    write("reparse_fuzzer", "relative", symlink("..\\dir\\file.txt", "..\\dir\\file.txt", True))
    write("reparse_fuzzer", "mount_point", mount_point("\\??\\Volume{1234}\\", "D:\\"))
    for i, text in enumerate(["S-1-5-21-1-2-3-1001", "S-1-5-32-544", "S-1-0x123456789abc-7",
                              "S-1-15-3-1024-1065365936-1281604716-3511738428-1654721687",
                              "S-1-5-15-aaaaaaaa-bbbbbbbb-cccccccc-FFFFFFFF", "S-1-1-0"]):
        write("sid_string_fuzzer", "sid%d" % i, text.encode())
    return 0


if __name__ == "__main__":
    sys.exit(main())
