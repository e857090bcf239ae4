#!/usr/bin/env bash
# Sources the bash completions of qbx and tesk and checks what they offer.
# usage: completion.sh COMPLETIONS_DIR
set -uo pipefail
source /usr/share/bash-completion/bash_completion
source "$1/qbx"
source "$1/tesk"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" && touch scene.qbx other.qbx data.json notes.txt && mkdir folder

# The completions offered for the command line "$@", the last word the one
# being completed, sorted on one line.
offered() {
  COMP_WORDS=("$@")
  COMP_CWORD=$(($# - 1))
  COMP_LINE="$*"
  COMP_POINT=${#COMP_LINE}
  COMPREPLY=()
  "_$1"
  printf '%s\n' "${COMPREPLY[@]}" | sort | paste -sd ' '
}

failures=0
check() {
  local expected=$1
  shift
  local got
  got=$(offered "$@")
  if [[ $got != "$expected" ]]; then
    echo "FAIL: '$*' offers '$got', expected '$expected'" >&2
    failures=$((failures + 1))
  fi
}
check "build check dump help recover" qbx ""
check "dump" qbx d
check "--version" qbx --v
check "folder other.qbx scene.qbx" qbx dump ""
check "data.json folder" qbx build ""
check "folder other.qbx scene.qbx" qbx build data.json ""
check "folder other.qbx scene.qbx" qbx check scene.qbx ""
check "--new-instance" tesk --n
check "-- --help --new-instance --recover --version" tesk -
check "folder other.qbx scene.qbx" tesk ""
check "folder other.qbx scene.qbx" tesk -- ""
((failures == 0)) && echo "ok"
exit $((failures != 0))
