#!/usr/bin/env bash
# Installs what is missing, builds with AddressSanitizer and UndefinedBehaviorSanitizer into
# build-sanitize/ and runs the whole test suite there. Any finding ends the run with a failure.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake -S . -B build-sanitize -DCMAKE_BUILD_TYPE=Release -DQUORL_SANITIZE=ON -DQUORL_BUILD_BENCH=OFF > /dev/null
cmake --build build-sanitize -j "$(nproc)"
# A failed allocation (an absurd streamline count) must reach the program as an exception, as it
# does without the sanitizer, rather than abort the run.
export ASAN_OPTIONS="allocator_may_return_null=1:detect_leaks=1:abort_on_error=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
# The fuzz test runs every mutated job under the sanitizers too; fewer jobs keep it quick.
export QUORL_FUZZ_RUNS="${QUORL_FUZZ_RUNS:-4}"
ctest --test-dir build-sanitize --output-on-failure -j "$(nproc)"
