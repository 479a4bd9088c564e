#!/usr/bin/env bash
# Builds the Debian package from the build folder with scripts/package and checks what a user
# installing it gets: the file name, files only below /usr and free of build paths, stripped
# programs, the dependencies, and a valid menu entry and metainfo that name /usr.
#   check-package.sh BUILD-FOLDER VERSION
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
build=$(cd "${1:?usage: $0 BUILD-FOLDER VERSION}" && pwd)
version=${2:?usage: $0 BUILD-FOLDER VERSION}
source_dir=$(cd "$here/.." && pwd)

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

tmp=$(mktemp -d "${TMPDIR:-/tmp}/zv-package.XXXXXX")
trap 'rm -rf "$tmp"' EXIT

deb=$(ZV_BUILD_DIR="$build" "$source_dir/scripts/package" --no-build "$tmp/out")
[ "$(basename "$deb")" = "zorvane_${version}_$(dpkg --print-architecture).deb" ] || fail "package named $(basename "$deb")"

# Files: only below /usr, the programs stripped, no path of this machine's build inside.
dpkg-deb -c "$deb" | awk '{ print $6 }' >"$tmp/files"
outside=$(grep -vE '^\./(usr/.*)?$' "$tmp/files" || true)
[ -z "$outside" ] || fail "files outside /usr: $outside"
for f in usr/bin/zorvane usr/lib/zorvane/Zorvane.app/Contents/bin/Zorvane \
    usr/lib/zorvane/Zorvane.app/Contents/bin/hdiutil usr/lib/zorvane/Zorvane.app/Contents/Resources/data.xml \
    usr/lib/zorvane/Zorvane.app/Contents/Resources/ZorvaneStatus.app/Contents/bin/ZorvaneStatus \
    usr/lib/zorvane/Zorvane.app/Contents/Resources/ZorvaneUninstaller.app/Contents/bin/ZorvaneUninstaller \
    usr/share/applications/zorvane.desktop usr/share/icons/hicolor/scalable/apps/zorvane.svg \
    usr/share/icons/hicolor/48x48/apps/zorvane.png usr/share/icons/hicolor/128x128/apps/zorvane.png \
    usr/share/metainfo/com.tarnwick.Zorvane.metainfo.xml; do
    grep -qxF "./$f" "$tmp/files" || fail "$f is not in the package"
done
dpkg-deb -x "$deb" "$tmp/root"
leaks=$(grep -rlaF -e "$build" -e "$source_dir" -e _CPack_Packages "$tmp/root" || true)
[ -z "$leaks" ] || fail "build paths inside: $leaks"
unstripped=$(find "$tmp/root" -type f -perm -u+x -exec file {} + | grep 'ELF' | grep -v ', stripped' || true)
[ -z "$unstripped" ] || fail "programs not stripped: $unstripped"

# Dependencies: the libraries found by shlibdeps and what the programs run.
depends=$(dpkg-deb -f "$deb" Depends)
for wanted in 'libc6' 'libqt6widgets6' 'libsecret-1-0' 'gocryptfs' 'fuse3' \
    'gnome-keyring | kwalletmanager | keepassxc'; do
    case ", $depends," in
    *", $wanted"[,\ ]*) ;;
    *) fail "Depends lacks $wanted: $depends" ;;
    esac
done
[ "$(dpkg-deb -f "$deb" Recommends)" = "notification-daemon" ] || fail "Recommends: $(dpkg-deb -f "$deb" Recommends)"

desktop-file-validate "$tmp/root/usr/share/applications/zorvane.desktop" || fail "desktop-file-validate"
grep -qx 'Exec=/usr/bin/zorvane' "$tmp/root/usr/share/applications/zorvane.desktop" || fail "menu entry's Exec"
appstreamcli validate --no-net "$tmp/root/usr/share/metainfo/com.tarnwick.Zorvane.metainfo.xml" >"$tmp/as.log" 2>&1 ||
    { cat "$tmp/as.log" >&2; fail "appstreamcli validate"; }
echo "package ok: $(basename "$deb")"
