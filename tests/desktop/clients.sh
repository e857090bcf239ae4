#!/usr/bin/env bash
# The desktop's own clients on a DESTDIR install of the build tree:
#   mime     GIO names files by the installed MIME database, by content where
#            a file has no name it knows;
#   tumbler  the thumbnail service, on a private D-Bus session, makes
#            thumbnails through the installed tesk.thumbnailer.
# usage: clients.sh mime|tumbler BUILD_DIR QBX JOURNAL [TUMBLERD]
set -euo pipefail
client=$1 build=$2 qbx=$3 journal=$4 tumblerd=${5:-}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

DESTDIR=$work/root cmake --install "$build" --prefix /usr >"$work/install.log" 2>&1 ||
  { cat "$work/install.log" >&2; fail "install failed"; }
share=$work/root/usr/share
# The package leaves the MIME cache to shared-mime-info's trigger.
update-mime-database "$share/mime" 2>/dev/null
mkdir -p "$work/home" "$work/files"
export HOME=$work/home XDG_DATA_HOME=$work/home/data XDG_CACHE_HOME=$work/home/cache \
  XDG_CONFIG_HOME=$work/home/config XDG_DATA_DIRS=$share:/usr/share PATH=$work/root/usr/bin:$PATH

# scene COUNT FILE: a scene of COUNT spheres.
scene() {
  {
    printf '{"objects": ['
    for ((i = 0; i < $1; ++i)); do
      ((i == 0)) || printf ','
      printf '{"name": "o%d", "type": 1, "x": %d, "y": %d, "z": 0, "colourMode": 0, "colour": 0}' $i $i $((i / 2))
    done
    printf ']}'
  } >"$work/scene.json"
  qbx build "$work/scene.json" "$2"
}
files=$work/files
scene 2 "$files/scene.qbx"

case $client in
mime)
  cp "$files/scene.qbx" "$files/scene"
  scene 65535 "$files/large"  # the count as FFFF and a double word
  scene 0 "$files/empty-scene.qbx"
  cp "$files/empty-scene.qbx" "$files/empty-scene"
  cp "$work/scene.json" "$files/scene.json"
  tesk-thumbnailer "$files/scene.qbx" "$files/png" 64
  cp "$journal" "$files/journal"
  : >"$files/empty"
  # file | type
  table="scene.qbx|application/x-tesk-scene
scene|application/x-tesk-scene
large|application/x-tesk-scene
empty-scene.qbx|application/x-tesk-scene
empty-scene|application/octet-stream
scene.json|application/json
png|image/png
journal|application/octet-stream
empty|text/plain"
  while IFS='|' read -r name expected; do
    type=$(gio info -a standard::content-type "$files/$name" | sed -n 's/^ *standard::content-type: //p')
    [[ $type == "$expected" ]] || fail "$name is \"$type\", not $expected"
  done <<<"$table"
  ;;
tumbler)
  [[ -x $tumblerd ]] || fail "no tumblerd"
  printf 'junk' >"$files/junk.qbx"
  # Inside the private session: start tumbler, queue each file, wait for
  # its job to finish and check the cache.
  export files tumblerd
  dbus-run-session -- bash -euo pipefail -c '
    fail() { echo "FAIL: $*" >&2; exit 1; }
    G_MESSAGES_DEBUG=all "$tumblerd" >"$HOME/tumbler.log" 2>&1 &
    trap "kill $!" EXIT
    gdbus wait --session --timeout 60 org.freedesktop.thumbnails.Thumbnailer1
    # file | flavour | longer side of the thumbnail, 0 for none
    table="scene.qbx|normal|128
scene.qbx|large|256
junk.qbx|normal|0"
    while IFS="|" read -r name flavour size; do
      uri=file://$files/$name
      handle=$(gdbus call --session --dest org.freedesktop.thumbnails.Thumbnailer1 \
        --object-path /org/freedesktop/thumbnails/Thumbnailer1 \
        --method org.freedesktop.thumbnails.Thumbnailer1.Queue \
        "[\"$uri\"]" "[\"application/x-tesk-scene\"]" "$flavour" default 0 | sed -E "s/^\(uint32 ([0-9]+),\)$/\1/")
      for _ in $(seq 600); do
        grep -q "Finishing job $handle\$" "$HOME/tumbler.log" && break
        sleep 0.1
      done
      grep -q "Finishing job $handle\$" "$HOME/tumbler.log" || fail "job $handle for $name never finished"
      png=$XDG_CACHE_HOME/thumbnails/$flavour/$(printf %s "$uri" | md5sum | cut -d" " -f1).png
      if [[ $size == 0 ]]; then
        grep -q "Error signal for job $handle:" "$HOME/tumbler.log" || fail "$name: no error from tumbler"
        [[ ! -e $png ]] || fail "$name: a thumbnail in the cache"
        continue
      fi
      [[ -f $png ]] || { cat "$HOME/tumbler.log" >&2; fail "$name $flavour: no thumbnail in the cache"; }
      info=$(file -b "$png")
      [[ $info =~ ^PNG\ image\ data,\ ([0-9]+)\ x\ ([0-9]+) ]] || fail "$name $flavour: not a PNG: $info"
      longer=$((BASH_REMATCH[1] > BASH_REMATCH[2] ? BASH_REMATCH[1] : BASH_REMATCH[2]))
      [[ $longer == "$size" ]] || fail "$name $flavour: $info, not $size pixels"
    done <<<"$table"
  '
  ;;
*) fail "no client \"$client\"" ;;
esac
echo ok
