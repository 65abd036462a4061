#!/bin/sh
# Runs a test in a D-Bus session of its own with a GNOME keyring in a
# temporary home, so the test never sees the user's keyring.
#   run-with-keyring.sh unlocked|locked <test executable> [args...]
# Without dbus-run-session or gnome-keyring-daemon the test runs as it is
# and skips what needs the keyring.
mode="$1"
shift
if ! command -v dbus-run-session >/dev/null 2>&1 || ! command -v gnome-keyring-daemon >/dev/null 2>&1; then
  exec "$@"
fi
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT INT TERM
mkdir -p "$home/.local/share" "$home/run"
chmod 700 "$home/run"
export HOME="$home" XDG_DATA_HOME="$home/.local/share" XDG_RUNTIME_DIR="$home/run" LUMORA_KEYRING_HOME="$home"
if [ "$mode" = unlocked ]; then
  start='printf pw | gnome-keyring-daemon --unlock --components=secrets >/dev/null 2>&1'
else
  start='gnome-keyring-daemon --start --components=secrets >/dev/null 2>&1'
fi
# A daemon that cannot start turns the mode into "failed": the test then
# skips the round trip and says why.
LUMORA_TEST_KEYRING="$mode" dbus-run-session -- sh -c \
  "if ! $start; then LUMORA_TEST_KEYRING=failed; fi; \"\$@\"" keyring "$@"
