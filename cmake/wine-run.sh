#!/bin/sh
# Runs a cross-compiled Windows program under Wine with a private, quiet prefix in the build tree.
# The prefix is created once (wineboot -i); a lock keeps tests started together from racing.
# It uses Wine's null graphics driver: windows, dialogs and drawing work without any display.
set -e
if [ -n "$QEL_WINEPREFIX" ]; then
    WINEPREFIX=$QEL_WINEPREFIX
else
    # ctest runs each test inside the build tree: use the tree's top (where CMakeCache.txt is).
    top=$(pwd)
    while [ ! -f "$top/CMakeCache.txt" ] && [ "$top" != / ]; do top=$(dirname "$top"); done
    [ "$top" = / ] && top=${TMPDIR:-/tmp}/qel-wine
    WINEPREFIX=$top/wineprefix
fi
export WINEPREFIX
export WINEDEBUG=-all
# No Mono or Gecko installers, no display: the tests are console programs.
export WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY
stamp=$WINEPREFIX.ready-null-display
if [ ! -f "$stamp" ]; then
    mkdir -p "$(dirname "$WINEPREFIX")"
    (
        flock 9
        if [ ! -f "$stamp" ]; then
            wine wineboot -i >/dev/null 2>&1 || true
            wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1 || true
            wineserver -w 2>/dev/null || true
            touch "$stamp"
        fi
    ) 9>"$WINEPREFIX.lock"
fi
exec wine "$@"
