#!/usr/bin/env bash
# Runs one test program in a session of its own: a temporary home with its own XDG folders,
# a private D-Bus session bus and gnome-keyring's Secret Service unlocked on it, and the
# offscreen Qt platform. Nothing touches the real user's session or files.
set -u
if [ $# -lt 1 ]; then
    echo "usage: $0 PROGRAM [ARGS...]" >&2
    exit 2
fi

if [ -z "${ZV_IN_SESSION:-}" ]; then
    root=$(mktemp -d "${TMPDIR:-/tmp}/zv-test.XXXXXX")
    mkdir -p "$root/home/.config" "$root/home/.local/share" "$root/home/.cache" "$root/run"
    chmod 700 "$root/run"
    cleanup() {
        # Unmount whatever a test left mounted below the temporary home before removing it,
        # so removal never reaches into a mounted vault or share.
        grep -F " $root/" /proc/self/mountinfo | awk '{print $5}' | sort -r | while read -r mp; do
            fusermount3 -u -z "$mp" 2>/dev/null || umount -l "$mp" 2>/dev/null
        done
        rm -rf --one-file-system "$root"
    }
    trap cleanup EXIT
    export HOME="$root/home"
    export XDG_CONFIG_HOME="$HOME/.config" XDG_DATA_HOME="$HOME/.local/share" XDG_CACHE_HOME="$HOME/.cache"
    export XDG_RUNTIME_DIR="$root/run"
    export QT_QPA_PLATFORM=offscreen
    export ZV_IN_SESSION=1
    unset DBUS_SESSION_BUS_ADDRESS DISPLAY WAYLAND_DISPLAY GNOME_KEYRING_CONTROL
    dbus-run-session -- "$0" "$@"
    exit $?
fi

# Inside the private bus: gnome-keyring needs a non-empty password on standard input to
# create and unlock the login keyring without a graphical prompter.
eval "$(printf 'zorvane-test' | gnome-keyring-daemon --unlock --components=secrets 2>/dev/null)"
export GNOME_KEYRING_CONTROL
exec "$@"
