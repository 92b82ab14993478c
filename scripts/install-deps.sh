#!/usr/bin/env bash
# Installs the Debian packages Tarnwick needs to build, test and run.
# Idempotent and quick when everything is already there.
#   scripts/install-deps.sh          what building and running need
#   scripts/install-deps.sh --tests  also what only the tests need
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
  libetpan-dev
)

# Test packages: the IMAP tests start a Dovecot of their own on loopback.
# Never installed for running the program.
test_packages=(dovecot-imapd)
with_tests=0
if [ "${1:-}" = "--tests" ]; then
  with_tests=1
  packages+=("${test_packages[@]}")
fi

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

# The tests start their own Dovecot; a machine that runs them must never serve
# IMAP through the system's service, which the package starts on install.
if [ "$with_tests" = 1 ]; then
  SUDO=""
  if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
  if [ -d /run/systemd/system ]; then
    $SUDO systemctl disable --now dovecot >/dev/null 2>&1 || true
  elif [ -x /etc/init.d/dovecot ]; then
    $SUDO update-rc.d dovecot disable >/dev/null 2>&1 || true
    $SUDO /etc/init.d/dovecot stop >/dev/null 2>&1 || true
  fi
fi
