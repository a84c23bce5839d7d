#!/usr/bin/env python3
"""Checks one archive with three independent readers.

usage: check_zip.py ARCHIVE EXPECTED.json [PASSWORD]
       check_zip.py --dir DIR   (every X.zip there with its X.zip.expected.json)

EXPECTED maps every entry name the archive must hold (and nothing else) to
"dir", {"hex": "..."} (the content) or {"zeros": N} (N zero bytes). Prints
a line per archive, "X.zip: python ok, 7zz ok, bsdtar ok" or the reason a
reader refused, and exits 0 only when all three accepted every archive.
"""
import json
import os
import subprocess
import sys
import zipfile

ZEROS = bytes(1 << 22)


def matches(read, specs):
    """Whether the stream read(n) holds exactly these contents, in order;
    zeros are compared block by block, never built whole."""
    for spec in specs:
        if "zeros" in spec:
            left = spec["zeros"]
            while left:
                chunk = read(min(left, len(ZEROS)))
                if not chunk or chunk != ZEROS[:len(chunk)]:
                    return False
                left -= len(chunk)
        elif read(len(spec["hex"]) // 2) != bytes.fromhex(spec["hex"]):
            return False
    return read(1) == b""


def compare(seen, want):
    if seen == want:
        return "ok"
    differ = sorted(k for k in set(want) & set(seen) if want[k] != seen[k])
    return "missing %s extra %s differ %s" % (sorted(set(want) - set(seen)), sorted(set(seen) - set(want)), differ)


def python_reader(archive, expected, password):
    # Names without the UTF-8 flag are code page 932, as the engine writes
    # them. Reading every entry to its end checks its CRC.
    with zipfile.ZipFile(archive, metadata_encoding="cp932") as z:
        if password:
            z.setpassword(password.encode("cp932"))
        seen = {}
        for info in z.infolist():
            spec = expected.get(info.filename)
            if info.is_dir() or spec in (None, "dir"):
                seen[info.filename] = "dir" if info.is_dir() else "file"
                continue
            with z.open(info) as f:
                seen[info.filename] = "ok" if matches(f.read, [spec]) else "differs"
    return compare(seen, {k: "dir" if v == "dir" else "ok" for k, v in expected.items()})


def seven_zip(archive, expected, password):
    r = subprocess.run(["7zz", "t", "-p" + (password or ""), archive], capture_output=True)
    if r.returncode != 0:
        return "exit %d: %s" % (r.returncode, (r.stdout + r.stderr).decode("utf-8", "replace").splitlines()[-3:])
    return "ok"


def bsdtar(archive, expected, password):
    """Lists the names, then streams every file's content (-xO, in listing
    order) and compares it with the expected contents in that order."""
    env = dict(os.environ, LC_ALL="C.UTF-8")
    command = ["bsdtar"] + (["--passphrase", password] if password else [])
    r = subprocess.run(command + ["-tf", archive], capture_output=True, env=env)
    if r.returncode != 0:
        return "exit %d: %s" % (r.returncode, r.stderr.decode("utf-8", "replace").strip())
    names = r.stdout.decode("utf-8").splitlines()
    kind = lambda d: {k: "dir" if k.endswith("/") else "file" for k in d}
    if kind(names) != kind(expected):
        return "names: " + compare(kind(names), kind(expected))
    p = subprocess.Popen(command + ["-xOf", archive], stdout=subprocess.PIPE, stderr=subprocess.PIPE, env=env)
    same = matches(p.stdout.read, [expected[n] for n in names if expected[n] != "dir"])
    for _ in iter(lambda: p.stdout.read(len(ZEROS)), b""):
        pass
    err = p.stderr.read()
    if p.wait() != 0:
        return "exit %d: %s" % (p.returncode, err.decode("utf-8", "replace").strip())
    return "ok" if same else "contents differ"


def check(archive, expected_path, password):
    with open(expected_path, encoding="utf-8") as f:
        expected = json.load(f)
    results = {}
    for name, reader in (("python", python_reader), ("7zz", seven_zip), ("bsdtar", bsdtar)):
        try:
            results[name] = reader(archive, expected, password)
        except Exception as e:  # a reader that throws has refused the archive
            results[name] = "%s: %s" % (type(e).__name__, e)
    return results


if sys.argv[1] == "--dir":
    archives = sorted(os.path.join(sys.argv[2], n) for n in os.listdir(sys.argv[2]) if n.endswith(".zip"))
    runs = [(a, a + ".expected.json", "") for a in archives]
else:
    runs = [(sys.argv[1], sys.argv[2], sys.argv[3] if len(sys.argv) > 3 else "")]
ok = bool(runs)
for archive, expected_path, password in runs:
    results = check(archive, expected_path, password)
    print("%s: %s" % (os.path.basename(archive), ", ".join("%s %s" % kv for kv in results.items())))
    ok = ok and all(v == "ok" for v in results.values())
sys.exit(0 if ok else 1)
