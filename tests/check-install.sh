#!/usr/bin/env bash
# Installs the build folder into temporary prefixes, as `cmake --install` does for a user, and
# checks that every file lands below the prefix (and below DESTDIR when it is set), that the
# menu entry and the metainfo are valid and name the prefix, and that the installed program,
# started through the launcher, finds its helper and writes autostart entries into the prefix.
#   check-install.sh BUILD-FOLDER
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

# The installed program runs in a private session (temporary home, private D-Bus), never in
# the caller's.
[ -n "${ZV_IN_SESSION:-}" ] || exec "$here/run-in-session.sh" "$0" "$@"

build=$(cd "${1:?usage: $0 BUILD-FOLDER}" && pwd)
tmp=$(mktemp -d "${TMPDIR:-/tmp}/zv-install.XXXXXX")
trap 'rm -rf "$tmp"' EXIT

expected=(
    bin/zorvane
    lib/zorvane/Zorvane.app/Contents/bin/Zorvane
    lib/zorvane/Zorvane.app/Contents/bin/hdiutil
    lib/zorvane/Zorvane.app/Contents/Resources/data.xml
    lib/zorvane/Zorvane.app/Contents/Resources/ZorvaneStatus.app/Contents/bin/ZorvaneStatus
    lib/zorvane/Zorvane.app/Contents/Resources/ZorvaneUninstaller.app/Contents/bin/ZorvaneUninstaller
    share/applications/zorvane.desktop
    share/icons/hicolor/scalable/apps/zorvane.svg
    share/icons/hicolor/48x48/apps/zorvane.png
    share/icons/hicolor/128x128/apps/zorvane.png
    share/metainfo/com.tarnwick.Zorvane.metainfo.xml
)

# $1: where the files are (DESTDIR + prefix); $2: the prefix the installed files name.
check_tree() {
    local root=$1 prefix=$2 f
    for f in "${expected[@]}"; do
        [ -e "$root/$f" ] || fail "$f is missing below $root"
    done
    [ -L "$root/bin/zorvane" ] || fail "bin/zorvane is not a link"
    case $(readlink "$root/bin/zorvane") in
    /*) fail "the launcher link is absolute, so it breaks when the tree is staged or moved" ;;
    esac
    [ "$(readlink -f "$root/bin/zorvane")" = "$(readlink -f "$root/lib/zorvane/Zorvane.app/Contents/bin/Zorvane")" ] ||
        fail "the launcher does not lead to the application"
    file -L "$root/share/icons/hicolor/48x48/apps/zorvane.png" | grep -q ' 48 x 48' || fail "48 px icon has another size"
    file -L "$root/share/icons/hicolor/128x128/apps/zorvane.png" | grep -q ' 128 x 128' || fail "128 px icon has another size"

    local desktop="$root/share/applications/zorvane.desktop"
    desktop-file-validate "$desktop" || fail "desktop-file-validate rejects the menu entry"
    local exec
    exec=$(sed -n 's/^Exec=//p' "$desktop")
    # A path with a space is quoted; nothing else here needs escaping.
    case $prefix in
    *' '*) [ "$exec" = "\"$prefix/bin/zorvane\"" ] || fail "menu entry runs $exec, not $prefix/bin/zorvane" ;;
    *) [ "$exec" = "$prefix/bin/zorvane" ] || fail "menu entry runs $exec, not $prefix/bin/zorvane" ;;
    esac
    appstreamcli validate --no-net "$root/share/metainfo/com.tarnwick.Zorvane.metainfo.xml" >"$tmp/appstream.log" 2>&1 ||
        { cat "$tmp/appstream.log" >&2; fail "appstreamcli rejects the metainfo"; }
}

# Every file the install's manifest lists lies below the prefix $1 (the manifest leaves DESTDIR out).
check_contained() {
    local root=$1 line
    # The manifest's last line has no line break.
    while IFS= read -r line || [ -n "$line" ]; do
        case $line in "$root"/*) ;; *) fail "installed outside $root: $line" ;; esac
    done <"$build/install_manifest.txt"
    [ "$(grep -c '' "$build/install_manifest.txt")" -ge "${#expected[@]}" ] || fail "the manifest lists too few files"
}

# Starts the installed launcher, waits for the helper it starts and for the autostart entry it
# writes, then stops both. $1: the prefix with links resolved, as the program sees itself.
check_running() {
    local prefix=$1 helper='' entry='' main p
    local status="$prefix/lib/zorvane/Zorvane.app/Contents/Resources/ZorvaneStatus.app/Contents/bin/ZorvaneStatus"
    "$prefix/bin/zorvane" >"$tmp/zorvane.log" 2>&1 &
    main=$!
    for _ in $(seq 1 600); do
        for p in /proc/[0-9]*; do
            [ "$(readlink "$p/exe" 2>/dev/null)" = "$status" ] && helper=${p#/proc/}
        done
        entry=$(grep -l '^Name=ZorvaneHelper$' "$XDG_CONFIG_HOME"/autostart/*.desktop 2>/dev/null || true)
        [ -n "$helper" ] && [ -n "$entry" ] && break
        sleep 0.1
    done
    kill "$main" ${helper:+"$helper"} 2>/dev/null || true
    wait "$main" 2>/dev/null || true
    [ -n "$helper" ] || { cat "$tmp/zorvane.log" >&2; fail "the installed Zorvane did not start $status"; }
    [ -n "$entry" ] || fail "the installed Zorvane wrote no autostart entry for its helper"
    # Every argument is quoted in the entries Zorvane writes.
    grep -qxF "Exec=\"$status\" \"--launched-as-login-item\"" "$entry" ||
        fail "the autostart entry does not run the installed helper: $(grep '^Exec=' "$entry")"
}

# A prefix with a space, as a home folder may have one.
prefix="$tmp/in st"
cmake --install "$build" --prefix "$prefix" >"$tmp/install.log" || { cat "$tmp/install.log" >&2; fail "install"; }
check_contained "$prefix"
check_tree "$prefix" "$prefix"

# Staged through DESTDIR: files below DESTDIR, the files themselves name the bare prefix.
stage="$tmp/stage"
staged_prefix=/opt/zorvane-install-check
DESTDIR="$stage" cmake --install "$build" --prefix "$staged_prefix" >"$tmp/install.log" ||
    { cat "$tmp/install.log" >&2; fail "install with DESTDIR"; }
check_contained "$staged_prefix"
[ ! -e "$staged_prefix" ] || fail "the install with DESTDIR wrote to $staged_prefix itself"
[ -z "$(find "$stage" -mindepth 1 -path "$stage$staged_prefix" -prune -o ! -path "$stage/opt" -print)" ] ||
    fail "DESTDIR holds files outside the prefix"
check_tree "$stage$staged_prefix" "$staged_prefix"

check_running "$(readlink -f "$prefix")"
echo "install layout ok"
