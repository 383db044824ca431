#!/usr/bin/env bash
# Builds the browser page: OUTDIR/queuecalc.html, one self-contained file
# (script, styles and the library compiled to WebAssembly inside it) that
# opens offline in any current browser.
#
#   scripts/build-web.sh OUTDIR [BUILDDIR]
#
# Needs Debian's emscripten (apt-get install -y emscripten) and Boost's
# headers (libboost-dev). BUILDDIR defaults to build-web beside this script's
# folder.
set -euo pipefail
if [ $# -lt 1 ] || [ $# -gt 2 ]; then
  echo "usage: scripts/build-web.sh OUTDIR [BUILDDIR]" >&2
  exit 2
fi
root=$(cd "$(dirname "$0")/.." && pwd)
out=$1
build=${2:-$root/build-web}
if ! command -v emcmake >/dev/null; then
  echo "build-web.sh: emscripten is missing (apt-get install -y emscripten)" >&2
  exit 1
fi
# Debian's emscripten runs its optimizer on node with Debian's node modules
# (acorn); a node installed from elsewhere that comes first on PATH does not
# look there by itself.
export NODE_PATH="${NODE_PATH:+$NODE_PATH:}/usr/share/nodejs"
emcmake cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DQUEUECALC_BUILD_TESTS=OFF
cmake --build "$build" -j2 --target queuecalc_page
mkdir -p "$out"
cp "$build/web/queuecalc.html" "$out/queuecalc.html"
echo "$out/queuecalc.html: $(wc -c < "$out/queuecalc.html") bytes"
