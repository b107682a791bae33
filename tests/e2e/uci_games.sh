#!/usr/bin/env bash
# End-to-end games in the UCI mode: xboard drives Quillantor through Debian's
# polyglot adapter (xboard speaks XBoard, polyglot turns it into UCI), on a
# virtual X server, and every saved game is checked to have ended by the
# rules, with the checks of xboard_games.sh.
#
#   uci_games.sh ENGINE [SCRATCH_DIR]
#
# E2E_KEEP=1 keeps the scratch directory (PGNs, xboard debug logs).
# Exit status: 0 every game is good, 1 a bad game or a run that went wrong,
# 2 usage error, 77 a program the games need is missing (CTest: skipped).
#
# The games (about 3 minutes on two cores):
#   fast    Quillantor - fairymax, 2 games, colours alternating, 1 s + 0.01 s/move
#   inc     Quillantor - phalanx, 2 games, colours alternating, 10 s + 0.1 s/move
#   ponder  Quillantor - fairymax, 1 game, 5 s + 0.1 s/move, both sides
#           pondering: polyglot sends "go ponder", then "ponderhit" or "stop"
# Adjudications as in xboard_games.sh: 9 pawns down for 6 plies loses, a
# game still going after 100 moves is drawn.

set -u
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=xboard_games.sh
source "$here/xboard_games.sh"

engine=${1:?usage: uci_games.sh ENGINE [SCRATCH_DIR]}
case $engine in /*) ;; *) engine="$(pwd)/$engine" ;; esac
[ -x "$engine" ] || { echo "error: $engine is not an executable engine"; exit 2; }
case $engine in *[[:space:]]*) echo "error: engine path with blanks: $engine"; exit 2 ;; esac

setup "${2:-}"
POLYGLOT=$(find_prog polyglot) || { echo "SKIP: polyglot not installed (Debian package polyglot)"; exit 77; }
FAIRYMAX=$(find_prog fairymax) || FAIRYMAX=""
if [ -z "$FAIRYMAX" ]; then
    echo "note: fairymax missing (Debian package fairymax), phalanx plays the fast games"
    FAIRYMAX=$OPPONENT
fi
echo "UCI games through $POLYGLOT: engine $engine, scratch $WORK"

# The first engine is a UCI engine: xboard starts it through polyglot, which
# runs it in the engine directory (where run_match leaves its quillantor.rc).
uci=(-fUCI -adapterCommand "$POLYGLOT -noini -ec \"%fcp\" -ed \"%fd\"")
fails=0

run_match fast 2 120 "$engine" "$FAIRYMAX" "${uci[@]}" -tc 0:01 -inc 0.01 \
    -adjudicateLossThreshold -900 -adjudicateDrawMoves 100
check_match fast "score long" || fails=$((fails + 1))

run_match inc 2 200 "$engine" "$OPPONENT" "${uci[@]}" -tc 0:10 -inc 0.1 \
    -adjudicateLossThreshold -900 -adjudicateDrawMoves 100
check_match inc "score long" || fails=$((fails + 1))

run_match ponder 1 120 "$engine" "$FAIRYMAX" "${uci[@]}" -ponder -tc 0:05 -inc 0.1 \
    -adjudicateLossThreshold -900 -adjudicateDrawMoves 100
check_match ponder "score long" || fails=$((fails + 1))
# Pondering must really have happened: polyglot told the engine "ponderhit"
# or "stop" after a "go ponder" (polyglot's own log is off; xboard's shows
# its "hard" and the engine's thinking during the opponent's time).
if ! grep -a -q -E '^[0-9]+ >first : hard$' "$WORK/ponder/debug.txt"; then
    echo "FAIL [ponder] xboard never switched pondering on"
    fails=$((fails + 1))
fi

print_summary
for m in fast inc ponder; do printf '%s %ss  ' "$m" "$(cat "$WORK/$m/secs")"; done
echo
echo "total time: $(( $(date +%s) - START )) s"
if [ "$fails" -ne 0 ]; then echo "FAILED: $fails of 3 matches had bad games"; exit 1; fi
echo "PASSED: every game ended by the rules"
