#!/usr/bin/env python3
"""Compares "qvr scan --orphans --json" of an NTFS image with The Sleuth Kit.

Every entry that "fls -r -p" lists (live and deleted; named streams, system records
and entries without a name aside) must be in the scan at its record number and path,
with its live or deleted state, and "qvr cat" of every file must equal "icat".
Usage: ntfs_compare.py QVR IMAGE WORKDIR [--max-cat N]  (N: files compared, spread evenly)
"""
import json
import subprocess
import sys


def main():
    qvr, img, work = sys.argv[1:4]
    max_cat = int(sys.argv[sys.argv.index("--max-cat") + 1]) if "--max-cat" in sys.argv else None
    scan = subprocess.run([qvr, "--log", f"{work}/scan.log", "scan", img, "--json", "--orphans"],
                          capture_output=True)
    if scan.returncode != 0:
        sys.exit(f"qvr scan exited {scan.returncode}: {scan.stderr.decode(errors='replace')}")
    doc = json.loads(scan.stdout)
    if doc["filesystem"] != "NTFS":
        sys.exit(f"file system {doc['filesystem']}")
    by_key = {}
    for e in doc["entries"]:
        by_key.setdefault(e["key"], []).append(e)
    fls = subprocess.run(["fls", "-r", "-p", img], capture_output=True, check=True)
    problems, entries, files = [], 0, []
    for line in fls.stdout.decode("utf-8", "surrogateescape").splitlines():
        if not line.strip():
            continue
        head, _, path = line.partition(":\t")
        kind, _, ref = head.rpartition(" ")
        deleted = "*" in ref or "*" in kind
        ref = ref.replace("*", "").strip()
        record = int(ref.split("-")[0])
        if "(realloc)" in line or ":" in path or record < 16 or path.startswith("$OrphanFiles") \
                or path.startswith("$Extend"):
            continue
        entries += 1
        mine = [e for e in by_key.get(record, []) if e["path"] == "/" + path]
        if not mine:
            problems.append(f"record {record} /{path}: not in the scan (scan has {[e['path'] for e in by_key.get(record, [])]})")
            continue
        if not deleted and any(e["deleted"] for e in mine):
            problems.append(f"/{path}: live, listed as deleted")
        if deleted and not all(e["deleted"] for e in mine):
            problems.append(f"/{path}: deleted, listed as live")
        is_dir = kind.lstrip("-").startswith("/d") or kind.startswith("d/")
        if not is_dir:
            files.append((record, path))
    unique = {}
    for record, path in files:
        unique.setdefault(record, path)
    chosen = sorted(unique.items())
    if max_cat is not None and len(chosen) > max_cat:
        # An even spread over the record numbers, so every part of the MFT is read.
        step = len(chosen) / max_cat
        chosen = [chosen[int(i * step)] for i in range(max_cat)]
    catted = 0
    for record, path in chosen:
        catted += 1
        ours = subprocess.run([qvr, "--log", f"{work}/cat.log", "cat", img, str(record)], capture_output=True)
        theirs = subprocess.run(["icat", img, str(record)], capture_output=True)
        if ours.returncode != 0:
            problems.append(f"/{path}: qvr cat exited {ours.returncode}")
        elif ours.stdout != theirs.stdout:
            problems.append(f"/{path}: {len(ours.stdout)} bytes, icat {len(theirs.stdout)}; contents differ")
    print(f"{entries} fls entries found in the scan, {catted} files equal to icat")
    if problems:
        print("\n".join(problems[:50]), file=sys.stderr)
        sys.exit(f"{len(problems)} differences")
    if entries == 0:
        sys.exit("fls listed nothing to compare")


if __name__ == "__main__":
    main()
