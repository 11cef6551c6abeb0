#!/usr/bin/env bash
# A run in a terminal of its own, which under Wine is a console opened for it
# alone, as Explorer opens one: when it has printed a line, it then says
# "Press Enter to close." and waits for Enter; when it has printed nothing,
# or its output is redirected, it ends at once. On Linux a terminal is no
# window of its own, and a run never waits.
#   tests/console-pause.sh TOOL [RUNNER]
# TOOL: the program; RUNNER: what runs it (wine).
set -u

tool=$(realpath "$1")
runner=${2:-}
command -v script >/dev/null || { echo "SKIPPED: no script command"; exit 77; }
waits=$([ "$runner" = wine ] && echo yes || echo no)

work=$(mktemp -d)
trap 'kill %1 2>/dev/null; rm -rf "$work"' EXIT
cd "$work" || exit 1
printf 'a file of no kind Kestravin knows, long enough to have a header\n%.0s' {1..8} >a.aup

failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

# What the terminal showed, without its cursor moves.
shown() {
    sed 's/\x1b\[[0-9;?]*[a-zA-Z]//g' "$1" | tr -d '\r'
}

# Runs `command` in a terminal of its own; when `expected` says it waits,
# presses Enter once the prompt shows. Its status, or 124 when it hung.
run_in_terminal() { # EXPECTED COMMAND
    local expected=$1 command=$2
    rm -f keys shown.txt
    mkfifo keys
    script -qec "$command" /dev/null <keys >shown.txt &
    exec 3>keys
    local tries=0
    while kill -0 $! 2>/dev/null && [ $tries -lt 300 ]; do
        if [ "$expected" = yes ] && shown shown.txt | grep -q Enter; then
            sleep 0.5
            printf '\r' >&3
            expected=pressed
        fi
        sleep 0.1
        tries=$((tries + 1))
    done
    exec 3>&-
    if kill -0 $! 2>/dev/null; then
        kill $!
        return 124
    fi
    wait $!
}

# A message printed: it waits under Wine, and ends with the run's status.
# The console shows every character of the name it gives (Wine shows a
# character past the first 65,536 as two halves it cannot show).
name="missing-é日.aup" # neither in the Western code page Wine starts with
run_in_terminal $waits "$runner '$tool' -i '$name' other.aup"
status=$?
[ $status = 1 ] || fail "a run with messages ended with status $status"
shown shown.txt | grep -qF "$name" || fail "a run's message did not show $name"
if shown shown.txt | grep -q "Enter"; then
    [ $waits = yes ] || fail "a run on Linux asked for Enter"
else
    [ $waits = no ] || fail "a run with messages in a console of its own did not wait"
fi

# Nothing printed: it ends at once.
run_in_terminal no "$runner '$tool' a.aup b.aup"
status=$?
[ $status = 0 ] || fail "a run that printed nothing ended with status $status"
shown shown.txt | grep -q "Enter" && fail "a run that printed nothing asked for Enter"

# Its output redirected: it never waits.
run_in_terminal no "$runner '$tool' -i missing.aup >said.txt"
status=$?
[ $status = 1 ] || fail "a run with its output redirected ended with status $status"
grep -q "Enter" said.txt && fail "a run with its output redirected asked for Enter"

[ $failures = 0 ] && echo "a console of its own waits for Enter after a message, and only then"
exit $((failures > 0))
