#!/usr/bin/env bash
# Takes docs/screenshot.png: tesk on a virtual X server (Xvfb) with the
# openbox window manager, showing the example scene docs/screenshot-scene.json
# with two of its objects expanded; and the scene's thumbnail,
# docs/screenshot-scene-thumbnail.png (256 pixels); and the same view under
# Qt's GTK 3 platform theme with GTK's Adwaita and Adwaita-dark,
# docs/desktop-palette-light.png and docs/desktop-palette-dark.png.
#
#   scripts/screenshot.sh [BUILD_DIR]
#
# BUILD_DIR (default build/run) is configured if need be, and tesk, qbx and
# tesk-thumbnailer are built in it. tesk runs with settings of its own in a
# scratch folder, so the
# user's recent-file list is neither shown nor changed.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/install-deps.sh" run screenshot

build=$(realpath -m "${1:-$root/build/run}")
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTESK_TESTS=OFF
fi
cmake --build "$build" -j"$(nproc)" --target tesk qbx tesk-thumbnailer

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$build/bin/qbx" build "$root/docs/screenshot-scene.json" "$work/scene.qbx"
"$build/bin/tesk-thumbnailer" "$work/scene.qbx" "$root/docs/screenshot-scene-thumbnail.png" 256
mkdir -m 700 "$work/runtime"

# Runs inside the virtual display: $1 tesk, $2 the scene, $3 the PNG.
take='
set -euo pipefail
openbox & wm=$!
args=()
# Once tesk hands files to a running instance, this one must start its own.
if "$1" --help 2>/dev/null | grep -q -- --new-instance; then args+=(--new-instance); fi
"$1" "${args[@]}" "$2" & editor=$!
trap "kill $editor $wm 2>/dev/null || true" EXIT
win=$(timeout 30 xdotool search --sync --onlyvisible --name "^TESK" | head -n 1)
wmctrl -i -r "$win" -b add,maximized_vert,maximized_horz
xdotool windowactivate --sync "$win"
# The tree has the focus with its first object current: expand it, go down
# past its five properties and the next object, expand the third object and
# select its colour.
xdotool key --delay 100 Right Down Down Down Down Down Down Down Right Down Down Down Down Down
# Key events are handled and painted asynchronously; give the last one time.
sleep 1
import -window root -strip "$3"
'
# Takes the picture $1 (a name in docs/) with the environment that follows.
shoot() {
  local picture=$1
  shift
  rm -rf "$work/config"
  env "$@" XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data" XDG_RUNTIME_DIR="$work/runtime" \
    xvfb-run -a -s "-screen 0 800x560x24" \
    bash -c "$take" take "$build/bin/tesk" "$work/scene.qbx" "$work/$picture"
  # A palette of 256 colours is plenty for a widget screenshot and keeps it small.
  convert "$work/$picture" -colors 256 "PNG8:$root/docs/$picture"
  echo "wrote $root/docs/$picture"
}
shoot screenshot.png
shoot desktop-palette-light.png QT_QPA_PLATFORMTHEME=gtk3 GTK_THEME=Adwaita
shoot desktop-palette-dark.png QT_QPA_PLATFORMTHEME=gtk3 GTK_THEME=Adwaita:dark
