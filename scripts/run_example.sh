#!/usr/bin/env bash
# Installs what is missing, builds and runs the shipped example job; its report, figures and
# results file land in output/.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh
mkdir -p output
cd output
../build/quorl --input ../examples/compressor_stage.toml
