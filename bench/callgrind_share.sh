#!/usr/bin/env bash
# Where the instructions of a run go: runs quorl under callgrind on a job (figures left out) and
# splits the instruction count into the gas model, the performance models, the C math library,
# the toolkit's numerical kernels and everything else (solver glue, input, output, allocation).
# Usage: bench/callgrind_share.sh [job.toml]   (default: examples/compressor_stage.toml)
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
job="$(realpath "${1:-$top/examples/compressor_stage.toml}")"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
# The figures run Python in child processes; leave them out so that only quorl is counted.
sed '/^\[plots\]/,/^\[/{/^\[plots\]/d;/^\[/!d}' "$job" > "$work/job.toml"
cd "$work"
valgrind --tool=callgrind --callgrind-out-file="$work/cg.out" "$top/build/quorl" -i job.toml > /dev/null 2> "$work/valgrind.log"
callgrind_annotate --threshold=100 "$work/cg.out" > "$work/annotate.txt"
python3 - "$work/annotate.txt" <<'PY'
import re, sys
groups = [
    ("gas model", r"thermo"),
    ("performance models", r"performance_model"),
    ("C math library", r"libm\.so|/math/|sysdeps/ieee754|w_pow|fenv_private"),
    ("toolkit kernels", r"diff_at_point|diff2_at_point|diff_at_all|integral|primitive_function|interp1|pchip|curve_t::|"
                        r"tangent_at|project_to_curve|intersection|bisect|root_scalar|newton|\bsind|\bcosd|\btand|atan2d|"
                        r"deg2rad|rad2deg|linspace"),
]
total = 0
sums = {name: 0 for name, _ in groups}
sums["other"] = 0
other = []
for line in open(sys.argv[1]):
    m = re.match(r"\s*([\d,]+) \(\s*[\d.]+%\)\s+(.*)$", line)
    if not m or "PROGRAM TOTALS" in line:
        continue
    n, name = int(m.group(1).replace(",", "")), m.group(2)
    total += n
    for g, pattern in groups:
        if re.search(pattern, name):
            sums[g] += n
            break
    else:
        sums["other"] += n
        other.append((n, name))
print(f"{'group':<22} {'instructions':>15} {'share':>7}")
for g, n in sums.items():
    print(f"{g:<22} {n:>15,} {100.0 * n / total:>6.1f}%")
inside = total - sums["other"]
print(f"{'inside the kernels':<22} {inside:>15,} {100.0 * inside / total:>6.1f}%")
print("\nlargest items of 'other':")
for n, name in sorted(other, reverse=True)[:8]:
    print(f"  {100.0 * n / total:5.1f}%  {name[:110]}")
PY
