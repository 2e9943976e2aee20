#!/usr/bin/env bash
# Takes the screenshots of the preview and the content check's column: a small FAT
# volume made here (a picture, a text and an overwritten picture, all deleted), scanned
# by the built program under Xvfb and driven with the keyboard through xdotool. Needs
# xvfb, xdotool, imagemagick, dosfstools and mtools. Usage: preview.sh [BIN_DIR]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
bin=${1:-$root/build/release/bin}
for tool in Xvfb xdotool import convert mkfs.fat mcopy; do
  command -v "$tool" > /dev/null || { echo "needs $tool (packages xvfb, xdotool, imagemagick, dosfstools, mtools)" >&2; exit 1; }
done
work=$(mktemp -d)
display=:$((80 + RANDOM % 9))
cleanup() {
  [ -n "${app:-}" ] && kill "$app" 2> /dev/null || true
  [ -n "${xvfb:-}" ] && kill "$xvfb" 2> /dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

export MTOOLS_SKIP_CHECK=1
convert -size 320x200 plasma:orange-purple -seed 7 "$work/sunset.jpg"
convert -size 160x120 gradient:skyblue-navy "$work/sky.png"
printf 'Shopping list\n- bread\n- apples\n- coffee\n' > "$work/list.txt"
img="$work/card.img"
truncate -s 4M "$img"
mkfs.fat -F 12 -n CARD "$img" > /dev/null
mmd -i "$img" ::/Photos
mcopy -i "$img" "$work/sky.png" ::/Photos/OLDSKY.PNG
mcopy -i "$img" "$work/sunset.jpg" ::/Photos/SUNSET.JPG
mcopy -i "$img" "$work/list.txt" ::/Photos/LIST.TXT
mdel -i "$img" ::/Photos/OLDSKY.PNG
# A later file takes the deleted picture's clusters: its start no longer matches.
head -c 30000 /dev/urandom > "$work/noise.bin"
mcopy -i "$img" "$work/noise.bin" ::/NOISE.BIN
mdel -i "$img" ::/Photos/SUNSET.JPG ::/Photos/LIST.TXT

Xvfb "$display" -screen 0 1280x900x24 > /dev/null 2>&1 &
xvfb=$!
export DISPLAY=$display HOME=$work/home XDG_CONFIG_HOME=$work/config XDG_STATE_HOME=$work/state \
  XDG_CACHE_HOME=$work/cache XDG_RUNTIME_DIR=$work
mkdir -p "$HOME" "$XDG_CONFIG_HOME/quenvar"
# The content check's column switched on, as View > Content Check Column leaves it.
printf '[Options]\nContentCheckColumn=true\n' > "$XDG_CONFIG_HOME/quenvar/options.ini"
export QUENVAR_DRIVES="D=$img"
sleep 1
"$bin/quenvar" > "$work/quenvar.out" 2>&1 &
app=$!

wait_window() {
  local id
  id=$(xdotool search --sync --onlyvisible --name "$1" | head -1)
  xdotool windowfocus --sync "$id"
  echo "$id"
}
shot() {  # FILE WINDOW
  eval "$(xdotool getwindowgeometry --shell "$2")"
  import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "$1"
}

main=$(wait_window '^Quenvar')
sleep 1
xdotool key space
sleep 2
# Enter opens Photos with ".." selected; End selects its last row.
xdotool key Return
sleep 0.5
xdotool key End
sleep 1
shot "$here/content-column.png" "$main"
# preview KEYS FILE: moves in the list with KEYS, previews the row with F3, takes the shot.
preview() {
  xdotool windowfocus --sync "$main"
  xdotool key $1
  sleep 0.3
  xdotool key F3
  local dialog
  dialog=$(wait_window '^Preview - ')
  sleep 1
  shot "$2" "$dialog"
  xdotool key Escape
  sleep 0.5
}
# The overwritten picture (a hex dump), the intact one, the text.
preview "Up Up" "$here/preview-hex.png"
preview "Down" "$here/preview-picture.png"
preview "Down" "$here/preview-text.png"
echo "screenshots written to $here"
