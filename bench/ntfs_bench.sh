#!/usr/bin/env bash
# NTFS scan benchmark: "qvr scan" at the default profile (LogLevel info) and at LogLevel
# error, side by side with "fls -r -d -p" and "ntfsundelete --scan" on the same image in
# the same run, after a warm-up scan; qvr and ntfsundelete as medians of REPEAT runs
# (default 5), fls once. Prints wall time, peak memory, MFT records per second and bytes
# of memory per tree node.
# usage: ntfs_bench.sh BIN_DIR [FILES] [IMAGE]
#   FILES (default 200000) sizes the generated volume; IMAGE reuses or keeps it.
set -euo pipefail
bin=${1:?folder of the built binaries}
files=${2:-200000}
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
img=${3:-$work/bench.img}
export XDG_STATE_HOME="$work/state" XDG_CONFIG_HOME="$work/config" XDG_CACHE_HOME="$work/cache"

if [ ! -s "$img" ]; then
  echo "generating $files files into $img ..."
  "$here/ntfs_make_volume.sh" "$img" "$files"
fi
truncate -s 16M "$work/empty.img"
mkntfs -q -F -f "$work/empty.img" >/dev/null 2>&1
printf 'LogLevel=error\n' > "$work/quiet.ini"
printf 'LogLevel=info\n' > "$work/info.ini"

python3 - "$bin/qvr" "$img" "$work" <<'PY'
import os, re, subprocess, sys, time
qvr, img, work = sys.argv[1:4]

def measure(cmd, env=None, out=None):
    # Peak RSS of the command alone: GNU time when installed, else the kernel's
    # high-water mark polled while it runs (a probe forked from Python would count
    # Python's own pages too).
    start = time.monotonic()
    sink = open(out or os.devnull, "wb")
    if os.access("/usr/bin/time", os.X_OK):
        subprocess.run(["/usr/bin/time", "-f", "%M %x", "-o", f"{work}/time.txt"] + cmd, env=env,
                       stdout=sink, stderr=subprocess.DEVNULL)
        wall = time.monotonic() - start
        rss, rc = open(f"{work}/time.txt").read().split()[-2:]
        return wall, int(rss) * 1024, int(rc)
    p = subprocess.Popen(cmd, env=env, stdout=sink, stderr=subprocess.DEVNULL)
    peak = 0
    while p.poll() is None:
        try:
            for line in open(f"/proc/{p.pid}/status"):
                if line.startswith("VmHWM:"):
                    peak = max(peak, int(line.split()[1]) * 1024)
        except OSError:
            pass
        time.sleep(0.002)
    return time.monotonic() - start, peak, p.returncode

def env_with(profile):
    e = dict(os.environ)
    e["QUENVAR_PROFILE"] = profile
    return e

repeat = int(os.environ.get("REPEAT", "5"))

def median_of(cmd, env=None, out=None):
    # Median wall time and peak memory of `repeat` runs (the page cache is warm by then).
    runs = sorted(measure(cmd, env, out) for _ in range(repeat))
    return runs[len(runs) // 2]

# The $MFT into the page cache first: every tool then reads it from memory.
measure([qvr, "--log", f"{work}/warm.log", "scan", img], env_with(f"{work}/quiet.ini"))
# Nodes in the tree and MFT records, from an info-level scan's output and log.
log = f"{work}/info.log"
tree = f"{work}/tree.txt"
info_wall, info_rss, rc = median_of([qvr, "--log", log, "scan", img], env_with(f"{work}/info.ini"), tree)
assert rc == 0, f"qvr scan exited {rc}"
nodes = sum(1 for _ in open(tree, errors="replace")) - 1
m = re.findall(r"MFT size: (\d+) records", open(log, errors="replace").read())
records = int(m[-1]) if m else 0
# The log of the last run alone (--log appends).
log_lines = sum(1 for _ in open(log, errors="replace")) // repeat
quiet_wall, quiet_rss, rc = median_of([qvr, "--log", f"{work}/quiet.log", "scan", img], env_with(f"{work}/quiet.ini"))
base_wall, base_rss, _ = measure([qvr, "--log", f"{work}/base.log", "scan", f"{work}/empty.img"],
                                 env_with(f"{work}/quiet.ini"))
# fls takes a minute or more on the full volume: one run.
fls_wall, fls_rss, _ = measure(["fls", "-r", "-d", "-p", img])
und_wall, und_rss, _ = median_of(["ntfsundelete", "--scan", "--force", img])

def row(name, wall, rss):
    rate = records / wall if wall > 0 else 0
    print(f"{name:34s} {wall:9.2f} s {rss / 1048576:9.1f} MiB {rate:12.0f} records/s")

print(f"image {img}: {records} MFT records, {nodes} tree nodes, {log_lines} log lines at LogLevel info")
row("qvr scan (LogLevel info)", info_wall, info_rss)
row("qvr scan (LogLevel error)", quiet_wall, quiet_rss)
row("fls -r -d -p", fls_wall, fls_rss)
row("ntfsundelete --scan", und_wall, und_rss)
per_node = (quiet_rss - base_rss) / nodes if nodes else 0
print(f"memory per tree node (names included): {per_node:.0f} bytes (peak {quiet_rss} - empty-volume {base_rss})")
print(f"fls / qvr (info): {fls_wall / info_wall:.1f}x   fls / qvr (error): {fls_wall / quiet_wall:.1f}x   "
      f"qvr (error) / ntfsundelete: {quiet_wall / und_wall:.2f}x")
if log_lines:
    print(f"log cost at info: {(info_wall - quiet_wall) * 1e9 / log_lines:.0f} ns per line (difference of the two scans)")
PY
