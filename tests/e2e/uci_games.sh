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
#   fast    Quillantor - fairymax, 2 games, colours alternating, 3 s + 0.1 s/move
# polyglot passes whole-second increments only, so the engine is told no
# increment at all; and xboard with polyglot loses some 50 to 100 ms a move
# that no engine sees (at 1 s a game both sides lost on time in trials). The
# clock at 1 s + 0.01 s is measured without the GUI by the UciSlow tests.
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

run_match fast 2 150 "$engine" "$FAIRYMAX" "${uci[@]}" -tc 0:03 -inc 0.1 \
    -adjudicateLossThreshold -900 -adjudicateDrawMoves 100
check_match fast "score long" || fails=$((fails + 1))

run_match inc 2 200 "$engine" "$OPPONENT" "${uci[@]}" -tc 0:10 -inc 0.1 \
    -adjudicateLossThreshold -900 -adjudicateDrawMoves 100
check_match inc "score long" || fails=$((fails + 1))

# polyglot keeps a log of this match: what it told the engine.
mkdir -p "$WORK/ponder"
run_match ponder 1 120 "$engine" "$FAIRYMAX" -fUCI -ponder -tc 0:05 -inc 0.1 \
    -adapterCommand "$POLYGLOT -noini -log true -lf $WORK/ponder/polyglot.log -ec \"%fcp\" -ed \"%fd\"" \
    -adjudicateLossThreshold -900 -adjudicateDrawMoves 100
check_match ponder "score long" || fails=$((fails + 1))
# Pondering must really have happened: "go ponder", answered by "ponderhit"
# when the opponent played the expected move.
ponders=$(grep -a -c -E 'Adapter->Engine: go .*ponder' "$WORK/ponder/polyglot.log" 2>/dev/null)
hits=$(grep -a -c -E 'Adapter->Engine: ponderhit' "$WORK/ponder/polyglot.log" 2>/dev/null)
echo "ponder: ${ponders:-0} ponder searches, ${hits:-0} ponderhits"
if [ "${ponders:-0}" -eq 0 ] || [ "${hits:-0}" -eq 0 ]; then
    echo "FAIL [ponder] the engine was not made to ponder, or never had a ponderhit"
    fails=$((fails + 1))
fi

print_summary
for m in fast inc ponder; do printf '%s %ss  ' "$m" "$(cat "$WORK/$m/secs")"; done
echo
echo "total time: $(( $(date +%s) - START )) s"
if [ "$fails" -ne 0 ]; then echo "FAILED: $fails of 3 matches had bad games"; exit 1; fi
echo "PASSED: every game ended by the rules"
