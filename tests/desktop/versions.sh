#!/usr/bin/env bash
# tesk, qbx, tesk-thumbnailer and the metainfo's latest release all give
# the project version.
# usage: versions.sh VERSION TESK QBX THUMBNAILER METAINFO
set -euo pipefail
version=$1
status=0
expect() {
  if [[ $2 != "$1" ]]; then
    echo "FAIL: '$2', expected '$1'" >&2
    status=1
  fi
}
expect "tesk $version" "$("$2" --version)"
expect "qbx $version" "$("$3" --version)"
expect "tesk-thumbnailer $version" "$("$4" --version)"
expect "$version" "$(grep -o '<release version="[^"]*"' "$5" | head -n 1 | cut -d'"' -f2)"
((status == 0)) && echo ok
exit $status
