#!/usr/bin/env python3
"""Crash campaign: runs `set`, `apply`, `library import` and `settings set` many times each,
killing the process (SIGKILL) after a random delay, and checks after every run that nothing
was lost:

- every document still opens (`brindle packages --json`), keeps its image data (the file
  without its XMP segments or chunks is byte for byte what it was) and holds either the
  values it held before the run or those the same command gives when it is not killed;
- the library lists, every package file in the packages folder reads as a whole package
  definition, no package is lost and each holds its old or its new version;
- the settings read back with their old or their new value.

Usage: bench/crash_campaign.py [--build DIR] [--runs N] [--seed S] [--keep]
Prints a table of counts (runs, killed while running, finished before the kill, faults by
kind, leftover temporary files). Exit 1 when any check failed.
"""
import argparse
import json
import os
import random
import shutil
import signal
import statistics
import struct
import subprocess
import sys
import tempfile
import time
import xml.dom.minidom

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
SAMPLES = os.path.join(ROOT, "samples")
XMP_SIGNATURE = b"http://ns.adobe.com/xap/1.0/\0"
EXTENDED_SIGNATURE = b"http://ns.adobe.com/xmp/extension/\0"


class Campaign:
    def __init__(self, brindle, work, rng):
        self.brindle = brindle
        self.work = work
        self.rng = rng
        self.home = os.path.join(work, "home")
        self.packages_dir = os.path.join(self.home, "config/corvane/BrindlePackages")
        self.settings_file = os.path.join(self.home, "config/corvane/BrindleSettings.xml")
        self.faults = []

    # --- running the program -------------------------------------------------------
    def cmd(self, args, home=None):
        return [self.brindle, "--home", home or self.home, "--user", "crash"] + args

    def run(self, args, home=None, check=True):
        r = subprocess.run(self.cmd(args, home), capture_output=True)
        if check and r.returncode != 0:
            raise RuntimeError("%s: exit %d: %s" % (" ".join(args), r.returncode, r.stderr.decode(errors="replace")))
        return r

    def killed_run(self, args, delay):
        """Runs the command and kills it after the delay; True when it was still running."""
        p = subprocess.Popen(self.cmd(args), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        time.sleep(delay)
        alive = p.poll() is None
        if alive:
            os.kill(p.pid, signal.SIGKILL)
        p.wait()
        return alive

    def median_seconds(self, make_args, restore, n=7):
        times = []
        for i in range(n):
            args = make_args(i)
            t0 = time.monotonic()
            self.run(args, check=False)
            times.append(time.monotonic() - t0)
            restore()
        return statistics.median(times)

    # --- what a document holds ---------------------------------------------------------
    def document_state(self, path, home=None):
        r = self.run(["packages", "--json", path], home=home, check=False)
        if r.returncode != 0:
            return None
        doc = json.loads(r.stdout)["documents"][0]
        return [
            (p["name"], p["version"], p.get("enabled"), [(f["name"], f["value"]) for f in p["fields"]])
            for p in doc.get("packages", [])
        ]

    @staticmethod
    def image_data(path):
        """The file without its XMP: JPEG segments or PNG chunks that hold a packet left out."""
        data = open(path, "rb").read()
        if data[:2] == b"\xff\xd8":
            out, pos = [data[:2]], 2
            while pos + 4 <= len(data) and data[pos] == 0xFF:
                marker = data[pos + 1]
                if marker in (0xDA, 0xD9):
                    break
                length = struct.unpack(">H", data[pos + 2:pos + 4])[0]
                payload = data[pos + 4:pos + 2 + length]
                if not (marker == 0xE1 and (payload.startswith(XMP_SIGNATURE) or payload.startswith(EXTENDED_SIGNATURE))):
                    out.append(data[pos:pos + 2 + length])
                pos += 2 + length
            out.append(data[pos:])
            return b"".join(out)
        if data[:8] == b"\x89PNG\r\n\x1a\n":
            out, pos = [data[:8]], 8
            while pos + 8 <= len(data):
                length = struct.unpack(">I", data[pos:pos + 4])[0]
                kind = data[pos + 4:pos + 8]
                chunk = data[pos:pos + 12 + length]
                if not (kind == b"iTXt" and chunk[8:].startswith(b"XML:com.adobe.xmp\0")):
                    out.append(chunk)
                pos += 12 + length
            return b"".join(out)
        return data

    # --- what the library and settings hold --------------------------------------------
    def package_files(self):
        """Name -> version of every package file; faults for files that do not read whole."""
        found, bad = {}, []
        for name in sorted(os.listdir(self.packages_dir)):
            path = os.path.join(self.packages_dir, name)
            if not name.endswith("_ID.xml"):
                continue
            try:
                dom = xml.dom.minidom.parseString(open(path, "rb").read())
                p = dom.getElementsByTagName("package")[0]
                found[p.getAttribute("name")] = int(p.getAttribute("version"))
            except Exception as e:  # a half-written file
                bad.append("%s: %s" % (name, e))
        return found, bad

    def leftovers(self, folders):
        """Files that are neither documents nor package or settings files: temporary ones."""
        n = 0
        for folder in folders:
            for name in os.listdir(folder):
                if name.endswith("_ID.xml") or name in ("BrindleSettings.xml", "BrindlePackages"):
                    continue
                if folder == self.docs and name in self.doc_names:
                    continue
                if name.endswith(".lock"):
                    continue
                n += 1
        return n

    def fault(self, op, run, kind, detail):
        self.faults.append((op, run, kind, detail))
        keep = os.path.join(self.work, "faults", "%s-%d" % (op.replace(" ", "_"), run))
        if not os.path.exists(keep):
            shutil.copytree(self.home, os.path.join(keep, "home"), symlinks=True)
            shutil.copytree(self.docs, os.path.join(keep, "docs"), symlinks=True)

    # --- setting up --------------------------------------------------------------------
    def setup(self):
        os.makedirs(self.home)
        lib = os.path.join(SAMPLES, "library")
        self.run(["library", "import"] + [os.path.join(lib, f) for f in sorted(os.listdir(lib)) if f.endswith(".xml")])
        self.docs = os.path.join(self.work, "docs")
        os.makedirs(self.docs)
        self.doc_names = []
        for sample, name in (("Editorial-BlueSquare.jpg", "doc.jpg"), ("Editorial-BlueSquare.png", "doc.png")):
            shutil.copy(os.path.join(SAMPLES, "documents", sample), os.path.join(self.docs, name))
            self.doc_names.append(name)
        for name in self.doc_names:
            self.run(["apply", os.path.join(self.docs, name), "Editorial"])
        self.images = {n: self.image_data(os.path.join(self.docs, n)) for n in self.doc_names}
        # Package definitions of ever higher versions for the imports.
        self.editorial = open(os.path.join(lib, "Editorial_ID.xml"), "rb").read().decode("utf-16")
        self.variants = os.path.join(self.work, "variants")
        os.makedirs(self.variants)

    def variant(self, version):
        path = os.path.join(self.variants, "Editorial_v%d.xml" % version)
        if not os.path.exists(path):
            text = self.editorial.replace('version="3"', 'version="%d"' % version, 1)
            open(path, "wb").write(text.encode("utf-16"))
        return path

    # --- the four operations -------------------------------------------------------------
    def document_op(self, op, runs, make_args):
        """set or apply: a reference copy shows what a finished run gives."""
        counts = {"runs": 0, "killed": 0, "finished": 0}
        ref_home = os.path.join(self.work, "ref-home")

        def one(i, delay):
            name = self.rng.choice(self.doc_names)
            path = os.path.join(self.docs, name)
            before = self.document_state(path)
            ref_doc = os.path.join(self.work, "ref-" + name)
            shutil.copy(path, ref_doc)
            if os.path.exists(ref_home):
                shutil.rmtree(ref_home)
            shutil.copytree(self.home, ref_home, symlinks=True)
            self.run(make_args(i, ref_doc), home=ref_home)
            after = self.document_state(ref_doc, home=ref_home)
            if delay is None:
                return
            counts["runs"] += 1
            if self.killed_run(make_args(i, path), delay):
                counts["killed"] += 1
            else:
                counts["finished"] += 1
            state = self.document_state(path)
            if state is None:
                self.fault(op, i, "document does not open", name)
            elif state != before and state != after:
                self.fault(op, i, "neither old nor new values", name)
            if self.image_data(path) != self.images[name]:
                self.fault(op, i, "image data changed", name)
            if state is None or (state != before and state != after) or self.image_data(path) != self.images[name]:
                shutil.copy(ref_doc, path)  # go on from a sound document

        def timed(i):
            t0 = time.monotonic()
            self.run(make_args(i, os.path.join(self.docs, self.doc_names[0])), check=False)
            return time.monotonic() - t0

        median = statistics.median(timed(i) for i in range(7))
        for i in range(runs):
            one(i, self.rng.uniform(0, 1.3 * median))
        counts["median_ms"] = round(1000 * median, 1)
        return counts

    def library_op(self, op, runs, make_args, check_value):
        counts = {"runs": 0, "killed": 0, "finished": 0}
        t = []
        for i in range(5):
            t0 = time.monotonic()
            self.run(make_args(-1 - i), check=False)
            t.append(time.monotonic() - t0)
        median = statistics.median(t)
        for i in range(runs):
            before, bad = self.package_files()
            settings_before = self.settings()
            counts["runs"] += 1
            if self.killed_run(make_args(i), self.rng.uniform(0, 1.3 * median)):
                counts["killed"] += 1
            else:
                counts["finished"] += 1
            after, bad = self.package_files()
            for b in bad:
                self.fault(op, i, "package file half-written", b)
            lost = set(before) - set(after)
            if lost:
                self.fault(op, i, "package file lost", ", ".join(sorted(lost)))
            r = self.run(["library", "list", "--json"], check=False)
            if r.returncode != 0:
                self.fault(op, i, "library does not list", r.stderr.decode(errors="replace")[:200])
            else:
                listed = {p["name"]: p["version"] for p in json.loads(r.stdout)["packages"]}
                if set(before) - set(listed):
                    self.fault(op, i, "package lost from the library", ", ".join(sorted(set(before) - set(listed))))
            problem = check_value(i, before, after, settings_before, self.settings())
            if problem:
                self.fault(op, i, problem, "")
        counts["median_ms"] = round(1000 * median, 1)
        return counts

    def settings(self):
        r = self.run(["settings", "--json"], check=False)
        if r.returncode != 0:
            return None
        return json.loads(r.stdout)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--build", default=os.path.join(ROOT, "build"))
    ap.add_argument("--runs", type=int, default=1000)
    ap.add_argument("--seed", type=int, default=1)
    ap.add_argument("--only", default="set,apply,library import,settings set")
    ap.add_argument("--keep", action="store_true", help="keep the work folder")
    a = ap.parse_args()
    brindle = os.path.join(a.build, "app", "brindle")
    if not os.access(brindle, os.X_OK):
        sys.exit("missing %s (build first)" % brindle)
    work = tempfile.mkdtemp(prefix="brindle-crash-")
    c = Campaign(brindle, work, random.Random(a.seed))
    c.setup()
    ops = [o.strip() for o in a.only.split(",")]
    results = {}
    started = time.monotonic()

    if "set" in ops:
        results["set"] = c.document_op(
            "set", a.runs, lambda i, doc: ["set", doc, "Headline=Run %d" % i, "Author=Writer %d" % i, "Word count=%d" % (100 + i)])
    if "apply" in ops:
        packages = ["Production", "Editorial", "Advertising"]
        results["apply"] = c.document_op("apply", a.runs, lambda i, doc: ["apply", doc, packages[i % len(packages)]])
    if "library import" in ops:
        version = {"next": 4}

        def import_args(i):
            version["next"] += 1
            return ["library", "import", c.variant(version["next"])]

        def import_check(i, before, after, s0, s1):
            old, new = before.get("Editorial"), version["next"]
            got = after.get("Editorial")
            if got not in (old, new):
                return "Editorial version %s is neither %s nor %s" % (got, old, new)
            return None

        results["library import"] = c.library_op("library import", a.runs, import_args, import_check)
    if "settings set" in ops:
        def settings_args(i):
            return ["settings", "set", "UseLatestPackage", "true" if i % 2 else "false"]

        def settings_check(i, before, after, s0, s1):
            if s1 is None:
                return "settings do not read"
            if s1["useLatestPackage"] not in (s0["useLatestPackage"], bool(i % 2)):
                return "UseLatestPackage neither old nor new"
            if after != before:
                return "the library changed: %s -> %s" % (before, after)
            return None

        results["settings set"] = c.library_op("settings set", a.runs, settings_args, settings_check)

    leftovers = c.leftovers([c.docs, c.packages_dir, os.path.dirname(c.settings_file)])
    print("%-15s %6s %8s %9s %7s %10s" % ("command", "runs", "killed", "finished", "faults", "median ms"))
    for op, r in results.items():
        n = sum(1 for f in c.faults if f[0] == op)
        print("%-15s %6d %8d %9d %7d %10.1f" % (op, r["runs"], r["killed"], r["finished"], n, r["median_ms"]))
    kinds = {}
    for op, run, kind, detail in c.faults:
        kinds.setdefault((op, kind), []).append((run, detail))
    for (op, kind), items in sorted(kinds.items()):
        print("fault: %s: %s: %d (first: run %d %s)" % (op, kind, len(items), items[0][0], items[0][1]))
    print("leftover temporary files in the documents, packages and settings folders: %d" % leftovers)
    print("seconds: %.0f" % (time.monotonic() - started))
    if c.faults or a.keep:
        print("work folder kept: %s" % work)
    else:
        shutil.rmtree(work)
    sys.exit(1 if c.faults else 0)


if __name__ == "__main__":
    main()
