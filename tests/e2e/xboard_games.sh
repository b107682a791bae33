#!/usr/bin/env bash
# End-to-end games: Quillantor plays real games under the xboard GUI, run
# headless on a virtual X server, and every saved game is checked to have
# ended by the rules of chess.
#
#   xboard_games.sh ENGINE [SCRATCH_DIR]
#       plays the games below with the engine binary ENGINE and checks them.
#   xboard_games.sh --self-test [SCRATCH_DIR]
#       plays short games with deliberately broken engines (wrappers around
#       phalanx, no Quillantor needed) and proves that the checker fails each
#       kind of bad game and passes good ones.
#
# E2E_KEEP=1 keeps the scratch directory (PGNs, xboard debug logs) for a look.
#
# Exit status: 0 every game is good, 1 a bad game or a run that went wrong,
# 2 usage error, 77 a program the games need is missing (CTest: skipped).
#
# Programs: xboard, xvfb-run (+ xauth), phalanx, sjeng for the 1 s per move
# games (without it Quillantor plays itself there), and xdotool for the
# retract game (without xdotool that game is replaced by a replay of the GUI's
# commands through a pipe, a weaker check, and the summary says so).
#
# The games (2 to 3 minutes on two cores; the self-test takes under 2):
#   inc   Quillantor - phalanx, 2 games, colours alternating, 10 s + 0.1 s/move
#   st    Quillantor - sjeng, 2 games, colours alternating, 1 s per move (st 1).
#         Under st xboard flags a move that takes the full second; phalanx,
#         sjeng, gnuchess and hoichess all lost on time within 11 moves in
#         trial runs, so sjeng gets "sd 6" (depth 6, a few milliseconds) in its
#         init string: only Quillantor's timing is under test.
#   self  Quillantor - Quillantor, 2 games, 10 s + 0.1 s/move
#   retract  one game, Quillantor against a "human" whose moves and Retract
#         Move (Ctrl-X, xboard sends "remove") are typed into the xboard
#         window with xdotool.
#
# Adjudications, chosen to keep the run short; all of them end a game in a
# position whose outcome is not in doubt, so the protocol is still exercised
# from the first move to a legal end:
#   -adjudicateLossThreshold -900  both engines agree for 6 plies that one side
#                                  is 9 pawns down: that side loses.  Winning
#                                  a won ending takes the most time and tests
#                                  the engine's play, not its protocol.
#   -adjudicateDrawMoves 100 / 40  a game still going after 100 moves (40 in
#                                  the 1 s per move games) is drawn: a cap on
#                                  the run time, "Xboard adjudication: long game".
#   -trivialDraws true             KRKR, KBKN, ... are drawn after 6 plies.
#   -repeatsToDraw 3, -ruleMoves 50, -materialDraws true: the rules themselves,
#                                  applied by xboard rather than left to claims.
# Mate and stalemate are detected by xboard (-checkMates true) and engine
# claims are verified (-testClaims true): a false claim forfeits the game.

set -u

SELF=$(cd "$(dirname "$0")" && pwd)/$(basename "$0")

find_prog() {
    local p
    p=$(command -v "$1" 2>/dev/null) && { echo "$p"; return 0; }
    [ -x "/usr/games/$1" ] && { echo "/usr/games/$1"; return 0; }
    return 1
}

# ---------------------------------------------------------------------------
# Broken engines for the self-test.  "--fake MODE K CMD..." runs CMD (a real
# engine) behind two line filters and misbehaves at its K-th move:
#   illegal   sends "move g1g3" instead of its K-th move (never legal from the
#             positions reached in a few moves: no knight move, no piece of
#             black's on g1)
#   hang      swallows everything from its K-th move on: never moves again
#   die       exits right after sending its K-th move
#   claim     claims "1-0 {White mates}" after its K-th move
#   noremove  drops "remove": its board no longer follows the GUI's
#   reject    answers the K-th move it is sent with "Illegal move: MOVE"
#             instead of passing it on, as an engine whose board went wrong
#   mute      (no CMD) says nothing at all, not even its features
# ---------------------------------------------------------------------------
fake_engine() {
    local mode=$1 k=$2; shift 2
    trap '' INT                      # xboard interrupts engines with SIGINT
    if [ "$mode" = mute ]; then exec cat >/dev/null; fi
    local t epid ipid n=0 l
    t=$(mktemp -d) || exit 1
    mkfifo "$t/in" "$t/out" || exit 1
    "$@" <"$t/in" >"$t/out" 2>/dev/null &
    epid=$!
    trap 'kill $epid $ipid 2>/dev/null; rm -rf "$t"; exit 0' TERM
    exec 3<&0 4>&1
    # Bash read loops, not awk: mawk buffers its input from a pipe.
    ( m=0
      while IFS= read -r l; do
          [ "$mode" = noremove ] && [ "$l" = remove ] && continue
          if [ "$mode" = reject ] && [[ $l =~ ^[a-h][1-8][a-h][1-8] ]]; then
              m=$((m + 1))
              [ $m -eq "$k" ] && { printf 'Illegal move: %s\n' "$l" >&4; continue; }
          fi
          printf '%s\n' "$l"
      done ) <&3 >"$t/in" &
    ipid=$!
    while IFS= read -r l; do
        case $l in
            "move "*)
                n=$((n + 1))
                [ "$mode" = illegal ] && [ $n -eq "$k" ] && l="move g1g3" ;;
        esac
        [ "$mode" = hang ] && [ $n -ge "$k" ] && continue
        printf '%s\n' "$l"
        [ "$mode" = die ] && [ $n -ge "$k" ] && break
        if [ "$mode" = claim ] && [ $n -eq "$k" ]; then
            printf '1-0 {White mates}\n'
        fi
    done <"$t/out"
    kill $epid $ipid 2>/dev/null
    rm -rf "$t"
    exit 0
}

# ---------------------------------------------------------------------------
# Common xboard options: nothing may wait for a human.
# ---------------------------------------------------------------------------
xb_options() {   # $1 = debug file; sets the array XB
    XB=(-debugMode true -nameOfDebugFile "$1"
        -popupExitMessage false -popupMoveErrors false
        -saveSettingsOnExit false -soundProgram ""
        -xponder -smpCores 1 -defaultHashSize 16
        -testLegality true -testClaims true -checkMates true
        -materialDraws true -trivialDraws true -ruleMoves 50 -repeatsToDraw 3
        -pgnExtendedInfo true)
}

# run_match NAME GAMES LIMIT FIRST_CMD SECOND_CMD [xboard options...]
# Plays a GAMES-game match in $WORK/NAME, killed after LIMIT seconds.
run_match() {
    local name=$1 games=$2 limit=$3 fcp=$4 scp=$5; shift 5
    local d="$WORK/$name" start rc
    mkdir -p "$d/home" "$d/first" "$d/second"
    printf 'hash 65536\n' >"$d/first/quillantor.rc"
    printf 'hash 65536\n' >"$d/second/quillantor.rc"
    printf '%s\n' "$games" >"$d/games_wanted"
    printf '%s\n' "$limit" >"$d/limit"
    xb_options "$d/debug.txt"
    start=$(date +%s)
    # HOME: xboard reads and writes ~/.xboardrc; keep it in the scratch dir.
    HOME="$d/home" "$XVFB_RUN" -a timeout -k 5 "$limit" "$XBOARD" \
        -fcp "$fcp" -fd "$d/first" -scp "$scp" -sd "$d/second" \
        -mg "$games" -sgf "$d/games.pgn" -autoCallFlag true \
        -matchPause 2000 "${XB[@]}" "$@" \
        </dev/null >"$d/xboard.out" 2>"$d/xboard.err"
    rc=$?
    printf '%s\n' "$rc" >"$d/rc"
    printf '%s\n' "$(( $(date +%s) - start ))" >"$d/secs"
}

# PGN -> one tab-separated line per game:
#   round white black result moves comment white_max_s black_max_s
# comment is the termination comment (the last {...} before the result);
# *_max_s is the longest think recorded in the move comments ({score/depth time}).
pgn_games() {
    awk '
    function flush(   s, out, c, tok, n, i, wmax, bmax, t, comment, tail) {
        if (!started) return
        s = text; out = ""; comment = ""; tail = ""
        while (match(s, /\{[^}]*\}/)) {
            c = substr(s, RSTART + 1, RLENGTH - 2)
            out = out substr(s, 1, RSTART - 1) " {" c "} "
            comment = c
            tail = substr(s, RSTART + RLENGTH)
            s = tail
        }
        out = out s
        gsub(/^[ \t]+|[ \t]+$/, "", tail)
        if (tail != res && tail != "") comment = ""
        # walk the moves to attribute think times to each side
        side = 0; nextside = 0; maxmv = 0; wmax = 0; bmax = 0; mv = 0   # globals, shared with walk()
        gsub(/\{/, "\001{", out); gsub(/\}/, "}\001", out)
        n = split(out, tok, "\001")
        for (i = 1; i <= n; i++) {
            if (substr(tok[i], 1, 1) == "{") {
                if (mv && match(tok[i], /^\{[-+]?[0-9.]+\/[0-9]+ [0-9.]+\}$/)) {
                    t = tok[i]; sub(/^.* /, "", t); sub(/\}$/, "", t); t += 0
                    if (side == 1 && t > wmax) wmax = t
                    if (side == 2 && t > bmax) bmax = t
                }
                continue
            }
            walk(tok[i])
        }
        printf "%s\t%s\t%s\t%s\t%d\t%s\t%.1f\t%.1f\n", round, white, black, res, maxmv, comment, wmax, bmax
        started = 0
    }
    function walk(str,   w, m, j, x) {
        m = split(str, w, /[ \t]+/)
        for (j = 1; j <= m; j++) {
            x = w[j]
            if (x == "") continue
            if (x ~ /^[0-9]+\.\.\.$/) { nextside = 2; continue }
            if (x ~ /^[0-9]+\.$/) { nextside = 1; sub(/\./, "", x); if (x + 0 > maxmv) maxmv = x + 0; continue }
            if (x ~ /^(1-0|0-1|1\/2-1\/2|\*)$/) continue
            side = nextside ? nextside : (side == 1 ? 2 : 1); nextside = 0; mv = 1
        }
    }
    /^\[Event / { flush(); started = 1; text = ""; round = white = black = res = "?"; next }
    /^\[/ {
        tag = $0; sub(/^\[/, "", tag); sub(/ .*/, "", tag)
        val = $0; sub(/^[^"]*"/, "", val); sub(/"\][ \t\r]*$/, "", val)
        if (tag == "Round") round = val
        else if (tag == "White") white = val
        else if (tag == "Black") black = val
        else if (tag == "Result") res = val
        next
    }
    { sub(/\r$/, ""); text = text " " $0 }
    END { flush() }
    ' "$1"
}

# Header of the N-th game of a PGN file.
pgn_header() { awk -v k="$2" '/^\[Event /{n++} n == k && /^\[/' "$1"; }

# classify RESULT COMMENT ALLOWED -> sets VERDICT (ok/BAD) and WHY.
# ALLOWED lists the adjudications configured for this match: "score long".
classify() {
    local res=$1 c=$2 allowed=$3
    local bad='on time|flag|forfeit|illegal|invalid|false .*claim|exit|disconnect|crash|respon|error|abort|adjourn|stuck|kill|unexpected|destroyed|time ?out'
    local good='(^| )mates|checkmate|stalemate|resigns|draw agreed|repetition|50.move|fifty|insufficient|trivial draw|bare king'
    VERDICT=BAD
    shopt -s nocasematch
    if [[ $res != "1-0" && $res != "0-1" && $res != "1/2-1/2" ]]; then
        WHY="unfinished game (result $res)"
    elif [ -z "$c" ]; then
        WHY="no termination comment"
    elif [[ $c =~ $bad ]]; then
        WHY="not ended by the rules"
    elif [[ $c =~ $good ]]; then
        VERDICT=ok; WHY=""
    elif [[ $c =~ ^xboard\ adjudication:\ long\ game$ && " $allowed " == *" long "* ]]; then
        VERDICT=ok; WHY=""
    elif [[ $c =~ ^xboard\ adjudication$ && " $allowed " == *" score "* ]]; then
        VERDICT=ok; WHY=""
    else
        WHY="termination not recognised as a rule or a configured adjudication"
    fi
    shopt -u nocasematch
}

# Protocol lines (both directions, thinking lines left out) around a pattern.
protocol_tail() {   # FILE [N]
    grep -a -E '^[0-9]+ [<>](first |second)?: ?' "$1" 2>/dev/null |
        grep -a -v -E '<(first |second): +[0-9]+ +[-+]?[0-9]+ ' | tail -n "${2:-25}"
}

# check_match NAME ALLOWED  (ALLOWED: the adjudications configured, "score long")
# Appends game lines to $SUMMARY and failure reports to stdout; returns 1 if bad.
check_match() {
    local name=$1 allowed=$2
    local d="$WORK/$name" bad=0 want got rc n=0 line
    local round white black res moves comment wmax bmax
    want=$(cat "$d/games_wanted"); rc=$(cat "$d/rc")
    got=0
    [ -s "$d/games.pgn" ] && got=$(grep -c '^\[Event ' "$d/games.pgn")
    if [ -s "$d/games.pgn" ]; then
        while IFS=$'\t' read -r round white black res moves comment wmax bmax; do
            n=$((n + 1))
            classify "$res" "$comment" "$allowed"
            printf '%-8s %-3s %-16s %-16s %-7s %4s  %-6s %-6s %s\n' "$name" "$round" \
                "${white:0:16}" "${black:0:16}" "$res" "$moves" "$wmax" "$bmax" \
                "{$comment}${WHY:+  <-- $WHY}" >>"$SUMMARY"
            if [ "$VERDICT" != ok ]; then
                bad=1
                echo "FAIL [$name] game $n: $WHY"
                pgn_header "$d/games.pgn" "$n" | sed 's/^/    /'
                echo "    termination: {$comment} $res"
            fi
        done < <(pgn_games "$d/games.pgn")
    fi
    if [ "$got" -lt "$want" ]; then
        bad=1
        echo "FAIL [$name] fewer games than requested: $got saved of $want"
        echo "    game ends in xboard's log:"
        grep -a -o -E '^GameEnds\([0-9]+, [^,]*' "$d/debug.txt" 2>/dev/null | grep -v '(null)' |
            sed 's/^GameEnds([0-9]*, /    /' | uniq
    fi
    if [ "$rc" = 124 ] || [ "$rc" = 137 ]; then
        bad=1
        echo "FAIL [$name] xboard did not finish within $(cat "$d/limit") s and was killed"
    elif [ "$rc" != 0 ]; then
        bad=1
        echo "FAIL [$name] xboard exited with status $rc"
    fi
    # xboard's own complaints (stdout/stderr), e.g. 'Illegal move "g1g3" from
    # first machine', 'Error writing to first chess program: Broken pipe'.
    line=$(grep -a -h -E 'Illegal|Error|Failed|Could not|exited|rejected' "$d/xboard.out" "$d/xboard.err" | grep -v -i 'ALSA')
    if [ -n "$line" ]; then
        bad=1
        echo "FAIL [$name] xboard reported:"
        printf '%s\n' "$line" | sort | uniq -c | sed 's/^/    /'
    fi
    # An engine refusing a move the GUI found legal: the boards are out of step.
    line=$(grep -a -E '^[0-9]+ <(first |second): *Illegal move[^a-z]*[a-h][1-8][a-h][1-8]' "$d/debug.txt" 2>/dev/null)
    if [ -n "$line" ]; then
        bad=1
        echo "FAIL [$name] an engine rejected a move the GUI played:"
        printf '%s\n' "$line" | head -5 | sed 's/^/    /'
    fi
    if [ "$bad" != 0 ] && [ -s "$d/debug.txt" ]; then
        echo "    last protocol lines of [$name]:"
        protocol_tail "$d/debug.txt" 20 | sed 's/^/      /'
    fi
    return "$bad"
}

# Unknown-command and error answers of the first engine, one of each (information).
engine_errors() {
    local e
    e=$(grep -a -h -E '^[0-9]+ <first : *(Error|Illegal)' "$@" 2>/dev/null |
        sed 's/^[0-9]* <first : *//' | sort | uniq -c | sed 's/^/    /')
    printf '%s\n' "${e:-    (none)}"
}

# ---------------------------------------------------------------------------
# The retract game.  Inside xvfb-run: xboard with one engine playing Black,
# the human side's moves typed into the board window, Retract Move = Ctrl-X.
# The moves are chosen so that an engine which ignores "remove" (or takes back
# only one half-move) gets a move that is illegal on its own board:
#   1. e4 ..  2. Nf3 ..  retract  2. Nf3 ..  retract retract  1. e4 ..  2. Nc3 ..
# None of the human's moves can be prevented by Black's replies.
# ---------------------------------------------------------------------------
RETRACT_SCRIPT="e2e4 g1f3 RETRACT g1f3 RETRACT RETRACT e2e4 b1c3"

retract_session() {   # DIR ENGINE_CMD (run under xvfb-run)
    local d=$1 cmd=$2 dbg="$1/debug.txt" log="$1/steps.log" xbpid w="" i step
    : >"$log"
    xb_options "$dbg"
    HOME="$d/home" "$XBOARD" -fcp "$cmd" -fd "$d/first" -st 0:01 \
        -autoCallFlag false -sgf "$d/games.pgn" "${XB[@]}" \
        </dev/null >"$d/xboard.out" 2>"$d/xboard.err" &
    xbpid=$!
    count() { grep -a -c -E "$1" "$dbg" 2>/dev/null; }
    await() {   # PATTERN MIN_COUNT TENTHS
        local j
        for ((j = 0; j < $3; j++)); do
            [ "$(count "$1")" -ge "$2" ] && return 0
            kill -0 "$xbpid" 2>/dev/null || return 1
            sleep 0.1
        done
        return 1
    }
    # The board window exists and the engine has been given its first "new".
    for ((i = 0; i < 150; i++)); do
        w=$(xdotool search --name '^xboard: ' 2>/dev/null | tail -n 1)
        [ -n "$w" ] && [ "$(count '^[0-9]+ >first : new$')" -ge 1 ] && break
        sleep 0.1
    done
    if [ -z "$w" ]; then echo "no xboard window" >>"$log"; kill "$xbpid"; wait "$xbpid"; return 1; fi
    sleep 0.5
    local moves=0 removes=0 sent errs
    for step in $RETRACT_SCRIPT; do
        if [ "$step" = RETRACT ]; then
            removes=$((removes + 1))
            for i in 1 2; do
                xdotool windowfocus "$w" 2>/dev/null; sleep 0.1
                xdotool key ctrl+x
                await '^[0-9]+ >first : remove$' "$removes" 30 && break
            done
            if [ "$(count '^[0-9]+ >first : remove$')" -ge "$removes" ]; then
                echo "retract: xboard sent remove" >>"$log"
            else
                echo "retract: xboard sent no remove" >>"$log"; break
            fi
            sleep 0.3
        else
            sent=$(( $(count "^[0-9]+ >first : $step\$") + 1 ))
            for i in 1 2; do
                xdotool windowfocus "$w" 2>/dev/null; sleep 0.1
                xdotool type --delay 40 "$step"; sleep 0.2
                xdotool key Return
                await "^[0-9]+ >first : $step\$" "$sent" 30 && break
            done
            if [ "$(count "^[0-9]+ >first : $step\$")" -lt "$sent" ]; then
                echo "$step: xboard did not take the typed move" >>"$log"; break
            fi
            moves=$((moves + 1))
            errs=$(count '^[0-9]+ <first : *(Illegal move|Error)')
            if await '^[0-9]+ <first : (move |Illegal move|Error)' $((moves + errs)) 150 &&
               [ "$(count '^[0-9]+ <first : move ')" -ge "$moves" ]; then
                echo "$step: engine answered $(grep -a -E '^[0-9]+ <first : move ' "$dbg" | tail -n 1 | sed 's/.*move //')" >>"$log"
            else
                echo "$step: engine did not answer (it rejected the move, or 15 s passed)" >>"$log"; break
            fi
            sleep 0.3
        fi
    done
    # SIGTERM: xboard ends the game ("* {xboard exit}") and saves it.
    kill "$xbpid" 2>/dev/null
    wait "$xbpid"
    return 0
}

# Fallback without xdotool: the commands xboard sent around retracts, taken
# from its debug log of a real retract game (the "accepted ..." answers to the
# features left out), replayed to the engine through a pipe, including the
# SIGINT xboard sends after each engine move (no "feature sigint=0").
# It checks that the engine answers every move and never rejects one; it
# cannot check that the answers are legal, which only the GUI game does.
pipe_retract() {   # DIR ENGINE_CMD
    local d=$1 cmd=$2 log="$1/steps.log" line step
    : >"$log"
    # shellcheck disable=SC2086
    coproc ENG { cd "$d/first" && exec $cmd 2>&1; }
    local epid=$ENG_PID   # bash unsets ENG_PID once the engine has gone
    send() { printf '%s\n' "$@" >&"${ENG[1]}"; printf '>%s\n' "$@" >>"$d/pipe.txt"; }
    answer() {
        while IFS= read -r -t 15 line <&"${ENG[0]}"; do
            printf '<%s\n' "$line" >>"$d/pipe.txt"
            case $line in "move "*) kill -INT "$epid" 2>/dev/null; echo "${line#move }"; return 0 ;; esac
        done
        return 1
    }
    send xboard "protover 2"; sleep 0.5
    send new random "st 1" post hard easy
    for step in $RETRACT_SCRIPT; do
        if [ "$step" = RETRACT ]; then
            send remove; echo "retract: sent remove" >>"$log"; sleep 0.2
        else
            send "time 100" "otim 100" "$step"
            if line=$(answer); then echo "$step: engine answered $line" >>"$log"
            else echo "$step: engine did not answer within 15 s" >>"$log"; break; fi
        fi
    done
    send quit 2>/dev/null
    sleep 0.5; kill "$epid" 2>/dev/null; wait "$epid" 2>/dev/null
}

run_retract() {   # NAME ENGINE_CMD
    local name=$1 cmd=$2 d="$WORK/$1" start
    mkdir -p "$d/home" "$d/first"
    printf 'hash 65536\n' >"$d/first/quillantor.rc"
    start=$(date +%s)
    if [ -n "$XDOTOOL" ]; then
        echo gui >"$d/mode"
        HOME="$d/home" "$XVFB_RUN" -a timeout -k 5 120 "$SELF" --retract-session "$d" "$cmd" \
            </dev/null >"$d/session.out" 2>&1
        printf '%s\n' "$?" >"$d/rc"
    else
        echo pipe >"$d/mode"
        pipe_retract "$d" "$cmd"
        echo 0 >"$d/rc"
    fi
    printf '%s\n' "$(( $(date +%s) - start ))" >"$d/secs"
}

check_retract() {   # NAME
    local name=$1 d="$WORK/$1" bad=0 mode moves removes text line line2
    mode=$(cat "$d/mode")
    moves=$(grep -c 'engine answered' "$d/steps.log")
    removes=$(grep -c 'sent remove' "$d/steps.log")
    if [ "$mode" = gui ]; then
        text="GUI: moves typed, Retract Move by Ctrl-X"
        [ "$(cat "$d/rc")" = 0 ] || { bad=1; echo "FAIL [$name] the GUI session failed or was killed (status $(cat "$d/rc"))"; }
    else
        text="PIPE REPLAY (xdotool missing): engine answers checked, their legality not"
    fi
    if [ "$removes" -ne 3 ]; then
        bad=1; echo "FAIL [$name] $removes of 3 retracts reached the engine as \"remove\""
    fi
    if [ "$moves" -ne 5 ]; then
        bad=1; echo "FAIL [$name] the engine answered $moves of the 5 moves"
    fi
    if [ "$mode" = gui ]; then
        line=$(grep -a -E '^[0-9]+ <first : *(Illegal move|Error)' "$d/debug.txt")
        line2=$(grep -a -h -E 'Illegal|Error|Failed|Could not|rejected' "$d/xboard.out" "$d/xboard.err" | grep -v ALSA)
        [ -n "$line2" ] && line=$(printf '%s\n%s' "$line" "xboard: $line2")
    else
        line=$(grep -a -E '^<(Illegal move|Error)' "$d/pipe.txt")
    fi
    if [ -n "$line" ]; then
        bad=1; echo "FAIL [$name] errors around the retracts (the engine's board is out of step):"
        printf '%s\n' "$line" | grep -v '^$' | head -8 | sed 's/^/    /'
    fi
    # xboard's record of the game after the retracts: exactly 1. e4 .. 2. Nc3 ..
    local final=""
    if [ "$mode" = gui ]; then
        final=$(pgn_games "$d/games.pgn" | head -n 1 | cut -f5)
        if [ "$final" != 2 ] || ! grep -v '^\[' "$d/games.pgn" | tr '\n' ' ' | grep -q '^ *1\. e4 .* 2\. Nc3 '; then
            bad=1; echo "FAIL [$name] xboard's game record is not 1. e4 .. 2. Nc3 ..:"
            grep -v '^\[' "$d/games.pgn" 2>/dev/null | sed 's/^/    /'
        fi
    fi
    {
        printf '%-8s %s\n' "$name" "$text"
        sed 's/^/           /' "$d/steps.log"
        [ "$mode" = gui ] && grep -v -E '^\[|^$' "$d/games.pgn" 2>/dev/null | sed 's/^/           game: /'
    } >>"$SUMMARY"
    if [ "$bad" != 0 ]; then
        echo "    steps:"; sed 's/^/      /' "$d/steps.log"
        if [ "$mode" = gui ]; then
            echo "    protocol from the first move on:"
            protocol_tail "$d/debug.txt" 60 | sed -n '/>first : e2e4$/,$p' | sed 's/^/      /'
        else
            sed 's/^/      /' "$d/pipe.txt" | grep -v -E '^ *<[0-9]+ ' | tail -n 40
        fi
    fi
    return "$bad"
}

print_summary() {
    echo
    echo "match    rnd White            Black            result  moves wmax_s bmax_s termination"
    cat "$SUMMARY"
    echo
}

# ---------------------------------------------------------------------------
setup() {   # [SCRATCH_DIR]
    XBOARD=$(find_prog xboard) || { echo "SKIP: xboard not installed (Debian package xboard)"; exit 77; }
    XVFB_RUN=$(find_prog xvfb-run) || { echo "SKIP: xvfb-run not installed (Debian package xvfb)"; exit 77; }
    find_prog xauth >/dev/null || { echo "SKIP: xauth not installed (Debian package xauth), xvfb-run needs it"; exit 77; }
    PHALANX=$(find_prog phalanx) || { echo "SKIP: phalanx not installed (Debian package phalanx), the opponent"; exit 77; }
    XDOTOOL=$(find_prog xdotool) || XDOTOOL=""
    local base=${1:-${TMPDIR:-/tmp}}
    mkdir -p "$base" || exit 2
    WORK=$(mktemp -d "$base/xboard-games.XXXXXX") || exit 2
    case $WORK in *[[:space:]]*) echo "error: scratch path with blanks: $WORK"; rm -rf "$WORK"; exit 2 ;; esac
    if [ -n "${E2E_KEEP:-}" ]; then trap 'echo "kept $WORK"' EXIT; else trap 'rm -rf "$WORK"' EXIT; fi
    trap 'exit 1' INT TERM HUP
    SUMMARY="$WORK/summary.txt"
    : >"$SUMMARY"
    # No learning file, no resigning, 4 MB of hash; its own book gives variety.
    OPPONENT="$PHALANX -l- -r0 -t 4000"
    SJENG=$(find_prog sjeng) || SJENG=""
    START=$(date +%s)
}

main_games() {   # ENGINE [SCRATCH_DIR]
    local engine=$1 fails=0
    case $engine in /*) ;; *) engine="$(pwd)/$engine" ;; esac
    [ -x "$engine" ] || { echo "error: $engine is not an executable engine"; exit 2; }
    case $engine in *[[:space:]]*) echo "error: engine path with blanks: $engine"; exit 2 ;; esac
    setup "${2:-}"
    echo "xboard games: engine $engine, opponent ${OPPONENT%% *}, scratch $WORK"

    run_match inc 2 150 "$engine" "$OPPONENT" -tc 0:10 -inc 0.1 \
        -adjudicateLossThreshold -900 -adjudicateDrawMoves 100
    check_match inc "score long" || fails=$((fails + 1))

    if [ -n "$SJENG" ]; then
        run_match st 2 150 "$engine" "$SJENG" -st 0:01 -secondInitString 'new\nrandom\nsd 6\n' \
            -adjudicateLossThreshold -900 -adjudicateDrawMoves 40
    else
        echo "note: sjeng missing, Quillantor plays itself at 1 s per move"
        run_match st 2 150 "$engine" "$engine" -st 0:01 \
            -adjudicateLossThreshold -900 -adjudicateDrawMoves 40
    fi
    check_match st "score long" || fails=$((fails + 1))

    run_match self 2 150 "$engine" "$engine" -tc 0:10 -inc 0.1 \
        -adjudicateLossThreshold -900 -adjudicateDrawMoves 100
    check_match self "score long" || fails=$((fails + 1))

    run_retract retract "$engine"
    check_retract retract || fails=$((fails + 1))

    print_summary
    echo "Quillantor's error answers during the games (information):"
    engine_errors "$WORK"/inc/debug.txt "$WORK"/st/debug.txt "$WORK"/self/debug.txt "$WORK"/retract/debug.txt
    local m
    for m in inc st self retract; do printf '%s %ss  ' "$m" "$(cat "$WORK/$m/secs")"; done
    echo
    echo "total time: $(( $(date +%s) - START )) s"
    if [ "$fails" -ne 0 ]; then echo "FAILED: $fails of 4 parts had bad games"; return 1; fi
    echo "PASSED: every game ended by the rules"
}

# ---------------------------------------------------------------------------
# Self-test: each case must come out as expected, with the expected reason.
# ---------------------------------------------------------------------------
self_test() {
    setup "${1:-}"
    local fails=0 out fake="$SELF --fake"
    expect() {   # CASE WANT(pass|fail) REASON_REGEX OUTPUT STATUS
        local verdict=fail
        [ "$5" = 0 ] && verdict=pass
        if [ "$verdict" = "$2" ] && { [ "$2" = pass ] || grep -q -E "$3" <<<"$4"; }; then
            printf 'ok    %-10s %s\n' "$1" "$(grep -m1 -E "${3:-.}" <<<"$4" | sed 's/^ *//')"
        else
            fails=$((fails + 1))
            printf 'WRONG %-10s expected %s matching /%s/, checker said:\n' "$1" "$2" "$3"
            printf '%s\n' "$4" | sed 's/^/      /'
        fi
    }
    local tc=(-tc 0:03 -inc 0)
    echo "self-test: broken engines against phalanx, scratch $WORK"

    run_match good 1 60 "$OPPONENT" "$OPPONENT" -tc 0:05 -inc 0.1 -adjudicateDrawMoves 6
    out=$(check_match good "long"); expect good pass '' "$out" $?

    # Each broken engine misbehaves at its second move; the checker must
    # fail the game with this reason.
    local probe mode
    for probe in "illegal:invalid move|Illegal move" "hang:wins on time" "die:Error writing" \
                "claim:False win claim" "reject:rejected a move the GUI played"; do
        mode=${probe%%:*}
        run_match "$mode" 1 30 "$fake $mode 2 $OPPONENT" "$OPPONENT" "${tc[@]}"
        out=$(check_match "$mode" ""); expect "$mode" fail "${probe#*:}" "$out" $?
    done

    run_match mute 1 40 "$fake mute 0" "$OPPONENT" "${tc[@]}"
    out=$(check_match mute ""); expect mute fail 'fewer games' "$out" $?

    # xboard killed in mid-game: it saves the game as "*" {xboard exit}.
    run_match killed 1 6 "$OPPONENT" "$OPPONENT" -tc 5
    out=$(check_match killed ""); expect killed fail 'unfinished game' "$out" $?

    # An adjudication counts only in a match that configured it: not here.
    run_match long 1 60 "$OPPONENT" "$OPPONENT" -tc 0:05 -inc 0.1 -adjudicateDrawMoves 4
    out=$(check_match long ""); expect unallowed fail 'not recognised' "$out" $?

    if [ -n "$XDOTOOL" ]; then
        run_retract retract_ok "$OPPONENT"
        out=$(check_retract retract_ok); expect retract_ok pass '' "$out" $?
        run_retract noremove "$fake noremove 0 $OPPONENT"
        out=$(check_retract noremove); expect noremove fail 'out of step' "$out" $?
    else
        echo "note: xdotool missing, the GUI retract cases are not tested"
    fi
    local save=$XDOTOOL; XDOTOOL=""
    run_retract pipe_ok "$OPPONENT"
    out=$(check_retract pipe_ok); expect pipe_ok pass '' "$out" $?
    run_retract pipe_noremove "$fake noremove 0 $OPPONENT"
    out=$(check_retract pipe_noremove); expect pipe_norem fail 'out of step|answered [0-4] of' "$out" $?
    XDOTOOL=$save

    print_summary
    echo "total time: $(( $(date +%s) - START )) s"
    if [ "$fails" -ne 0 ]; then echo "SELF-TEST FAILED: $fails cases"; return 1; fi
    echo "SELF-TEST PASSED"
}

# Sourced by another game script for the functions above: nothing runs.
[ "${BASH_SOURCE[0]}" = "$0" ] || return 0

case ${1:-} in
    --fake) shift; fake_engine "$@" ;;
    --retract-session)
        shift
        XBOARD=$(find_prog xboard); XDOTOOL=$(find_prog xdotool)
        retract_session "$@" ;;
    --self-test) shift; self_test "${1:-}" ;;
    ""|-h|--help)
        sed -n '2,/^$/s/^# \{0,1\}//p' "$0"; exit 2 ;;
    *) main_games "$@" ;;
esac
