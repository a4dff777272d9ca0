#!/usr/bin/env bash
# Installs every Debian package that building, testing and drawing figures need.
# Packages already present are skipped, so running it again costs nothing.
set -euo pipefail

packages=(
  build-essential cmake pkg-config
  libtomlplusplus-dev libcli11-dev libfmt-dev
  libgtest-dev libbenchmark-dev
  libmatio-dev
  python3-matplotlib python3-numpy
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "Installing: ${missing[*]}"
as_root=()
if [ "$(id -u)" -ne 0 ]; then
  as_root=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
"${as_root[@]}" apt-get update -qq
"${as_root[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
