#!/bin/sh
# A session for driving SETUP.EXE under Wine on a virtual display: Xvfb on a free display number
# and a Wine prefix that draws its own window frames (there is no window manager), both kept in a
# state folder.
#   e2e_session.sh start STATE [keep]   starts Xvfb and makes a fresh prefix (with "keep": reuses
#                                       a prefix made before)
#   e2e_session.sh run STATE DRIVER SCENARIO DISTRIBUTION PRODUCT [DRIVER OPTIONS...]
#                                       runs one scenario of the driver in C:\E2E\SCENARIO
#   e2e_session.sh stop STATE           ends the prefix's Wine processes and Xvfb
set -eu
command=${1:?command: start, run or stop}
state=${2:?state folder}
mkdir -p "$state"
state=$(cd "$state" && pwd)

export WINEPREFIX="$state/wineprefix"
export WINEDEBUG=-all
# No Mono or Gecko installers; no menu builder, which reads the icons of new shortcuts while a
# next run may be replacing them.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
export LC_ALL=C.UTF-8 # a Western locale: Windows code page 1252

stop_session() {
    if [ -d "$WINEPREFIX" ]; then wineserver -k 2>/dev/null || true; fi
    if [ -f "$state/xvfb.pid" ]; then
        kill "$(cat "$state/xvfb.pid")" 2>/dev/null || true
        rm -f "$state/xvfb.pid"
    fi
    rm -f "$state/display"
}

# Windows' view of a host path (drive Z: is the host's root).
windows_path() {
    printf 'Z:%s' "$1" | tr / '\\'
}

case $command in
start)
    stop_session # what an interrupted run left behind
    # -displayfd picks a free display number and writes it once the server listens.
    : >"$state/display"
    setsid Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$state/display" \
        >"$state/xvfb.log" 2>&1 </dev/null &
    echo $! >"$state/xvfb.pid"
    tries=0
    while [ ! -s "$state/display" ]; do
        tries=$((tries + 1))
        if [ $tries -gt 200 ] || ! kill -0 "$(cat "$state/xvfb.pid")" 2>/dev/null; then
            echo "e2e_session: Xvfb did not start:" >&2
            cat "$state/xvfb.log" >&2
            stop_session
            exit 1
        fi
        sleep 0.1
    done
    export DISPLAY=":$(tr -d '\n' <"$state/display")"
    fresh=no
    if [ "${3:-}" != keep ] || [ ! -f "$state/wineprefix.ready" ]; then
        rm -rf "$WINEPREFIX" "$state/wineprefix.ready"
        mkdir -p "$WINEPREFIX"
        fresh=yes
    fi
    # The server stays between the scenarios and ends a minute after the last one.
    wineserver -p60 </dev/null >/dev/null 2>&1 || true
    if [ $fresh = yes ]; then
        wine wineboot -i >/dev/null 2>&1 || true
        # No window manager on the display: Wine draws the frames and captions itself. The
        # fonts of Debian's fonts-wine (MS Sans Serif, Marlett for the caption buttons).
        cat >"$state/session.reg" <<'EOF'
REGEDIT4

[HKEY_CURRENT_USER\Software\Wine\X11 Driver]
"Managed"="N"

[HKEY_CURRENT_USER\Software\Wine\Fonts]
"Path"="Z:\\usr\\share\\wine\\fonts"
EOF
        wine regedit /S "$(windows_path "$state/session.reg")" >/dev/null 2>&1
        touch "$state/wineprefix.ready"
    fi
    echo "e2e_session: display $DISPLAY, prefix $WINEPREFIX"
    ;;
run)
    driver=${3:?driver} scenario=${4:?scenario} distribution=${5:?distribution}
    product=${6:?product}
    shift 6
    if [ ! -s "$state/display" ]; then
        echo "e2e_session: no session in $state (run: e2e_session.sh start $state)" >&2
        exit 1
    fi
    export DISPLAY=":$(tr -d '\n' <"$state/display")"
    exec wine "$driver" "$scenario" --distribution "$(windows_path "$distribution")" \
        --product "$(windows_path "$product")" --work "C:\\E2E\\$scenario" "$@"
    ;;
stop)
    stop_session
    ;;
*)
    echo "e2e_session: unknown command $command" >&2
    exit 2
    ;;
esac
