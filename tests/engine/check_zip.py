#!/usr/bin/env python3
"""Checks one archive with three independent readers.

usage: check_zip.py ARCHIVE EXPECTED.json [PASSWORD]
       check_zip.py --dir DIR   (every X.zip there with its X.zip.expected.json
                                 and, when encrypted, X.zip.password)

EXPECTED maps every entry name the archive must hold (and nothing else) to
"dir", {"hex": "..."} (the content) or {"zeros": N} (N zero bytes). Prints
one line per reader, "python: ok", "7zz: ok", "bsdtar: ok" or the reason it
refused, and exits 0 only when all three accepted.
"""
import hashlib
import json
import os
import subprocess
import sys
import zipfile


def digest(spec):
    if spec == "dir":
        return "dir"
    if "zeros" in spec:
        h = hashlib.sha256()
        left = spec["zeros"]
        block = bytes(1 << 20)
        while left:
            n = min(left, len(block))
            h.update(block[:n])
            left -= n
        return h.hexdigest()
    return hashlib.sha256(bytes.fromhex(spec["hex"])).hexdigest()


def python_reader(archive, expected, password):
    # Names without the UTF-8 flag are code page 932, as the engine writes them.
    with zipfile.ZipFile(archive, metadata_encoding="cp932") as z:
        if password:
            z.setpassword(password.encode("cp932"))
        bad = z.testzip()
        if bad is not None:
            return "bad CRC in " + bad
        seen = {}
        for info in z.infolist():
            if info.is_dir():
                seen[info.filename] = "dir"
                continue
            h = hashlib.sha256()
            with z.open(info) as f:
                for chunk in iter(lambda: f.read(1 << 20), b""):
                    h.update(chunk)
            seen[info.filename] = h.hexdigest()
    return compare(seen, expected)


def seven_zip(archive, password):
    r = subprocess.run(["7zz", "t", "-p" + (password or ""), archive], capture_output=True)
    if r.returncode != 0:
        text = (r.stdout + r.stderr).decode("utf-8", "replace").strip()
        return "exit %d: %s" % (r.returncode, text.splitlines()[-3:])
    return "ok"


def bsdtar(archive, expected, password):
    """Lists the names, then streams every file's content (-xO, in listing
    order) and compares it with the expected contents in that order."""
    env = dict(os.environ, LC_ALL="C.UTF-8")
    extra = ["--passphrase", password] if password else []
    r = subprocess.run(["bsdtar", "-tf", archive] + extra, capture_output=True, env=env)
    if r.returncode != 0:
        return "exit %d: %s" % (r.returncode, r.stderr.decode("utf-8", "replace").strip())
    names = r.stdout.decode("utf-8").splitlines()
    seen = {n: "dir" if n.endswith("/") else "file" for n in names}
    want = {k: "dir" if v == "dir" else "file" for k, v in expected.items()}
    if seen != want:
        return "names: " + compare(seen, {k: v for k, v in want.items()}, hashed=True)
    h = hashlib.sha256()
    p = subprocess.Popen(["bsdtar", "-xOf", archive] + extra, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                         env=env)
    for chunk in iter(lambda: p.stdout.read(1 << 20), b""):
        h.update(chunk)
    err = p.stderr.read()
    if p.wait() != 0:
        return "exit %d: %s" % (p.returncode, err.decode("utf-8", "replace").strip())
    w = hashlib.sha256()
    for n in names:
        spec = expected[n]
        if spec == "dir":
            continue
        if "zeros" in spec:
            left, block = spec["zeros"], bytes(1 << 20)
            while left:
                w.update(block[:min(left, len(block))])
                left -= min(left, len(block))
        else:
            w.update(bytes.fromhex(spec["hex"]))
    return "ok" if h.digest() == w.digest() else "contents differ"


def compare(seen, expected, hashed=False):
    want = expected if hashed else {k: digest(v) for k, v in expected.items()}
    if seen == want:
        return "ok"
    missing = sorted(set(want) - set(seen))
    extra = sorted(set(seen) - set(want))
    differ = sorted(k for k in set(want) & set(seen) if want[k] != seen[k])
    return "missing %s extra %s differ %s" % (missing, extra, differ)


def check(archive, expected, password):
    results = {}
    for name, run in (("python", lambda: python_reader(archive, expected, password)),
                      ("7zz", lambda: seven_zip(archive, password)),
                      ("bsdtar", lambda: bsdtar(archive, expected, password))):
        try:
            results[name] = run()
        except Exception as e:  # a reader that throws has refused the archive
            results[name] = "%s: %s" % (type(e).__name__, e)
    return results


def main():
    if sys.argv[1] == "--dir":
        folder, ok, count = sys.argv[2], True, 0
        for name in sorted(os.listdir(folder)):
            if not name.endswith(".zip"):
                continue
            archive = os.path.join(folder, name)
            with open(archive + ".expected.json", encoding="utf-8") as f:
                expected = json.load(f)
            password = ""
            if os.path.exists(archive + ".password"):
                with open(archive + ".password", encoding="utf-8") as f:
                    password = f.read()
            results = check(archive, expected, password)
            print("%s: %s" % (name, ", ".join("%s %s" % kv for kv in results.items())))
            ok = ok and all(v == "ok" for v in results.values())
            count += 1
        sys.exit(0 if ok and count else 1)
    archive, expected_path = sys.argv[1], sys.argv[2]
    password = sys.argv[3] if len(sys.argv) > 3 else ""
    with open(expected_path, encoding="utf-8") as f:
        expected = json.load(f)
    results = check(archive, expected, password)
    for name, verdict in results.items():
        print("%s: %s" % (name, verdict))
    sys.exit(0 if all(v == "ok" for v in results.values()) else 1)


main()
