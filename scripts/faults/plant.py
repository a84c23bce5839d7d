#!/usr/bin/env python3
"""Plants faults one at a time in a scratch copy of the tree and runs the
tests against each, to learn which faults the suite catches.

    scripts/faults/plant.py engine_faults --out scripts/faults/kill-before.txt
    scripts/faults/plant.py engine_faults program_faults --only name,name
    scripts/faults/plant.py engine_faults --list

Run it from a shell that has sourced scripts/env.sh, with WINEPREFIX set to a
prepared prefix and DISPLAY to a running X server when the windows preset is
among --presets. The scratch tree (a copy of this tree's files, tracked or not
ignored) and its build folders are kept between runs under --scratch, so each
fault costs an incremental build. For each fault the presets run in order,
ctest stopping at the first failure; the first failing test names the kill.

Results, one line a fault: KILLED by <test>, SURVIVED, STALE (the anchor no
longer occurs exactly once) or NOBUILD (the planted tree does not compile).
"""
import argparse
import importlib
import re
import shutil
import subprocess
import sys
import time
from pathlib import Path

HERE = Path(__file__).resolve().parent
ROOT = HERE.parent.parent
PRODUCT_DIRS = ("engine", "src", "res")
SOURCE_SUFFIXES = (".cpp", ".h", ".c", ".def", ".rc", ".cmake", ".txt", ".manifest")


def load_faults(modules):
    sys.path.insert(0, str(HERE))
    faults = []
    for name in modules:
        faults += importlib.import_module(name).FAULTS
    names = [f.name for f in faults]
    duplicated = {n for n in names if names.count(n) > 1}
    if duplicated:
        sys.exit(f"fault names used twice: {', '.join(sorted(duplicated))}")
    return faults


def product_files(tree):
    for folder in PRODUCT_DIRS:
        for path in sorted((tree / folder).rglob("*")):
            if path.is_file() and path.suffix in SOURCE_SUFFIXES:
                yield path


def find_anchor(tree, anchor):
    """The one file holding `anchor` exactly once, or None."""
    hits = []
    for path in product_files(tree):
        count = path.read_text(encoding="utf-8", errors="surrogateescape").count(anchor)
        hits += [path] * count
    return hits[0] if len(hits) == 1 else None


def tree_files(rev, scratch):
    """The folder to copy from and its files: this tree's files (tracked or
    not ignored), or those of commit rev, unpacked beside scratch."""
    if not rev:
        listed = subprocess.run(["git", "ls-files", "-co", "--exclude-standard", "-z"], cwd=ROOT, check=True,
                                capture_output=True).stdout.decode().split("\0")
        return ROOT, {name for name in listed if name and (ROOT / name).is_file()}
    source = scratch.parent / (scratch.name + "-rev")
    shutil.rmtree(source, ignore_errors=True)
    source.mkdir(parents=True)
    archive = subprocess.run(["git", "archive", rev], cwd=ROOT, check=True, capture_output=True).stdout
    subprocess.run(["tar", "-x", "-C", str(source)], input=archive, check=True)
    return source, {p.relative_to(source).as_posix() for p in source.rglob("*") if p.is_file()}


def sync_scratch(scratch, rev):
    """Copies the files into scratch. A file is written only when its
    content differs, so that builds there stay incremental; one gone from
    the tree goes from scratch too."""
    scratch.mkdir(parents=True, exist_ok=True)
    source_root, wanted = tree_files(rev, scratch)
    for name in wanted:
        source, target = source_root / name, scratch / name
        if target.is_file() and target.read_bytes() == source.read_bytes():
            continue
        target.parent.mkdir(parents=True, exist_ok=True)
        shutil.copyfile(source, target)
        shutil.copymode(source, target)
    for path in scratch.rglob("*"):
        name = path.relative_to(scratch).as_posix()
        if path.is_file() and not name.startswith("build/") and name != "plant.log" and name not in wanted:
            path.unlink()


def run(cmd, cwd, log, timeout=None):
    with open(log, "a") as out:
        out.write(f"\n$ {' '.join(cmd)}\n")
        out.flush()
        try:
            return subprocess.run(["nice", "-n", "10"] + cmd, cwd=cwd, stdout=out,
                                  stderr=subprocess.STDOUT, timeout=timeout).returncode
        except subprocess.TimeoutExpired:
            return None


def build(scratch, presets, log):
    for preset in presets:
        if not (scratch / "build" / preset / "CMakeCache.txt").exists():
            if run(["cmake", "--preset", preset], scratch, log) != 0:
                return False
        if run(["cmake", "--build", "--preset", preset], scratch, log) != 0:
            return False
    return True


FAILED_LINE = re.compile(r"Test\s+#\d+: (\S+) \.*\s*(\*\*\*|Not Run|Exception)")


def first_failure(scratch, preset, log, args):
    """The name of the first failing test of the preset, or None."""
    start = log.stat().st_size if log.exists() else 0
    # Without the costs of earlier runs ctest starts the tests in the order
    # they are declared, the quick ones of each area first, rather than the
    # longest first: a fault is found sooner.
    (scratch / "build" / preset / "Testing" / "Temporary" / "CTestCostData.txt").unlink(missing_ok=True)
    cmd = ["ctest", "--test-dir", f"build/{preset}", "-j", str(args.jobs), "--stop-on-failure",
           "--timeout", str(args.timeout)]
    if args.ctest_regex:
        cmd += ["-R", args.ctest_regex]
    if args.ctest_exclude:
        cmd += ["-E", args.ctest_exclude]
    code = run(cmd, scratch, log, timeout=args.suite_timeout)
    if code == 0:
        return None
    with open(log, errors="replace") as f:
        f.seek(start)
        text = f.read()
    match = FAILED_LINE.search(text)
    if match:
        return f"{preset}:{match.group(1)}"
    return f"{preset}:(ctest {'timed out' if code is None else 'exit ' + str(code)})"


def plant_one(scratch, fault, presets, log, args):
    """Plants the fault and runs the presets' tests in turn, each built only
    when the ones before it missed the fault."""
    path = find_anchor(scratch, fault.anchor)
    if path is None:
        return "STALE"
    original = path.read_bytes()
    text = original.decode("utf-8", errors="surrogateescape")
    path.write_bytes(text.replace(fault.anchor, fault.replacement).encode("utf-8", errors="surrogateescape"))
    try:
        for preset in presets:
            if not build(scratch, [preset], log):
                return "NOBUILD"
            failed = first_failure(scratch, preset, log, args)
            if failed:
                return f"KILLED by {failed}"
        return "SURVIVED"
    finally:
        path.write_bytes(original)


def branch():
    name = subprocess.run(["git", "rev-parse", "--abbrev-ref", "HEAD"], cwd=ROOT, capture_output=True, text=True)
    return name.stdout.strip().replace("/", "-") or ROOT.name


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("lists", nargs="+", help="fault lists in scripts/faults (engine_faults, program_faults)")
    parser.add_argument("--only", help="comma-separated fault names, run in that order")
    parser.add_argument("--list", action="store_true", help="print the faults and whether each applies")
    parser.add_argument("--out", type=Path, help="result file (default: print only)")
    parser.add_argument("--presets", default="linux,windows")
    parser.add_argument("--scratch", type=Path, default=Path(f"/tmp/faults-{branch()}"))
    parser.add_argument("--jobs", type=int, default=2)
    parser.add_argument("--timeout", type=int, default=1500,
                        help="per test without a timeout of its own, s (ctest's default)")
    parser.add_argument("--suite-timeout", type=int, default=3600, help="per preset's ctest run, s")
    parser.add_argument("--rev", help="test the tree of this commit instead of the working tree")
    parser.add_argument("-R", dest="ctest_regex", help="ctest -R: run only these tests")
    parser.add_argument("-E", dest="ctest_exclude", help="ctest -E: leave these tests out")
    args = parser.parse_args()

    faults = load_faults(args.lists)
    if args.only:
        wanted = args.only.split(",")
        unknown = set(wanted) - {f.name for f in faults}
        if unknown:
            sys.exit(f"unknown faults: {', '.join(sorted(unknown))}")
        by_name = {f.name: f for f in faults}
        faults = [by_name[name] for name in wanted]  # in the order given
    if args.list:
        for fault in faults:
            path = find_anchor(ROOT, fault.anchor)
            where = path.relative_to(ROOT) if path else "STALE"
            print(f"{fault.name:40} {where}\n    {fault.why}")
        return

    if args.rev:  # a branch may move while the faults run
        args.rev = subprocess.run(["git", "rev-parse", "--short", args.rev], cwd=ROOT, check=True, capture_output=True,
                                  text=True).stdout.strip()
    presets = args.presets.split(",")
    scratch = args.scratch
    sync_scratch(scratch, args.rev)
    log = scratch / "plant.log"
    log.unlink(missing_ok=True)
    if not build(scratch, presets, log):
        sys.exit(f"the unplanted tree does not build; see {log}")
    if any(p.startswith("windows") for p in presets):
        # One wineserver for every run, its services started outside ctest
        # (started by a test they would hold its output open), as test.sh does.
        subprocess.run(["wineserver", "-p"])  # fails harmlessly when one runs already
        subprocess.run(["wine", "cmd", "/c", "exit"], stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)
    results = []
    out = open(args.out, "w") if args.out else None
    head = args.rev or subprocess.run(["git", "rev-parse", "--short", "HEAD"], cwd=ROOT, capture_output=True,
                                      text=True).stdout.strip() + " and the working tree"
    header = f"# tree {head}, presets {args.presets}, {time.strftime('%Y-%m-%d %H:%M UTC', time.gmtime())}"
    for stream in filter(None, (sys.stdout, out)):
        print(header, file=stream, flush=True)
    for fault in faults:
        began = time.monotonic()
        result = plant_one(scratch, fault, presets, log, args)
        results.append(result)
        line = f"{fault.name:40} {result}  ({time.monotonic() - began:.0f} s)"
        for stream in filter(None, (sys.stdout, out)):
            print(line, file=stream, flush=True)
    build(scratch, presets, log)  # leave the scratch builds unplanted
    killed = sum(r.startswith("KILLED") for r in results)
    summary = (f"# {killed} killed, {results.count('SURVIVED')} survived, "
               f"{results.count('STALE')} stale, {results.count('NOBUILD')} did not build, of {len(results)}")
    for stream in filter(None, (sys.stdout, out)):
        print(summary, file=stream, flush=True)


if __name__ == "__main__":
    main()
