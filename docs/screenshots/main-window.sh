#!/usr/bin/env bash
# Takes the screenshots of the main window: a scanned sample volume, the overwrite
# question, a finished undelete and a scanned exFAT card. Runs the built program under Xvfb over the sample
# volumes and drives it with the keyboard through xdotool, as a person would. Needs
# xvfb, xdotool and imagemagick. Usage: main-window.sh [BIN_DIR]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
bin=${1:-$root/build/release/bin}
for tool in Xvfb xdotool import convert; do
  command -v "$tool" > /dev/null || { echo "needs $tool (packages xvfb, xdotool, imagemagick)" >&2; exit 1; }
done
work=$(mktemp -d)
display=:$((80 + RANDOM % 9))
cleanup() {
  [ -n "${app:-}" ] && kill "$app" 2> /dev/null || true
  [ -n "${xvfb:-}" ] && kill "$xvfb" 2> /dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
Xvfb "$display" -screen 0 1280x900x24 > /dev/null 2>&1 &
xvfb=$!
# The home folder is the destination the window starts with.
export DISPLAY=$display HOME=$work/home XDG_CONFIG_HOME=$work/config XDG_STATE_HOME=$work/state \
  XDG_CACHE_HOME=$work/cache XDG_RUNTIME_DIR=$work
mkdir -p "$HOME"
export QUENVAR_DRIVES="E=$root/samples/ntfs-sample.img;F=$root/samples/fat-sample.img"
sleep 1
"$bin/quenvar" > "$work/quenvar.out" 2>&1 &
app=$!

# wait_window NAME: the id of the first shown window of that name; it gets the keyboard
# (there is no window manager to give it).
wait_window() {
  local id
  id=$(xdotool search --sync --onlyvisible --name "$1" | head -1)
  xdotool windowfocus --sync "$id"
  echo "$id"
}
# shot FILE: the main window with whatever stands over it.
shot() {
  eval "$(xdotool getwindowgeometry --shell "$main")"
  import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "$1"
}

main=$(wait_window '^Quenvar')
sleep 1
# The Scan button has the focus at start: Space scans drive E:.
xdotool key space
sleep 2
# The list has the keyboard after the scan, on Documents: Enter opens it; then the
# deleted numbers.txt is selected.
xdotool key Return
sleep 0.5
xdotool key End
sleep 0.5
shot "$here/main-window.png"

# Enter on a file undeletes it into the home folder: the result box.
xdotool key Return
box=$(wait_window '^Quenvar$')
sleep 0.5
shot "$here/undelete-done.png"
xdotool key Return
sleep 0.5
xdotool windowfocus --sync "$main"
# Again: the file is there now, so the overwrite question comes first.
xdotool key Return
question=$(wait_window '^Confirm File Overwrite$')
sleep 0.5
shot "$here/overwrite-question.png"
xdotool key Escape
sleep 0.5
[ -s "$HOME/numbers.txt" ] || { echo "the undelete wrote nothing" >&2; exit 1; }

# An exFAT camera card, in a second run (one instance at a time): its photo folder with
# two deleted photos.
kill "$app"
wait "$app" 2> /dev/null || true
# D: is the first letter after C:, the drive the window starts on.
export QUENVAR_DRIVES="D=$root/samples/exfat-sample.img"
"$bin/quenvar" > "$work/quenvar.out" 2>&1 &
app=$!
main=$(wait_window '^Quenvar')
sleep 1
xdotool key space
sleep 4
# Enter opens DCIM with ".." selected; Down, Enter opens 100CAMERA.
xdotool key Return
sleep 0.5
xdotool key Down Return
sleep 0.5
xdotool key End
sleep 0.5
shot "$here/exfat-card.png"
echo "screenshots written to $here"
