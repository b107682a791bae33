#!/usr/bin/env bash
# End-to-end Chess960 games: xboard in its fischerandom variant drives
# Quillantor through Debian's polyglot adapter, which switches the engine's
# UCI_Chess960 on and passes castling as the king taking its own rook; the
# opponent is Debian's stockfish, through polyglot too, held to its lowest
# UCI_Elo so that the games last. Every saved game is checked with the
# checks of xboard_games.sh: no illegal move, no crash, no loss on time.
#
#   chess960_games.sh ENGINE [SCRATCH_DIR]
#
# E2E_KEEP=1 keeps the scratch directory (PGNs, xboard and polyglot logs).
# Exit status: 0 every game is good, 1 a bad game or a run that went wrong,
# 2 usage error, 77 a program the games need is missing (CTest: skipped).
#
# The games (about 2 minutes on two cores):
#   frc   Quillantor - stockfish, 3 games, colours alternating, 5 s + 0.1 s/move,
#         each from a start position xboard shuffles anew
# Adjudications as in xboard_games.sh: 9 pawns down for 6 plies loses, a
# game still going after 80 moves is drawn.
# Beyond the games: polyglot's log must show UCI_Chess960 switched on and
# no move or position the engine refused; the castlings played are counted.

set -u
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=xboard_games.sh
source "$here/xboard_games.sh"

engine=${1:?usage: chess960_games.sh ENGINE [SCRATCH_DIR]}
case $engine in /*) ;; *) engine="$(pwd)/$engine" ;; esac
[ -x "$engine" ] || { echo "error: $engine is not an executable engine"; exit 2; }
case $engine in *[[:space:]]*) echo "error: engine path with blanks: $engine"; exit 2 ;; esac

setup "${2:-}"
POLYGLOT=$(find_prog polyglot) || { echo "SKIP: polyglot not installed (Debian package polyglot)"; exit 77; }
STOCKFISH=$(find_prog stockfish) || { echo "SKIP: stockfish not installed (Debian package stockfish)"; exit 77; }
echo "Chess960 games through $POLYGLOT: engine $engine against $STOCKFISH, scratch $WORK"

# Both engines speak UCI: xboard starts each through polyglot, in its own
# directory (%fd is the first engine's for the first, the second's for the
# second), where polyglot keeps its log.
fails=0
run_match frc 3 240 "$engine" "$STOCKFISH" -variant fischerandom -fUCI -sUCI \
    -adapterCommand "$POLYGLOT -noini -log true -lf \"%fd/polyglot.log\" -ec \"%fcp\" -ed \"%fd\"" \
    -secondOptions "UCI_LimitStrength=1,UCI_Elo=1350" \
    -tc 0:05 -inc 0.1 -adjudicateLossThreshold -900 -adjudicateDrawMoves 80
check_match frc "score long" || fails=$((fails + 1))

d="$WORK/frc"
log="$d/first/polyglot.log"
# The games were Chess960 games, each from a position of its own.
variants=$(grep -c '^\[Variant "fischerandom"\]' "$d/games.pgn" 2>/dev/null)
starts=$(grep '^\[FEN ' "$d/games.pgn" 2>/dev/null | sort -u | wc -l)
if [ "${variants:-0}" -lt 3 ] || [ "${starts:-0}" -lt 2 ]; then
    echo "FAIL [frc] ${variants:-0} games saved as fischerandom, from ${starts:-0} start positions"
    fails=$((fails + 1))
fi
# polyglot switched the engine to Chess960 and the engine took every
# position and move it was given.
if ! grep -a -q 'Adapter->Engine: setoption name UCI_Chess960 value true' "$log" 2>/dev/null; then
    echo "FAIL [frc] polyglot never set UCI_Chess960 (log $log)"
    fails=$((fails + 1))
fi
refused=$(grep -a -E 'Engine->Adapter: info string (illegal move|invalid FEN)' "$log" 2>/dev/null)
if [ -n "$refused" ]; then
    echo "FAIL [frc] the engine refused what the GUI played:"
    printf '%s\n' "$refused" | head -5 | sed 's/^/    /'
    fails=$((fails + 1))
fi
castles=$(grep -v '^\[' "$d/games.pgn" 2>/dev/null | grep -o -E 'O-O(-O)?' | wc -l)

print_summary
grep '^\[FEN ' "$d/games.pgn" 2>/dev/null | sed 's/^/start /'
echo "castlings played: $castles; frc $(cat "$d/secs")s"
echo "total time: $(( $(date +%s) - START )) s"
if [ "$fails" -ne 0 ]; then echo "FAILED: $fails checks"; exit 1; fi
echo "PASSED: every game ended by the rules"
