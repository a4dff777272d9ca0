#!/usr/bin/env bash
# Remakes the golden outputs under tests/golden from the runs of a quorl binary (default: the one
# in build/), for a change that is meant to alter the numbers, and the report of the hand-set flow
# field (tests/golden/fixed_flow_field) from the code built in build/. Review the diff before
# committing.
#   scripts/remake_golden.sh [path/to/quorl]
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh
binary="${1:-build/quorl}"
binary="$(realpath "$binary")"
(cd build/tests && QUORL_UPDATE_GOLDEN=1 QUORL_GOLDEN_BINARY="$binary" ./golden_test)
(cd build/tests && QUORL_UPDATE_GOLDEN=1 ./report_test --gtest_filter=Report.WholeReportOfAFixedFlowField)
git status --short tests/golden
