#!/usr/bin/env bash
# git diff of a .qbx scene through `qbx dump`, set up as docs/qbx.md shows.
# usage: git_diff.sh QBX
set -euo pipefail
export PATH="$(dirname "$1"):$PATH" HOME GIT_CONFIG_NOSYSTEM=1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
HOME=$work
cd "$work"
git init -q repo && cd repo
git config user.name test && git config user.email test@example.org

scene() {
  printf '{"objects": [{"name": "Kuleczka", "type": 1, "x": 0, "y": 0, "z": 0, "colourMode": 0, "colour": 0},
    {"name": "%s", "type": 2, "x": 4, "y": 5, "z": 6, "colourMode": 1, "colour": 255}]}' "$1" >scene.json
  qbx build scene.json scene.qbx
}
echo '*.qbx diff=qbx' >.gitattributes
git config diff.qbx.textconv "qbx dump"
scene Before
git add .gitattributes scene.qbx && git commit -qm first
scene Renamed
diff=$(git diff -- scene.qbx)
grep -qx -- '-   "name": "Before",' <<<"$diff" && grep -qx -- '+   "name": "Renamed",' <<<"$diff" ||
  { echo "FAIL: the diff does not show the renamed object:" >&2; echo "$diff" >&2; exit 1; }
echo ok
