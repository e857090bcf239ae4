#!/usr/bin/env bash
# Installs the missing Debian packages of the named lists in scripts/packages/
# (run, test, bench, fuzz, screenshot), e.g. `scripts/install-deps.sh run test`.
# Idempotent: does nothing (and needs no network) when everything is present.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
if [ $# -eq 0 ]; then
  echo "usage: $0 LIST..." >&2
  echo "lists: $(cd "$here/packages" && ls ./*.txt | sed 's|^\./||; s|\.txt$||' | tr '\n' ' ')" >&2
  exit 2
fi
wanted=()
for list in "$@"; do
  file="$here/packages/$list.txt"
  if [ ! -f "$file" ]; then
    echo "$0: no package list \"$list\" ($file)" >&2
    exit 2
  fi
  mapfile -t -O "${#wanted[@]}" wanted < <(grep -vE '^\s*(#|$)' "$file")
done
missing=()
for pkg in "${wanted[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$pkg")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0
mapfile -t missing < <(printf '%s\n' "${missing[@]}" | sort -u)
echo "Installing missing packages: ${missing[*]}"
sudo_cmd=()
[ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
"${sudo_cmd[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
