#!/usr/bin/env bash
# A copy onto a file system that fills up: every run must end with "Error :
# Can't write output file." and status 2, and leave no byte of its incomplete
# copy under any name. The copies end a byte, a page, a block and more past
# the room there is, so that the write that fails may be any of a buffer's
# flushes, the last one made by the close among them; an older output with a
# second name is emptied under both.
#   tests/disk-full.sh DATA TOOL [RUNNER]
# DATA: the tests' data folder; TOOL: the program; RUNNER: what runs it (wine).
set -u

data=$1
tool=$(realpath "$2")
runner=${3:-}
if [ "$(id -u)" != 0 ]; then
    echo "SKIPPED: mounting a small file system needs root"
    exit 77
fi

work=$(mktemp -d)
room=$work/room
mkdir "$room"
cleanup() {
    umount "$room" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
# The room a copy has: a small file system of its own.
mount -t tmpfs -o size=512k tmpfs "$room" || { echo "cannot mount a small file system"; exit 1; }
ROOM=$((512 * 1024))

failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

run() {
    (cd "$work" && $runner "$tool" "$@")
}

# `source` padded with lines (text) or bytes (a project) to `length` bytes.
padded() {
    local source=$1 length=$2 out=$3
    cp "$source" "$out"
    local more=$((length - $(stat -c %s "$source")))
    case $out in
    *.aup2) yes "note=$(printf '%01000d\r' 0)" | head -c "$more" >>"$out" ;;
    *) head -c "$more" /dev/zero | tr '\0' 'k' >>"$out" ;;
    esac
    truncate -s "$length" "$out"
}

for source in "$data/real-aup/Chain.aup" "$data/real-aup2/svg-demo.aup2"; do
    kind=${source##*.}
    for switch in "" -m; do
        # How much longer the input is than its copy, measured where there
        # is room.
        padded "$source" $((ROOM * 2)) "$work/probe.$kind"
        run $switch "probe.$kind" "probe-copy.$kind" >/dev/null
        shrink=$(($(stat -c %s "$work/probe.$kind") - $(stat -c %s "$work/probe-copy.$kind")))
        for past in 1 4096 65536 200000 $((ROOM * 3)); do
            for older in none linked; do
                what="$(basename "$source") ${switch:-plain}, $past bytes past the room, older output: $older"
                padded "$source" $((ROOM + past + shrink)) "$work/in.$kind"
                rm -f "$room"/*
                if [ $older = linked ]; then
                    echo "an older output" >"$room/out.$kind"
                    ln "$room/out.$kind" "$room/other.$kind"
                fi
                run $switch "in.$kind" "room/out.$kind" >"$work/said"
                status=$?
                said=$(tr -d '\r' <"$work/said")
                [ $status = 2 ] || fail "$what: status $status"
                [ "$said" = "Error : Can't write output file." ] || fail "$what: said '$said'"
                left=$(ls "$room")
                expected=""
                [ $older = linked ] && expected="other.$kind"
                [ "$left" = "$expected" ] || fail "$what: left '$left'"
                if [ $older = linked ] && [ -s "$room/other.$kind" ]; then
                    fail "$what: the other name holds $(stat -c %s "$room/other.$kind") bytes"
                fi
            done
        done
    done
done
[ $failures = 0 ] && echo "every copy that did not fit was reported and removed"
exit $((failures > 0))
