#!/usr/bin/env bash
# Packs the build tree with its CPack configuration (as `make deb` does)
# and checks the package's control fields and file list.
# usage: deb_package.sh BUILD_DIR VERSION METAINFO_SUMMARY
set -euo pipefail
build=$1 version=$2 summary=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

# gzip rather than xz: the test tree's programs are large, and the
# compression is not what is checked.
cpack --config "$build/CPackConfig.cmake" -B "$work" -D CPACK_DEBIAN_COMPRESSION_TYPE=gzip >"$work/cpack.log" 2>&1 ||
  { cat "$work/cpack.log" >&2; fail "cpack failed"; }
arch=$(dpkg --print-architecture)
deb=$work/tesk_${version}_${arch}.deb
[[ -f $deb ]] || fail "no $(basename "$deb"); made: $(cd "$work" && echo *.deb)"

field() { dpkg-deb -f "$deb" "$1"; }
[[ $(field Package) == tesk ]] || fail "Package: $(field Package)"
[[ $(field Version) == "$version" ]] || fail "Version: $(field Version), project version $version"
[[ $(field Architecture) == "$arch" ]] || fail "Architecture: $(field Architecture)"
[[ $(field Maintainer) == *@* ]] || fail "Maintainer: $(field Maintainer)"
[[ $(field Description | head -n 1) == "$summary" ]] || fail "Description: $(field Description | head -n 1)"
[[ $(field Description | wc -l) -gt 2 ]] || fail "Description has no long text"
depends=$(field Depends)
for library in libqt6core6 libqt6gui6 libqt6widgets6 libqt6network6 libc6; do
  [[ $depends =~ (^|, )$library( |,|$) ]] || fail "Depends lacks $library: $depends"
done

files=$(dpkg-deb -c "$deb" | awk '{ print $6 }' | sed 's|^\./|/|')
for path in \
  /usr/bin/tesk /usr/bin/qbx /usr/bin/tesk-thumbnailer \
  /usr/share/man/man1/tesk.1.gz /usr/share/man/man1/qbx.1.gz /usr/share/man/man1/tesk-thumbnailer.1.gz \
  /usr/share/applications/tesk.desktop /usr/share/mime/packages/tesk.xml \
  /usr/share/icons/hicolor/scalable/apps/tesk.svg /usr/share/icons/hicolor/48x48/apps/tesk.png \
  /usr/share/icons/hicolor/scalable/mimetypes/application-x-tesk-scene.svg \
  /usr/share/icons/hicolor/48x48/mimetypes/application-x-tesk-scene.png \
  /usr/share/metainfo/com.quorvane.tesk.metainfo.xml \
  /usr/share/doc/tesk/copyright /usr/share/doc/tesk/changelog.gz \
  /usr/share/bash-completion/completions/tesk /usr/share/bash-completion/completions/qbx \
  /usr/share/thumbnailers/tesk.thumbnailer; do
  grep -qxF "$path" <<<"$files" || fail "missing $path"
done
outside=$(grep -v '^/usr/\?$' <<<"$files" | grep -v '^/usr/' | grep -v '^/$' || true)
[[ -z $outside ]] || fail "files outside /usr: $outside"
# Every file belongs to the package: no maintainer scripts are needed.
control=$(dpkg-deb --ctrl-tarfile "$deb" | tar -t | grep -v '/$' | sed 's|^\./||' | sort | paste -sd ' ')
[[ $control == "control md5sums" ]] || fail "control members: $control"
echo "ok: $(basename "$deb")"
