#!/usr/bin/env bash
# Installs the Debian packages Tarnwick needs to build, test and run.
# Idempotent and quick when everything is already there.
set -euo pipefail

packages=(
  build-essential cmake pkg-config git ca-certificates
  qt6-base-dev libgl-dev qt6-qpa-plugins
  libsqlite3-dev sqlite3 libssl-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  nlohmann-json3-dev libgmime-3.0-dev libgif-dev libgd-dev libmimalloc-dev
  python3 xvfb xauth desktop-file-utils parallel
  clang libclang-rt-14-dev llvm ccache
  strace
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  SUDO=""
  if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y --no-install-recommends "${missing[@]}"
fi
