#!/usr/bin/env bash
# Screenshots of the desktop program under Xvfb: the login dialog, the main window, and the
# main window with its first menu open. Usage: scripts/app_screenshots.sh OUTDIR [BUILD]
# Needs xvfb, xdotool and imagemagick (installed when missing); builds when needed.
set -euo pipefail
out=${1:?usage: $0 OUTDIR [BUILD]}
build=${2:-build}
here=$(cd "$(dirname "$0")/.." && pwd)
mkdir -p "$out"
out=$(cd "$out" && pwd)
need=()
for p in xvfb xauth xdotool imagemagick; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || need+=("$p")
done
if [ ${#need[@]} -gt 0 ]; then
  SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO=sudo
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${need[@]}"
fi
[ -x "$here/$build/planilla" ] || make -C "$here" build BUILD="$build"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$here/$build/cli/planilla-cli" init "$work/demo" --company "$work/demo/EMP01" --demo >/dev/null

xvfb-run -a -s "-screen 0 1280x860x24" bash -c '
  set -e
  cd "$1"
  "$2/planilla" & pid=$!
  shot() { sleep "$1"; import -window root "$2"; }
  wait_for() { for i in $(seq 50); do xdotool search --name "$1" >/dev/null 2>&1 && return 0; sleep 0.2; done; return 1; }
  wait_for "Sistema de Planilla"
  shot 1 "$3/login.png"
  t0=$(date +%s%N)
  xdotool key Return
  wait_for "TALVORE PLANILLA"
  t1=$(date +%s%N)
  echo "main window $(( (t1 - t0) / 1000000 )) ms after the login was accepted"
  echo "title: $(xdotool search --name "TALVORE PLANILLA" getwindowname | head -1)"
  shot 1 "$3/main.png"
  # No window manager under Xvfb: open the first menu with a click on its title.
  xdotool mousemove 30 9 click 1
  shot 1 "$3/menu.png"
  kill $pid 2>/dev/null || true
' _ "$work/demo" "$here/$build" "$out"
ls "$out"/login.png "$out"/main.png "$out"/menu.png
