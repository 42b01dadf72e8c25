#!/usr/bin/env python3
"""Makes the archives a restore must refuse: hostile_zip.py KIND SOURCE_ZIP OUT [OUTSIDE].

Every hostile archive holds the whole of SOURCE_ZIP (a real backup) and one entry more, so
that only that entry can be the reason for a refusal."""
import shutil
import sys
import zipfile

kind, source, out = sys.argv[1], sys.argv[2], sys.argv[3]
outside = sys.argv[4] if len(sys.argv) > 4 else "/tmp/orlenway-outside"


def copy_with(extra):
    with zipfile.ZipFile(source) as src, zipfile.ZipFile(out, "w", zipfile.ZIP_DEFLATED) as dst:
        for info in src.infolist():
            dst.writestr(info, src.read(info.filename))
        extra(dst)


if kind == "slip":
    copy_with(lambda z: z.writestr(zipfile.ZipInfo("../slipped"), b"outside"))
elif kind == "absolute":
    copy_with(lambda z: z.writestr(zipfile.ZipInfo(outside + "/absolute"), b"outside"))
elif kind == "symlink":
    def link(z):
        info = zipfile.ZipInfo("conf/link")
        info.create_system = 3
        info.external_attr = (0o120777 << 16)
        z.writestr(info, outside)
        z.writestr(zipfile.ZipInfo("conf/link/through"), b"outside")
    copy_with(link)
elif kind == "duplicate":
    # "./format" lands where "format" does.
    copy_with(lambda z: z.writestr(zipfile.ZipInfo("./format"), b"9\n"))
elif kind in ("bomb", "huge"):
    # Entries whose headers understate (bomb) or overstate (huge) what they hold.
    names = ["bomb"] if kind == "bomb" else ["huge%d" % i for i in range(400)]
    def fill(z):
        for n in names:
            z.writestr(n, b"\0" * (20 * 1024 * 1024) if kind == "bomb" else b"x")
    copy_with(fill)
    declared = 1000 if kind == "bomb" else 0xFFFFFFF0
    data = bytearray(open(out, "rb").read())
    for n in names:
        raw = n.encode()
        for sig, name_at, size_at in ((b"PK\x03\x04", 30, 22), (b"PK\x01\x02", 46, 24)):
            i = data.find(sig)
            while i >= 0:
                if data[i + name_at:i + name_at + len(raw) + 0] == raw and \
                        data[i + name_at - (30 - 26 if sig == b"PK\x03\x04" else 46 - 28)] == len(raw):
                    data[i + size_at:i + size_at + 4] = declared.to_bytes(4, "little")
                i = data.find(sig, i + 1)
    open(out, "wb").write(bytes(data))
elif kind == "notzip":
    with open(out, "wb") as f:
        f.write(b"This is a plain text file, not an archive.\n" * 20)
elif kind == "truncated":
    data = open(source, "rb").read()
    open(out, "wb").write(data[: len(data) // 2])
elif kind == "copy":
    shutil.copyfile(source, out)
else:
    sys.exit("unknown kind " + kind)
