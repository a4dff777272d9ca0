#!/usr/bin/env bash
# Remakes the golden outputs under tests/golden from the runs of a quorl binary (default: the one
# in build/), for a change that is meant to alter the numbers, and the golden files of the report
# test from the code built in build/: the report of the hand-set flow field
# (tests/golden/fixed_flow_field) and the performance block of a compressor run too slow to
# compress (tests/golden/compressor_stage_lieblein_slow). Only the jobs whose outputs differ from
# their golden files under the golden test's rules are rewritten, so that a NaN of another sign
# bit (the same under those rules, and not the same between builds) leaves its file alone. Review
# the diff before committing.
#   scripts/remake_golden.sh [path/to/quorl]
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh
binary="${1:-build/quorl}"
binary="$(realpath "$binary")"
differing="$(cd build/tests && { QUORL_GOLDEN_BINARY="$binary" ./golden_test 2>&1 || true; } |
    sed -n 's|^\[  FAILED  \] \(Jobs/Golden\.[A-Za-z]*/[A-Za-z0-9_]*\).*|\1|p' | sort -u | paste -sd: -)"
if [ -n "$differing" ]; then
    (cd build/tests && QUORL_UPDATE_GOLDEN=1 QUORL_GOLDEN_BINARY="$binary" ./golden_test --gtest_filter="$differing")
fi
(cd build/tests && QUORL_UPDATE_GOLDEN=1 ./report_test)
git status --short tests/golden
