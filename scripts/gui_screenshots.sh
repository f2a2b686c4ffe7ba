#!/usr/bin/env bash
# Screenshots of the Qt backend's screens under Xvfb: planilla-gui-demo shows the main window
# with its menus, a record with every kind of control (both tab pages), the master-file list
# over a copy of the PERSONAL fixture, the 72-check-box permission dialog, the calendar and
# a search prompt, and saves each as a PNG. Usage: scripts/gui_screenshots.sh OUTDIR [BUILD]
# (BUILD defaults to build-qt; it is configured and built when the demo is missing or old).
set -euo pipefail
out=${1:?usage: $0 OUTDIR [BUILD]}
build=${2:-build-qt}
here=$(cd "$(dirname "$0")/.." && pwd)
mkdir -p "$out"
out=$(cd "$out" && pwd)
if [ ! -f "$here/$build/CMakeCache.txt" ]; then
  cmake -S "$here" -B "$here/$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug >/dev/null
fi
cmake --build "$here/$build" --target planilla-gui-demo
demo="$here/$build/gui/qt/planilla-gui-demo"
# A sanitizer build reports the session bus library's own allocations under Xvfb.
supp=$(mktemp)
trap 'rm -f "$supp"' EXIT
echo 'leak:libdbus' >"$supp"
LSAN_OPTIONS="suppressions=$supp" xvfb-run -a -s "-screen 0 1600x1200x24" "$demo" --screenshot "$out"
