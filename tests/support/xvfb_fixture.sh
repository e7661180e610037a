#!/bin/sh
# Starts or stops one Xvfb server shared by the tests that need a display.
#   xvfb_fixture.sh start STATEFILE   writes ":N PID" to STATEFILE
#   xvfb_fixture.sh stop STATEFILE
# Xvfb picks a free display number itself (-displayfd), so test runs in
# parallel checkouts do not collide.
set -eu
action=$1
state=$2
case "$action" in
start)
    rm -f "$state"
    numfile=$(mktemp)
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$numfile" >/dev/null 2>&1 &
    pid=$!
    i=0
    while [ ! -s "$numfile" ]; do
        i=$((i + 1))
        if [ "$i" -gt 100 ] || ! kill -0 "$pid" 2>/dev/null; then
            echo "xvfb_fixture: Xvfb did not start" >&2
            rm -f "$numfile"
            exit 1
        fi
        sleep 0.1
    done
    echo ":$(tr -d '\n' <"$numfile") $pid" >"$state"
    rm -f "$numfile"
    echo "xvfb_fixture: display $(cut -d' ' -f1 "$state")"
    ;;
stop)
    if [ -f "$state" ]; then
        kill "$(cut -d' ' -f2 "$state")" 2>/dev/null || true
        rm -f "$state"
    fi
    ;;
*)
    echo "usage: xvfb_fixture.sh start|stop STATEFILE" >&2
    exit 2
    ;;
esac
