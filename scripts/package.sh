#!/usr/bin/env bash
# Builds Tarnwick (as scripts/build.sh, into build/ or $BUILD_DIR) and makes
# its Debian package with CPack. The last line printed is the .deb's path.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
"$root/scripts/build.sh"
# dpkg-shlibdeps reads the dependencies of the linked libraries.
command -v dpkg-shlibdeps >/dev/null || { echo "package.sh: dpkg-shlibdeps is missing (apt-get install dpkg-dev)" >&2; exit 1; }
rm -f "$build"/package/tarnwick_*.deb
(cd "$build" && cpack -G DEB >&2)
deb=$(ls "$build"/package/tarnwick_*.deb)
echo "$deb"
