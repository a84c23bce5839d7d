#!/usr/bin/python3
"""Runs every measurement of the benchmark and writes them as JSON.

  bench.py --corpus DIR --work DIR --json FILE --native-driver EXE
           --native-lib SO --wine-driver EXE --wine-lib DLL --native-zlib EXE
           --wine-zlib EXE [--small] [--until SECONDS_SINCE_1970] [--parts tree,office,...]

The corpus (make_corpus.py) has four parts, tree, office, small and big; each tool
archives each part on its own, from the same warm page cache, one run at a
time. A run's wall time is measured around the process; its CPU time (user +
system) and peak memory (largest resident set) come from GNU time, that is
from the kernel's accounting of the process and every process it waited
for. Under Wine the program is no child of the command that starts it, so
our driver reports its own CPU time and peak memory, which are added (the
largest taken for memory), with the CPU time the wineserver spent meanwhile.
Every archive is tested with 7-Zip (file count and bytes against the
corpus) before it is deleted. Needs WINEPREFIX set to a ready prefix.
Level 6 runs first, then the update, then level 0, then our engine at level
6 on many entries (the small part four times over, as hard links: memory
by entry count), then zlib alone (zlib_speed.cpp) natively and under Wine; with --until no run starts after
that time, and the results say they were cut short. --parts measures only
the parts named: the update needs tree, the many entries small, zlib alone
big.
"""
import argparse
import json
import os
import platform
import re
import shutil
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
PARTS = ("tree", "office", "small", "big")
LEVEL6_TOOLS = ("ours", "ours-wine", "7zz", "bsdtar", "python", "pigz")
CHANGE = b"\n/* changed by the update benchmark */\n"


def wine_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


class OutOfTime(Exception):
    pass


class Wineserver:
    """The prefix's wineserver, kept running so that runs share it; its CPU
    time is part of what a Wine run costs."""

    def __init__(self):
        # Fails harmlessly when the server already runs.
        subprocess.run(["wineserver", "-p"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        prefix = os.path.realpath(os.environ["WINEPREFIX"])
        self.pid = None
        for pid in filter(str.isdigit, os.listdir("/proc")):
            try:
                with open("/proc/%s/comm" % pid) as comm:
                    if not comm.read().startswith("wineserver"):
                        continue
                with open("/proc/%s/environ" % pid, "rb") as environ:
                    entries = environ.read().split(b"\0")
            except OSError:
                continue
            if ("WINEPREFIX=" + prefix).encode() in entries:
                self.pid = int(pid)
        if self.pid is None:
            sys.exit("the prefix's wineserver was not found")

    def cpu_seconds(self):
        with open("/proc/%d/stat" % self.pid) as stat:
            fields = stat.read().rsplit(")", 1)[1].split()
        return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")

    def stop(self):
        subprocess.run(["wineserver", "-k"], check=False)


class Bench:
    def __init__(self, args):
        self.args = args
        self.corpus = os.path.abspath(args.corpus)
        self.work = os.path.abspath(args.work)
        self.runs = []
        self.manifest = {}
        with open(os.path.join(self.corpus, "MANIFEST")) as manifest:
            for line in manifest:
                name, files, total, _ = line.split()
                self.manifest[name] = {"files": int(files), "bytes": int(total)}
        self.wineserver = Wineserver()

    # --- measuring -------------------------------------------------------

    def measure(self, cmd, cwd=None, wine=False):
        if self.args.until and time.time() > self.args.until:
            raise OutOfTime()
        subprocess.run(["sync"], check=True)
        load = os.getloadavg()[0]
        server_before = self.wineserver.cpu_seconds() if wine else 0.0
        usage = os.path.join(self.work, "usage.txt")
        with open(os.path.join(self.work, "stdout.txt"), "w+") as out:
            start = time.monotonic()
            child = subprocess.run(["/usr/bin/time", "-f", "%U %S %M", "-o", usage] + cmd, cwd=cwd, stdout=out,
                                   stderr=subprocess.STDOUT)
            wall = time.monotonic() - start
            out.seek(0)
            text = out.read()
        server = self.wineserver.cpu_seconds() - server_before if wine else 0.0
        if child.returncode != 0:
            sys.exit("failed (%d): %s\n%s" % (child.returncode, " ".join(cmd), text))
        with open(usage) as source:
            user, system, peak = source.read().split()[-3:]
        engine = re.search(r"engine ([0-9.]+) s \(([^)]*)\)", text)
        own = re.search(r"process cpu ([0-9.]+) s peak (\d+) KiB", text)
        own_cpu, own_peak = (float(own.group(1)), int(own.group(2))) if wine and own else (0.0, 0)
        deflate = re.search(r"deflate ([0-9.]+) s", text)
        return {
            "wall": wall,
            "cpu": float(user) + float(system) + own_cpu + server,
            "wineserver_cpu": server,
            "peak_kib": max(int(peak), own_peak),
            "load": load,
            "engine_wall": float(engine.group(1)) if engine else None,
            "engine_version": engine.group(2) if engine else None,
            "deflate": float(deflate.group(1)) if deflate else None,
        }

    def record(self, kind, tool, part, result, archive=None, check=None, **extra):
        if archive is not None:
            result["size"] = os.path.getsize(archive)
        if check is not None:
            result["check"] = check
        result.update(kind=kind, tool=tool, part=part, **extra)
        self.runs.append(result)
        self.save(complete=False)
        print("%-7s %-6s %-10s %8.2f s wall %8.2f s cpu %7.1f MiB %s" % (
            kind, part, tool, result["wall"], result["cpu"], result["peak_kib"] / 1024,
            "%.1f MiB %s" % (result["size"] / 2**20, result.get("check", "")) if "size" in result else ""),
            flush=True)

    # --- checking --------------------------------------------------------

    def check_zip(self, archive, part):
        test = subprocess.run(["7zz", "t", archive], capture_output=True, text=True)
        files = re.search(r"^Files: (\d+)", test.stdout, re.M)
        size = re.search(r"^Size: +(\d+)", test.stdout, re.M)
        expected = self.manifest[part]
        count = int(files.group(1)) if files else 1
        if test.returncode != 0 or "Everything is Ok" not in test.stdout:
            return "FAILED: 7zz t"
        if count != expected["files"] or size is None or int(size.group(1)) != expected["bytes"]:
            return "FAILED: %d files, %s bytes" % (count, size.group(1) if size else "?")
        return "7zz t ok"

    def check_gzip(self, archive):
        return "pigz -t ok" if subprocess.run(["pigz", "-t", archive]).returncode == 0 else "FAILED: pigz -t"

    # --- commands --------------------------------------------------------

    def ours(self, archive, part, level="6", update=False, root=None):
        options = ["--level", level] + (["--update"] if update else [])
        return [self.args.native_driver] + options + [self.args.native_lib, archive, (root or self.corpus) + "/", part]

    def ours_wine(self, archive, part, level="6", update=False, root=None):
        options = ["--level", level] + (["--update"] if update else [])
        return (["wine", self.args.wine_driver] + options +
                [wine_path(self.args.wine_lib), wine_path(archive), wine_path(root or self.corpus) + "\\", part])

    def level6(self, tool, archive, part):
        corpus = self.corpus
        if tool == "ours":
            return self.ours(archive, part), None, False
        if tool == "ours-wine":
            return self.ours_wine(archive, part), None, True
        if tool == "7zz":
            return ["7zz", "a", "-tzip", "-mx=5", "-mmt=2", "-bd", "-bso0", "-bsp0", archive, part], corpus, False
        if tool == "bsdtar":
            return (["bsdtar", "-c", "-f", archive, "--format", "zip", "--options", "zip:compression-level=6",
                     "-C", corpus, part], None, False)
        if tool == "python":
            return ["/usr/bin/python3", os.path.join(HERE, "py_zip.py"), archive, corpus, part, "6"], None, False
        if tool == "pigz":
            return (["bash", "-c", 'tar -cf - -C "$1" "$2" | pigz -6 -p 2 > "$3"', "pigz", corpus, part, archive],
                    None, False)
        raise ValueError(tool)

    # --- the runs --------------------------------------------------------

    def warm(self, part):
        """Reads the part once so that every tool finds it in the page cache."""
        for dirpath, _, filenames in os.walk(os.path.join(self.corpus, part)):
            for name in filenames:
                with open(os.path.join(dirpath, name), "rb") as source:
                    while source.read(1 << 20):
                        pass

    def archive_path(self, tool, part, suffix=".zip"):
        return os.path.join(self.work, "%s-%s%s" % (part, tool, ".tar.gz" if tool == "pigz" else suffix))

    def run_level6(self, part, keep):
        for tool in LEVEL6_TOOLS:
            archive = self.archive_path(tool, part)
            if os.path.exists(archive):
                os.remove(archive)  # left by a run cut short: every tool starts afresh
            cmd, cwd, wine = self.level6(tool, archive, part)
            result = self.measure(cmd, cwd, wine)
            check = self.check_gzip(archive) if tool == "pigz" else self.check_zip(archive, part)
            self.record("level6", tool, part, result, archive, check)
            if tool not in keep:
                os.remove(archive)

    def run_store(self, part):
        for tool, command, wine in (("ours", self.ours, False), ("ours-wine", self.ours_wine, True)):
            archive = self.archive_path(tool + "-store", part)
            if os.path.exists(archive):
                os.remove(archive)
            result = self.measure(command(archive, part, level="0"), None, wine)
            self.record("store", tool, part, result, archive, self.check_zip(archive, part))
            os.remove(archive)
        copy = os.path.join(self.work, part + "-copy")
        shutil.rmtree(copy, ignore_errors=True)
        result = self.measure(["cp", "-r", os.path.join(self.corpus, part), copy])
        self.record("store", "cp -r", part, result)
        shutil.rmtree(copy)

    def run_update(self, part):
        """Changes one file in the middle of the part, then brings each kept
        archive up to date, and puts the file back as it was."""
        files = sorted(os.path.join(d, f) for d, _, fs in os.walk(os.path.join(self.corpus, part)) for f in fs)
        changed = files[len(files) // 2]
        stat = os.stat(changed)
        with open(changed, "rb") as source:
            original = source.read()
        name = os.path.relpath(changed, self.corpus)
        try:
            with open(changed, "ab") as out:
                out.write(CHANGE)
            self.manifest[part]["bytes"] += len(CHANGE)
            updates = (
                ("ours", self.ours(self.archive_path("ours", part), part, update=True), None, False),
                ("ours-wine", self.ours_wine(self.archive_path("ours-wine", part), part, update=True), None, True),
                ("7zz", ["7zz", "u", "-tzip", "-mx=5", "-mmt=2", "-bd", "-bso0", "-bsp0",
                         self.archive_path("7zz", part), part], self.corpus, False),
            )
            for tool, cmd, cwd, wine in updates:
                archive = self.archive_path(tool, part)
                result = self.measure(cmd, cwd, wine)
                check = self.check_zip(archive, part)
                if check.endswith("ok") and not self.entry_is(archive, name, original + CHANGE):
                    check = "FAILED: changed entry not updated"
                self.record("update", tool, part, result, archive, check, changed=name)
            archive = self.archive_path("ours", part)
            result = self.measure(["cp", archive, archive + ".copy"])
            self.record("update", "cp archive", part, result, archive)
            os.remove(archive + ".copy")
        finally:
            with open(changed, "wb") as out:
                out.write(original)
            os.utime(changed, ns=(stat.st_atime_ns, stat.st_mtime_ns))
            self.manifest[part]["bytes"] -= len(CHANGE)
            for tool in ("ours", "ours-wine", "7zz"):
                os.remove(self.archive_path(tool, part))

    def run_many(self, copies=4):
        """Our engine on the small part's files copies times over (hard
        links: no more data on the disk): the memory a run holds must not grow
        with the number of entries."""
        root = os.path.join(self.work, "many-root")
        many = os.path.join(root, "many")
        shutil.rmtree(root, ignore_errors=True)
        os.makedirs(many)
        for copy in range(copies):
            subprocess.run(["cp", "-al", os.path.join(self.corpus, "small"), os.path.join(many, "copy%d" % copy)],
                           check=True)
        small = self.manifest["small"]
        self.manifest["many"] = {"files": small["files"] * copies, "bytes": small["bytes"] * copies}
        try:
            for tool, command, wine in (("ours", self.ours, False), ("ours-wine", self.ours_wine, True)):
                archive = self.archive_path(tool, "many")
                if os.path.exists(archive):
                    os.remove(archive)
                result = self.measure(command(archive, "many", root=root), None, wine)
                self.record("many", tool, "many", result, archive, self.check_zip(archive, "many"),
                            entries=self.manifest["many"]["files"])
                os.remove(archive)
        finally:
            del self.manifest["many"]
            shutil.rmtree(root)

    @staticmethod
    def entry_is(archive, name, content):
        import zipfile
        with zipfile.ZipFile(archive) as source:
            return source.read(name) == content

    def run_zlib(self):
        """zlib alone, one thread, natively and under Wine: how much of the
        Wine build's time is the zlib it links rather than Wine."""
        big = os.path.join(self.corpus, "big")
        data = os.path.join(big, sorted(os.listdir(big))[0])
        for tool, cmd, wine in (("zlib, native", [self.args.native_zlib, data], False),
                                ("zlib, Wine", ["wine", self.args.wine_zlib, wine_path(data)], True)):
            self.record("zlib", tool, "big", self.measure(cmd, None, wine))

    def wine_warm_up(self):
        """The first program a prefix starts pays for setting it up; not ours."""
        subprocess.run(self.ours_wine(os.path.join(self.work, "warm-up.zip"), "no-such-name"),
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def save(self, complete):
        """Writes what has been measured so far: a run cut short still
        leaves its figures."""
        engine = next((r["engine_version"] for r in self.runs if r.get("engine_version")), "?")
        results = {
            "complete": complete,
            "started": time.strftime("%Y-%m-%d %H:%M UTC", time.gmtime(self.started)),
            "minutes": (time.time() - self.started) / 60,
            "load_start": self.load_start,
            "load_end": os.getloadavg(),
            "corpus": self.manifest,
            "small": self.args.small,
            "machine": self.machine,
            "versions": dict(self.versions, engine=engine, engine_commit=self.args.engine_commit),
            "runs": self.runs,
        }
        with open(self.args.json + ".tmp", "w") as out:
            json.dump(results, out, indent=1)
        os.replace(self.args.json + ".tmp", self.args.json)

    def run(self):
        self.started = time.time()
        self.load_start = os.getloadavg()
        self.machine = machine()
        self.versions = versions()
        self.wine_warm_up()
        try:
            # Level 6 first: the comparison that matters most comes first
            # when a deadline cuts the run short.
            parts = self.args.parts
            for part in parts:
                self.warm(part)
                self.run_level6(part, keep=("ours", "ours-wine", "7zz") if part == "tree" else ())
            if "tree" in parts:
                self.run_update("tree")
            for part in parts:
                self.run_store(part)
            if "small" in parts:
                self.run_many()
            if "big" in parts:
                self.run_zlib()
        except OutOfTime:
            print("deadline reached: the rest is not measured", flush=True)
            self.save(complete=False)
            return
        self.save(complete=True)


def machine():
    model = "?"
    with open("/proc/cpuinfo") as cpuinfo:
        for line in cpuinfo:
            if line.startswith("model name"):
                model = line.split(":", 1)[1].strip()
                break
    with open("/proc/meminfo") as meminfo:
        memory = int(meminfo.readline().split()[1]) // 1024 // 1024
    return {"cpu": model, "cores": os.cpu_count(), "memory_gib": memory, "kernel": platform.release()}


def versions():
    def first_line(cmd, pattern=None):
        text = subprocess.run(cmd, capture_output=True, text=True).stdout
        lines = [line for line in text.splitlines() if line.strip() and (pattern is None or pattern in line)]
        return lines[0].split(" : ")[0].strip() if lines else "?"
    return {
        "7zz": first_line(["7zz"], "7-Zip"),
        "bsdtar": first_line(["bsdtar", "--version"]),
        "python": first_line(["/usr/bin/python3", "--version"]),
        "pigz": first_line(["pigz", "--version"]),
        "wine": first_line(["wine", "--version"]),
    }


def main():
    parser = argparse.ArgumentParser()
    for name in ("corpus", "work", "json", "native-driver", "native-lib", "wine-driver", "wine-lib", "native-zlib",
                 "wine-zlib"):
        parser.add_argument("--" + name, required=True)
    parser.add_argument("--small", action="store_true")
    parser.add_argument("--engine-commit", default="?", help="the last commit that changed the engine")
    parser.add_argument("--until", type=float, help="no run starts after this time (seconds since 1970)")
    parser.add_argument("--parts", default=",".join(PARTS), help="the parts to measure, comma-separated")
    args = parser.parse_args()
    args.parts = [part for part in PARTS if part in args.parts.split(",")]
    os.makedirs(args.work, exist_ok=True)
    bench = Bench(args)
    try:
        bench.run()
    finally:
        bench.wineserver.stop()


if __name__ == "__main__":
    main()
