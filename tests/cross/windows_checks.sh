#!/usr/bin/env bash
# Checks the Windows console program under wine: perft over the perft suite
# at small depths, the bench signature of Windows builds, and one protocol
# transcript (xboard, a move, the engine's answer), and a UCI session whose
# "stop" and "isready" must be read while the engine searches.
#
#   windows_checks.sh WIN32_EXE [WIN64_EXE]
#
# The 32-bit program is the one shipped and is checked wherever wine can run
# it. A kernel without 32-bit support cannot (wine32 needs it, and emulating
# it with qemu does not carry wine); the same source built for x86-64 is then
# checked instead, and the script says so. Both share the platform code (the
# file-time clock, the memory query, the text-mode console, the threads of
# the UCI mode) and the 15-bit
# rand() of the Windows C runtime, hence one signature for both.
set -u
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
absolute() { [ -n "$1" ] && echo "$(cd "$(dirname "$1")" && pwd)/$(basename "$1")"; }
win32=$(absolute "${1:?usage: windows_checks.sh WIN32_EXE [WIN64_EXE]}")
win64=$(absolute "${2:-}")
export WINEDEBUG=-all
export WINEPREFIX=${WINEPREFIX:-$HOME/.wine-quillantor}
failures=0

work=$(mktemp -d /tmp/quillantor-wine-XXXXXX)
cleanup() {
    wineserver -k >/dev/null 2>&1
    rm -rf "$work"
}
trap cleanup EXIT

fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

# The loaders: Debian's wine script starts the 32-bit one whenever wine32 is
# installed, so the 64-bit program is started through its own loader.
wine32=/usr/lib/wine/wine
wine64=/usr/lib/wine/wine64
loader=$wine64
[ -x "$loader" ] || loader=$(command -v wine)

# Runs the program with arguments in the scratch folder, without the CRs of
# the Windows console; standard input comes from the caller.
run() {
    local exe=$1
    shift
    (cd "$work" && WINELOADER=$loader timeout 300 "$loader" "$exe" "$@" 2>/dev/null | tr -d '\r')
}

# The first start builds the wine prefix, which takes a while; a persistent
# server then makes every later start quick.
WINELOADER=$loader "$loader" wineboot --init >/dev/null 2>&1
wineserver -p >/dev/null 2>&1

exe=
runs32() {
    [ -x "$wine32" ] || return 1
    local nodes
    nodes=$(cd "$work" && timeout 120 "$wine32" "$win32" perft 1 </dev/null 2>/dev/null | tr -d '\r' | grep '^Nodes: ')
    [ "$nodes" = "Nodes: 20" ]
}
if [ -n "$win32" ] && runs32; then
    exe=$win32
    loader=$wine32
    echo "checking the 32-bit Windows program $win32"
elif [ -n "$win64" ]; then
    exe=$win64
    echo "wine cannot run the 32-bit program on this machine (no 32-bit support in the kernel):"
    echo "checking the x86-64 build of the same source, $win64"
else
    echo "FAIL: wine cannot run $win32 and no x86-64 build was given"
    exit 1
fi

# Perft: every position of the suite at each depth whose count stays small.
positions=0
while IFS= read -r line; do
    [ -z "$line" ] && continue
    fen=${line%% ;*}
    rest=" ;${line#* ;}"
    for depth in 1 2 3 4; do
        expected=$(printf '%s\n' "$rest" | grep -o ";D$depth [0-9]*" | awk '{print $2}')
        [ -z "$expected" ] && continue
        [ "$expected" -gt 200000 ] && continue
        got=$(run "$exe" perft "$depth" $fen </dev/null | grep '^Nodes: ' | awk '{print $2}')
        [ "$got" = "$expected" ] || fail "perft $depth of $fen: $got, expected $expected"
    done
    positions=$((positions + 1))
done < "$root/tests/data/perft.epd"
echo "perft: $positions positions checked"

# Bench: the Windows signature at the shallow depth.
depth=5
expected=$(awk -v d=$depth '$1 == "windows" && $2 == d {print $3}' "$root/tests/bench.ref")
got=$(run "$exe" bench $depth </dev/null | grep '^Nodes searched: ' | awk '{print $3}')
if [ -z "$expected" ]; then
    fail "tests/bench.ref has no Windows signature for depth $depth"
elif [ "$got" != "$expected" ]; then
    fail "bench $depth: $got, expected $expected"
else
    echo "bench $depth: $got"
fi

# Protocol: the feature lines, a book answer to e2e4, then a searched answer
# to g1f3 that must be one of Black's legal moves there.
printf 'hash 1024\nbook test.bk\n' > "$work/quillantor.rc"
printf ' e2e4e7e5\n' > "$work/test.bk"
out=$(printf 'xboard\nnew\nst 0\ne2e4\ng1f3\nquit\n' | run "$exe")
# What follows the echo of the configuration, up to the book's move.
head=$(printf '%s\n' "$out" | sed -n '/^\tBook file\t= test.bk$/,$p' | sed -n '2,7p')
expected=$(printf '\nfeature done=0\nfeature setboard=1 time=1 analyze=0 myname="Quillantor 0.3"\nfeature done=1\n0 0 0 0 e7e5 (Book)\nmove e7e5')
[ "$head" = "$expected" ] || fail "transcript differs: $out"
answer=$(printf '%s\n' "$out" | grep '^move ' | sed -n 2p | awk '{print $2}')
legal=$(run "$exe" perft 1 rnbqkbnr/pppp1ppp/8/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R b KQkq - 1 2 </dev/null |
    grep -v '^Nodes\|^Time\|^NPS' | cut -d: -f1)
if [ -n "$answer" ] && printf '%s\n' "$legal" | grep -qx "$answer"; then
    echo "protocol: book move e7e5, then searched $answer"
else
    fail "the searched answer '$answer' is not a legal move after e2e4 e7e5 g1f3"
fi

# UCI: the handshake, a search to a fixed depth (the search tool's nodes
# at that depth), then "go infinite" that only a "stop" read during the
# search can end, with an "isready" answered before it. The input is fed
# slowly through a pipe so the search is running when they arrive.
# The search tool ignores the configuration file: without it the session's
# table has the tool's default size.
rm -f "$work/quillantor.rc"
after='rnbqkbnr/pppp1ppp/8/4p3/4P3/8/PPPP1PPP/RNBQKBNR w KQkq e6 0 2'
uci=$( { printf 'uci\nisready\nposition fen %s\ngo depth 5\n' "$after"; sleep 3
         printf 'position startpos\ngo infinite\n'; sleep 2; printf 'isready\n'; sleep 1
         printf 'stop\n'; sleep 1; printf 'quit\n'; } | run "$exe")
tool=$(run "$exe" search 5 $after </dev/null |
    awk '$NF !~ /!$/ && $1 == 5 {print $4}')
depth5=$(printf '%s\n' "$uci" | awk '$1 == "info" && $3 == 5 {for (i = 1; i < NF; i++) if ($i == "nodes") print $(i + 1)}' | head -n 1)
order=$(printf '%s\n' "$uci" | grep -E '^(id name|uciok|readyok|bestmove)' | sed 's/^bestmove .*/bestmove/' | tr '\n' ' ')
if [ "$order" != "id name Quillantor 0.3 uciok readyok bestmove readyok bestmove " ]; then
    fail "UCI session out of order: $order"
    printf '%s\n' "$uci" | tail -n 15
elif [ -z "$depth5" ] || [ "$depth5" != "$tool" ]; then
    fail "UCI go depth 5 searched '$depth5' nodes, the search tool '$tool'"
else
    echo "UCI: handshake, go depth 5 ($depth5 nodes, as the search tool), isready and stop during go infinite"
fi

# Endgame tables: the prober compiled from Debian's source package reads
# the test tables (a folder given the Windows way), and a folder with a
# table cut short is left out whole, said, with no crash. A build made
# without the prober's source says so instead.
# wine's drive Z: is the root of the file system.
windowsPath() { printf 'Z:%s' "$1" | tr '/' '\\'; }
tables=$(windowsPath "$root/tests/data/syzygy")
probe=$(run "$exe" tb probe 8/8/8/8/4k3/8/1Q6/K7 b - - 0 1 --path "$tables" </dev/null)
if printf '%s\n' "$probe" | grep -q 'no tablebase support in this build'; then
    echo "tables: this Windows build has no tablebase support (no prober source)"
else
    expected=$(printf 'WDL: Loss\nDTZ: -20\nwinning: (none)\ndrawing: (none)\nlosing: Kd3 Ke3 Kf3 Kf4 Kd5 Kf5')
    got=$(printf '%s\n' "$probe" | sed -n '3,7p')
    [ "$got" = "$expected" ] || fail "tb probe of KQvK: $probe"
    mkdir -p "$work/damaged"
    cp "$root/tests/data/syzygy/KQvK.rtbw" "$root/tests/data/syzygy/KQvK.rtbz" "$work/damaged/"
    head -c 8208 "$root/tests/data/syzygy/KQvKR.rtbw" > "$work/damaged/KQvKR.rtbw"
    damaged=$( (cd "$work" && WINELOADER=$loader timeout 300 "$loader" "$exe" tb probe \
        8/8/8/8/4k3/8/1Q6/K7 b - - 0 1 --path "$(windowsPath "$work/damaged")" </dev/null 2>&1 >/dev/null; \
        echo "status $?") | tr -d '\r')
    case "$damaged" in
    *"KQvKR.rtbw: truncated"*"left out on Windows"*"status 2") echo "tables: KQvK probed, a damaged folder left out" ;;
    *) fail "tb probe with a truncated table: $damaged" ;;
    esac
fi

if [ "$failures" -ne 0 ]; then
    echo "$failures Windows check(s) failed"
    exit 1
fi
echo "Windows checks passed"
