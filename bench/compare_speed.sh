#!/usr/bin/env bash
# Side-by-side speed of two builds on the example jobs: a reference revision (default 87c91bd, the
# code before the speed work) is built in a scratch worktree, the working tree in build/, and each
# job (figures and screen report left out) runs alternately with both binaries. Prints the median
# wall time of each and the speed-up, and whether both wrote identical outputs (results file past
# its 128-byte header, report file but its date line).
# Usage: bench/compare_speed.sh [reference revision] [runs per job]   (default: 87c91bd 7)
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
rev="${1:-87c91bd}"
runs="${2:-7}"
cd "$top"

ref_dir="$top/build-bench-ref"
if [ ! -x "$ref_dir/build/quorl" ] || [ "$(git -C "$ref_dir" rev-parse HEAD 2>/dev/null)" != "$(git rev-parse "$rev^{commit}")" ]; then
  rm -rf "$ref_dir"
  git worktree prune
  git worktree add --detach "$ref_dir" "$rev" > /dev/null 2>&1
  cmake -S "$ref_dir" -B "$ref_dir/build" -DCMAKE_BUILD_TYPE=Release -DQUORL_BUILD_TESTS=OFF -DQUORL_BUILD_BENCH=OFF > /dev/null
fi
cmake --build "$ref_dir/build" -j "$(nproc)" --target quorl > /dev/null
bash scripts/build.sh > /dev/null

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
jobs=(compressor_stage compressor_stage_lieblein turbine_stage co2_turbine_aungier_gas)

/usr/bin/python3 - "$work" "$runs" "$ref_dir/build/quorl" "$top/build/quorl" "$top" "${jobs[@]}" <<'PY'
import os, re, statistics, subprocess, sys, time
work, runs, ref, new, top, jobs = sys.argv[1], int(sys.argv[2]), sys.argv[3], sys.argv[4], sys.argv[5], sys.argv[6:]

def prepare(job, side):
    d = os.path.join(work, job, side)
    os.makedirs(d)
    text = open(os.path.join(top, "examples", job + ".toml")).read()
    text = re.sub(r"\n\[plots\][^\[]*", "\n", text)
    text = text.replace("screen = true", "screen = false")
    open(os.path.join(d, "job.toml"), "w").write(text)
    return d

def outputs(d):
    report = [l for l in open(os.path.join(d, "report.txt")) if " generated on " not in l]
    return report, open(os.path.join(d, "results.mat"), "rb").read()[128:]

print(f"{'job':28} {'reference s':>12} {'this tree s':>12} {'speed-up':>9}  outputs")
for job in jobs:
    dirs = {side: prepare(job, side) for side in ("ref", "new")}
    times = {"ref": [], "new": []}
    for _ in range(runs):
        for side, binary in (("ref", ref), ("new", new)):
            start = time.perf_counter()
            subprocess.run([binary, "-i", "job.toml"], cwd=dirs[side], stdout=subprocess.DEVNULL, check=True)
            times[side].append(time.perf_counter() - start)
    t_ref, t_new = statistics.median(times["ref"]), statistics.median(times["new"])
    same = "identical" if outputs(dirs["ref"]) == outputs(dirs["new"]) else "DIFFERENT"
    print(f"{job:28} {t_ref:12.3f} {t_new:12.3f} {t_ref / t_new:8.2f}x  {same}")
PY
