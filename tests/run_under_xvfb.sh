#!/bin/sh
# Runs a Windows test program under Wine on a private virtual X display.
# Wine's processes share one wineserver per prefix, and its desktop takes the
# display of the process that started it, so wait for any server of another
# test to go first, and for ours to go before the display does. Without a
# window manager Wine draws the window frames itself only for unmanaged
# windows, so the screenshots show captions.
set -u
wineserver -w 2>/dev/null
exec xvfb-run -a -s "-screen 0 1280x1024x24" sh -c '
    wine reg add "HKCU\\Software\\Wine\\X11 Driver" /v Managed /d N /f >/dev/null 2>&1
    wine "$@"; rc=$?
    wineserver -w 2>/dev/null
    exit $rc' sh "$@"
