# Sourced first by the tests that read the program through AT-SPI: runs the test again on a
# D-Bus session bus of its own, or skips it where there is none.
if [ -z "${ORVIK_E2E_BUS:-}" ]; then
    command -v dbus-run-session >/dev/null && /usr/bin/python3 -c 'import pyatspi' 2>/dev/null ||
        { echo "SKIP: needs dbus-run-session and python3-pyatspi"; exit 77; }
    ORVIK_E2E_BUS=1 exec dbus-run-session -- bash "$0" "$@"
fi
export QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1
