#!/usr/bin/env bash
# Takes docs/desktop-palette-light.png and docs/desktop-palette-dark.png:
# tesk under Qt's GTK 3 platform theme with GTK's Adwaita and Adwaita-dark,
# on a virtual X server with openbox, the example scene's first and third
# objects expanded and the cursor on the colour of the third.
#
#   scripts/palette-screenshots.sh [BUILD_DIR]
#
# BUILD_DIR (default build/run) is configured if need be and tesk and qbx
# built in it. tesk runs with settings of its own in a scratch folder.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/install-deps.sh" run screenshot

build=$(realpath -m "${1:-$root/build/run}")
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTESK_TESTS=OFF
fi
cmake --build "$build" -j"$(nproc)" --target tesk qbx

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$build/bin/qbx" build "$root/docs/screenshot-scene.json" "$work/scene.qbx"
mkdir -m 700 "$work/runtime"

# Runs inside the virtual display: $1 tesk, $2 the scene, $3 the PNG.
take='
set -euo pipefail
openbox & wm=$!
"$1" --new-instance "$2" & editor=$!
trap "kill $editor $wm 2>/dev/null || true" EXIT
win=$(timeout 30 xdotool search --sync --onlyvisible --name "^TESK" | head -n 1)
wmctrl -i -r "$win" -b add,maximized_vert,maximized_horz
xdotool windowactivate --sync "$win"
xdotool key --delay 100 Right Down Down Down Down Down Down Down Right Down Down Down Down Down
# Key events are handled and painted asynchronously; give the last one time.
sleep 1
import -window root -strip "$3"
'
for theme in light:Adwaita dark:Adwaita:dark; do
  name=${theme%%:*}
  rm -rf "$work/config"
  GTK_THEME=${theme#*:} QT_QPA_PLATFORMTHEME=gtk3 ASAN_OPTIONS=detect_leaks=0 \
    XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data" XDG_RUNTIME_DIR="$work/runtime" \
    xvfb-run -a -s "-screen 0 800x560x24" \
    bash -c "$take" take "$build/bin/tesk" "$work/scene.qbx" "$work/$name.png"
  convert "$work/$name.png" -colors 256 "PNG8:$root/docs/desktop-palette-$name.png"
  echo "wrote $root/docs/desktop-palette-$name.png"
done
