#!/usr/bin/env bash
# A short game through the protocol under valgrind's memcheck: no invalid
# read or write, no use of an uninitialised value, no definite or indirect
# leak. The hash table lives until the process ends on purpose ("still
# reachable" is not counted).
#
#   valgrind_game.sh ENGINE
#
# Exit status: 0 clean, 1 errors or a failed run, 77 valgrind missing.
set -u
engine=${1:?usage: valgrind_game.sh ENGINE}
engine=$(cd "$(dirname "$engine")" && pwd)/$(basename "$engine")
command -v valgrind >/dev/null 2>&1 || { echo "SKIP: valgrind is not installed (Debian package valgrind)"; exit 77; }
work=$(mktemp -d /tmp/quillantor-valgrind-XXXXXX)
trap 'rm -rf "$work"' EXIT
printf 'hash 1024\nbook test.bk\n' > "$work/quillantor.rc"
printf ' e2e4e7e5g1f3\n' > "$work/test.bk"
{
    printf 'xboard\nnew\nst 0\ne2e4\ng1f3\nforce\n'
    for _ in 1 2 3 4 5 6 7 8; do printf 'go\nforce\n'; done
    printf 'undo\nremove\nsetboard 4k3/8/8/8/8/8/4P3/4K3 w - - 0 1\ngo\nsetboard bad\nhash\n'
    printf 'quit\n'
} > "$work/input"
(cd "$work" && valgrind --quiet --error-exitcode=3 --leak-check=full --errors-for-leak-kinds=definite,indirect \
    --log-file="$work/valgrind.log" "$engine" < input > output 2>&1)
status=$?
moves=$(grep -c '^move ' "$work/output")
if [ "$status" -ne 0 ] || [ -s "$work/valgrind.log" ]; then
    echo "FAIL: exit status $status"
    cat "$work/valgrind.log"
    tail -n 20 "$work/output"
    exit 1
fi
if [ "$moves" -lt 10 ]; then
    echo "FAIL: only $moves engine moves"
    cat "$work/output"
    exit 1
fi
echo "memcheck clean over $moves engine moves"
