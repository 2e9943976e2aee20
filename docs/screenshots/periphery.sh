#!/usr/bin/env bash
# Takes the screenshots of the MFT dump dialog after a dump, the About box and the help
# window: runs the built program under Xvfb over the sample volumes and drives it with
# xdotool. Needs xvfb, xdotool and imagemagick. Usage: periphery.sh [BIN_DIR]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
bin=${1:-$root/build/release/bin}
for tool in Xvfb xdotool import; do
  command -v "$tool" > /dev/null || { echo "needs $tool (packages xvfb, xdotool, imagemagick)" >&2; exit 1; }
done
work=$(mktemp -d)
display=:$((90 + RANDOM % 9))
cleanup() {
  [ -n "${app:-}" ] && kill "$app" 2> /dev/null || true
  [ -n "${xvfb:-}" ] && kill "$xvfb" 2> /dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
Xvfb "$display" -screen 0 1280x900x24 > /dev/null 2>&1 &
xvfb=$!
export DISPLAY=$display HOME=$work XDG_CONFIG_HOME=$work/config XDG_STATE_HOME=$work/state \
  XDG_CACHE_HOME=$work/cache XDG_RUNTIME_DIR=$work
export QUENVAR_DRIVES="E=$root/samples/ntfs-sample.img;F=$root/samples/fat-sample.img"
sleep 1
"$bin/quenvar" > "$work/quenvar.out" 2>&1 &
app=$!
xdotool search --sync --name '^Quenvar' > /dev/null
sleep 1

# wait_window NAME: the id of the first window of that name, once it is shown; it gets
# the keyboard (there is no window manager to give it).
wait_window() {
  local id
  id=$(xdotool search --sync --onlyvisible --name "$1" | head -1)
  xdotool windowfocus --sync "$id"
  echo "$id"
}

main=$(wait_window '^Quenvar')
# File > MFT Dump Utility (Scan, Open Disk Image..., MFT Dump Utility; Undelete is gray).
xdotool key alt+f Down Down Return
dump=$(wait_window '^MFTDump$')
sleep 0.5
xdotool key Return   # "Get MFT Dump", the default button
sleep 1
import -window "$dump" "$here/mft-dump.png"
xdotool key Escape

# Help > About Quenvar, the last entry of the menu.
sleep 0.5
xdotool windowfocus --sync "$main"
xdotool key alt+h Up Return
about=$(wait_window '^About$')
sleep 0.5
import -window "$about" "$here/about.png"
xdotool key Escape

# F1: the help window on its contents, then a page.
sleep 0.5
xdotool windowfocus --sync "$main"
xdotool key F1
help=$(wait_window '^Quenvar Help$')
sleep 1
import -window "$help" "$here/help-contents.png"
xdotool key Down
sleep 0.2
xdotool key Return
sleep 1
import -window "$help" "$here/help-getting-started.png"
echo "screenshots written to $here"
