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
