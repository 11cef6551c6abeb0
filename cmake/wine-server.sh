#!/bin/sh
# Keeps one Wine server running through a whole test run, so that each Windows
# program starts in a fraction of a second instead of seconds.
#   wine-server.sh start | stop
# WINEPREFIX and WINEDEBUG come from the test's environment.
set -eu

case "${1:-}" in
start)
    mkdir -p "$WINEPREFIX"
    # The server and the services that Wine's first run starts outlive this
    # script, and inherit its output: sent nowhere, nothing that reads that
    # output to its end (the test runner, a pipe, a capture) waits for them.
    wineserver -p </dev/null >/dev/null 2>&1
    wine cmd /c exit </dev/null >/dev/null 2>&1
    ;;
stop)
    wineserver -k
    ;;
*)
    echo "usage: wine-server.sh start | stop" >&2
    exit 64
    ;;
esac
