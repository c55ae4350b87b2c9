#!/bin/bash
# Installs into a temporary prefix and starts the installed program the way a user does: through the
# launchers on PATH, with a HOME of its own. Checks that the launcher prepares the per-user application
# folder, that the window starts from there (offscreen) and writes its data folder, that varnex-batch
# keeps its files in and beside that folder, that a changed installation is copied again, and that the
# desktop files pass their validators.
# Usage: install_test.sh CMAKE BUILD_DIR
set -euo pipefail
cmake=$1
build=$2
tmp=$(mktemp -d "${TMPDIR:-/tmp}/varnex-install-test.XXXXXX")
window_pid=
cleanup() {
    [ -n "$window_pid" ] && kill -KILL "$window_pid" 2>/dev/null || true
    rm -rf "$tmp"
}
trap cleanup EXIT
fail() {
    echo "FAIL: $*" >&2
    exit 1
}

prefix=$tmp/prefix
"$cmake" --install "$build" --prefix "$prefix" >/dev/null
for f in bin/varnex bin/varnex-batch libexec/varnex/varnex libexec/varnex/varnex-batch share/varnex/user_guide.htm \
    share/icons/hicolor/scalable/apps/varnex.svg share/icons/hicolor/48x48/apps/varnex.png \
    share/man/man1/varnex.1.gz share/man/man1/varnex-batch.1.gz; do
    [ -s "$prefix/$f" ] || fail "not installed: $f"
done
desktop-file-validate "$prefix/share/applications/varnex.desktop" || fail "desktop entry rejected"
appstreamcli validate --no-net "$prefix"/share/metainfo/*.metainfo.xml >/dev/null || fail "metainfo rejected"
# The manual page is varnex-batch's own --help: every option it lists is in the page.
page=$(zcat "$prefix/share/man/man1/varnex-batch.1.gz")
for opt in eps sweeps save replace json; do
    grep -q -- "\\\\-\\\\-$opt" <<<"$page" || fail "manual page lacks --$opt"
done
grep -q '^\.SH SYNOPSIS' <<<"$page" || fail "manual page has no synopsis"

# First start of the window by a user who agreed before: the launcher fills the folder that holds only
# the agreement marker, and the program's load handler writes the samples into it.
export HOME=$tmp/home
unset XDG_DATA_HOME
app=$HOME/.local/share/varnex/app
mkdir -p "$app"
printf '    \r\n' >"$app/kvt.rss"
QT_QPA_PLATFORM=offscreen "$prefix/bin/varnex" &
window_pid=$!
for _ in $(seq 600); do
    [ -s "$app/data/sample4.txt" ] && break
    kill -0 "$window_pid" 2>/dev/null || fail "the installed window ended at its start"
    sleep 0.1
done
[ -s "$app/data/sample4.txt" ] || fail "the window did not write its samples into $app/data"
[ "$(readlink -f "/proc/$window_pid/exe")" = "$(readlink -f "$app/varnex")" ] || fail "the window runs from elsewhere"
kill -TERM "$window_pid"
wait "$window_pid" || true
window_pid=
for f in varnex varnex-batch; do
    cmp -s "$prefix/libexec/varnex/$f" "$app/$f" || fail "$f not copied into the application folder"
done
cmp -s "$prefix/share/varnex/user_guide.htm" "$app/user_guide.htm" || fail "guide not copied"
for png in $(grep -o 'src="[^"/]*\.png"' "$app/user_guide.htm" | sed 's/src="\(.*\)"/\1/' | sort -u); do
    [ -s "$app/$png" ] || fail "the guide's picture $png not copied beside it"
done

# A new installation is copied over the old one; the user's files stay.
echo "<!-- newer -->" >>"$prefix/share/varnex/user_guide.htm"
"$prefix/bin/varnex-batch" --help >/dev/null
cmp -s "$prefix/share/varnex/user_guide.htm" "$app/user_guide.htm" || fail "changed guide not copied again"
[ -s "$app/kvt.rss" ] && [ -s "$app/data/sample1.txt" ] || fail "the user's files did not survive the refresh"

# An XDG_DATA_HOME of its own: the batch program saves into data/ there, and its row file lies beside
# the application folder.
export XDG_DATA_HOME=$tmp/xdg
"$prefix/bin/varnex-batch" open "$app/data/sample1.txt" --save mine.txt >/dev/null
[ -s "$XDG_DATA_HOME/varnex/app/data/mine.txt" ] && [ -s "$XDG_DATA_HOME/varnex/app/data/solutions/mine.txt" ] ||
    fail "varnex-batch did not save into the application folder under XDG_DATA_HOME"
"$prefix/bin/varnex-batch" connect "$app/data/sample1.txt" --sweeps 1 >/dev/null
[ -s "$XDG_DATA_HOME/varnex/appdata.vnx" ] || fail "the row file is not beside the application folder"

# A place that cannot hold the folder gets a clear message, not a program started elsewhere.
export XDG_DATA_HOME=$tmp/a-file
touch "$XDG_DATA_HOME"
if err=$("$prefix/bin/varnex-batch" --help 2>&1 >/dev/null); then fail "launcher went on without its folder"; fi
grep -q "cannot create the application folder" <<<"$err" || fail "unclear launcher message: $err"
echo "install test passed"
