#!/bin/bash
# Builds the Debian package with CPack and checks what it holds: the launchers on PATH, the programs in
# their private folder, the guide, the icons, the desktop files and the manual pages, the dependencies
# that the programs need, and lintian's verdict where lintian is installed.
# Usage: deb_test.sh CPACK BUILD_DIR
set -euo pipefail
cpack=$1
build=$2
tmp=$(mktemp -d "${TMPDIR:-/tmp}/varnex-deb-test.XXXXXX")
trap 'rm -rf "$tmp"' EXIT
fail() {
    echo "FAIL: $*" >&2
    exit 1
}

"$cpack" -G DEB --config "$build/CPackConfig.cmake" -B "$tmp" >/dev/null
debs=("$tmp"/varnex_*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || fail "no single varnex_*.deb in $tmp"
deb=${debs[0]}

files=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print $6}' | sed 's|^\./||' | sort)
# The user guide's pictures go beside it: every picture that the guide shows must be there.
pictures=$(grep '^usr/share/varnex/[^/]*\.png$' <<<"$files" | sed 's|.*/||' | sort)
wanted=$(dpkg-deb --fsys-tarfile "$deb" | tar -xO ./usr/share/varnex/user_guide.htm | grep -o 'src="[^"/]*\.png"' | sed 's/src="\(.*\)"/\1/' | sort -u)
missing=$(comm -13 <(echo "$pictures") <(echo "$wanted"))
[ -z "$missing" ] || fail "pictures the guide shows are not in the package: $missing"
files=$(grep -v '^usr/share/varnex/[^/]*\.png$' <<<"$files")
expected=$(sort <<'LIST'
usr/bin/varnex
usr/bin/varnex-batch
usr/libexec/varnex/varnex
usr/libexec/varnex/varnex-batch
usr/share/varnex/user_guide.htm
usr/share/applications/varnex.desktop
usr/share/metainfo/com.varnex_solver.varnex.metainfo.xml
usr/share/icons/hicolor/scalable/apps/varnex.svg
usr/share/icons/hicolor/16x16/apps/varnex.png
usr/share/icons/hicolor/22x22/apps/varnex.png
usr/share/icons/hicolor/24x24/apps/varnex.png
usr/share/icons/hicolor/32x32/apps/varnex.png
usr/share/icons/hicolor/48x48/apps/varnex.png
usr/share/icons/hicolor/64x64/apps/varnex.png
usr/share/icons/hicolor/128x128/apps/varnex.png
usr/share/icons/hicolor/256x256/apps/varnex.png
usr/share/man/man1/varnex.1.gz
usr/share/man/man1/varnex-batch.1.gz
usr/share/doc/varnex/copyright
usr/share/doc/varnex/changelog.gz
usr/share/lintian/overrides/varnex
LIST
)
[ "$files" = "$expected" ] || fail "unexpected file list:
$(diff <(echo "$expected") <(echo "$files") || true)"

# The launchers are scripts that find the programs relative to themselves under /usr.
dpkg-deb --fsys-tarfile "$deb" | tar -xO ./usr/bin/varnex | grep -q '/../libexec/varnex"' ||
    fail "the launcher does not look for the programs in /usr/libexec/varnex"
depends=$(dpkg-deb -f "$deb" Depends)
for dep in libqt6widgets6 libqt6charts6 qt6-qpa-plugins libc6; do
    grep -q "$dep" <<<"$depends" || fail "Depends lacks $dep: $depends"
done

if command -v lintian >/dev/null; then
    # Errors and warnings fail; the package's own overrides say why each exception is right.
    report=$(lintian --fail-on error,warning "$deb" 2>&1) || fail "lintian: $report"
else
    echo "lintian is not installed: its check skipped"
fi
echo "deb test passed"
