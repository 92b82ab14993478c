#!/usr/bin/env bash
# The main command: installs what is missing, builds, makes a sample mail
# database (once; it is kept between runs) and starts the wizard on it.
# Without a display it runs the same job with tarnwick-cli instead: the
# sample database, cleaned into a fresh folder of new files.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}

"$root/scripts/install-deps.sh"
"$root/scripts/build.sh"

data=${XDG_DATA_HOME:-$HOME/.local/share}/tarnwick
sample=$data/sample.nsf
mkdir -p "$data"
if [ ! -f "$sample" ]; then
  echo "Making a sample database (kept for later runs)..."
  # Build it beside the final name so that an interrupted run leaves no
  # half-made database behind.
  rm -f "$sample.part"
  "$build/tools/nsftool" sample "$sample.part"
  mv "$sample.part" "$sample"
fi
echo "Sample database: $sample"

if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  echo "Starting the wizard: type or browse (\"...\") the sample database's path on the first page, then Next."
  exec "$build/app/tarnwick"
fi

mkdir -p "$data/runs"
out=$(mktemp -d "$data/runs/$(date +%Y%m%d-%H%M%S)-XXXX")
echo "No display found (neither DISPLAY nor WAYLAND_DISPLAY is set): running the same job with tarnwick-cli."
echo "Cleaned copies and the log file go to: $out"
exec "$build/tools/tarnwick-cli" --new-files "$out" --log-dir "$out" "$sample"
