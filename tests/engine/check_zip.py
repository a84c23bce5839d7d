#!/usr/bin/env python3
"""Checks archives with Python's zipfile (names and contents), 7zz (CRCs) and bsdtar (names and CRCs); exits 0
only when all three accept every archive.

usage: check_zip.py ARCHIVE EXPECTED.json [PASSWORD] | --dir DIR (each X.zip there with X.zip.expected.json)
EXPECTED maps every entry name the archive holds to "dir", {"hex": "..."} or {"zeros": N}.
"""
import json
import os
import subprocess
import sys
import zipfile

ZEROS = bytes(1 << 22)


def matches(read, spec):
    """Whether the stream read(n) holds exactly this content; zeros are compared block by block, never built whole."""
    left = spec.get("zeros", 0)
    while left:
        chunk = read(min(left, len(ZEROS)))
        if not chunk or chunk != ZEROS[:len(chunk)]:
            return False
        left -= len(chunk)
    if "hex" in spec and read(len(spec["hex"]) // 2) != bytes.fromhex(spec["hex"]):
        return False
    return read(1) == b""


def python_reader(archive, expected, password):
    # Names without the UTF-8 flag are code page 932; reading an entry to its end checks its CRC.
    with zipfile.ZipFile(archive, metadata_encoding="cp932") as z:
        z.setpassword(password.encode("cp932"))
        seen = {}
        for i in z.infolist():
            spec = expected.get(i.filename)
            if i.is_dir() or spec in (None, "dir"):
                seen[i.filename] = "dir" if i.is_dir() else "file"
            else:
                seen[i.filename] = "ok" if matches(z.open(i).read, spec) else "differs"
    want = {k: "dir" if v == "dir" else "ok" for k, v in expected.items()}
    return "ok" if seen == want else "read %s, wanted %s" % (sorted(seen.items()), sorted(want.items()))


def seven_zip(archive, expected, password):
    r = subprocess.run(["7zz", "t", "-p" + password, archive], capture_output=True)
    return "ok" if r.returncode == 0 else "exit %d: %s" % (r.returncode, r.stdout.decode("utf-8", "replace")[-300:])


def bsdtar(archive, expected, password):
    """Lists the names, then extracts every file to nowhere, which checks each CRC."""
    command = ["bsdtar"] + (["--passphrase", password] if password else [])
    env = dict(os.environ, LC_ALL="C.UTF-8")
    r = subprocess.run(command + ["-tf", archive], capture_output=True, env=env)
    names = r.stdout.decode("utf-8", "replace").splitlines()
    if r.returncode != 0 or sorted(names) != sorted(expected):
        return "exit %d, names %s: %s" % (r.returncode, names, r.stderr.decode("utf-8", "replace").strip())
    r = subprocess.run(command + ["-xOf", archive], stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, env=env)
    return "ok" if r.returncode == 0 else "exit %d: %s" % (r.returncode, r.stderr.decode("utf-8", "replace").strip())


if sys.argv[1] == "--dir":
    archives = [os.path.join(sys.argv[2], n) for n in sorted(os.listdir(sys.argv[2])) if n.endswith(".zip")]
    runs = [(a, a + ".expected.json", "") for a in archives]
else:
    runs = [(sys.argv[1], sys.argv[2], sys.argv[3] if len(sys.argv) > 3 else "")]
ok = bool(runs)
for archive, expected_path, password in runs:
    with open(expected_path, encoding="utf-8") as f:
        expected = json.load(f)
    results = {}
    for name, reader in (("python", python_reader), ("7zz", seven_zip), ("bsdtar", bsdtar)):
        try:
            results[name] = reader(archive, expected, password)
        except Exception as e:  # a reader that throws has refused the archive
            results[name] = "%s: %s" % (type(e).__name__, e)
    print("%s: %s" % (os.path.basename(archive), ", ".join("%s %s" % kv for kv in results.items())))
    ok = ok and all(v == "ok" for v in results.values())
sys.exit(0 if ok else 1)
