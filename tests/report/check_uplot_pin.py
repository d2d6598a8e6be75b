#!/usr/bin/env python3
"""Checks the vendored uPlot against its pin: the committed npm tarball must carry the sha512
integrity that package-lock.json records, and the files every report inlines (the minified
script, its stylesheet and the licence) must be that tarball's own, byte for byte."""
import base64
import hashlib
import json
import pathlib
import sys
import tarfile

INLINED = {
    "uPlot.iife.min.js": "package/dist/uPlot.iife.min.js",
    "uPlot.min.css": "package/dist/uPlot.min.css",
    "LICENSE": "package/LICENSE",
}


def main(folder: pathlib.Path) -> int:
    lock = json.loads((folder / "package-lock.json").read_text(encoding="utf-8"))
    entry = lock["packages"]["node_modules/uplot"]
    version = entry["version"]
    pinned = json.loads((folder / "package.json").read_text(encoding="utf-8"))["dependencies"]["uplot"]
    if pinned != version:
        print(f"package.json pins uplot {pinned}, the lock has {version}")
        return 1
    algorithm, _, expected = entry["integrity"].partition("-")
    if algorithm != "sha512":
        print(f"lock integrity is {algorithm}, expected sha512")
        return 1
    tarball = folder / f"uplot-{version}.tgz"
    actual = base64.b64encode(hashlib.sha512(tarball.read_bytes()).digest()).decode()
    if actual != expected:
        print(f"{tarball.name}: sha512 {actual}, the lock says {expected}")
        return 1
    failures = 0
    with tarfile.open(tarball, "r:gz") as archive:
        for committed, member in INLINED.items():
            original = archive.extractfile(member).read()
            if (folder / committed).read_bytes() != original:
                print(f"{committed} differs from {member} in {tarball.name}")
                failures += 1
    if failures == 0:
        print(f"uplot {version}: tarball matches the lock, {len(INLINED)} files match the tarball")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(pathlib.Path(sys.argv[1])))
