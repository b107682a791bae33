#!/usr/bin/env python3
"""Leaf counts of Chess960 positions, for the engine's perft tests.

The counts come from Debian's stockfish in its Chess960 mode, one process
for every position and depth:

    setoption name UCI_Chess960 value true
    position fen FEN
    go perft DEPTH            (its "Nodes searched: N" line)

  tests/data/chess960_perft.py starts [STOCKFISH] > tests/data/chess960_starts.epd
      the 960 start positions, numbered 0..959 as usual, depths 1-4
  tests/data/chess960_perft.py tricky [STOCKFISH] > tests/data/chess960_tricky.epd
      the positions below, depths 1-5 (1-6 for a few sparse ones)

STOCKFISH defaults to /usr/games/stockfish. The output lines read
"FEN ;D1 n ;D2 n ...", after comment lines starting with '#'.
"""
import subprocess
import sys

# The knights' two squares among the five left once bishops and queen stand.
KNIGHT_TABLE = [(0, 1), (0, 2), (0, 3), (0, 4), (1, 2), (1, 3), (1, 4), (2, 3), (2, 4), (3, 4)]


def start_rank(number):
    """The white pieces of start position number (0..959), files a..h."""
    rank = [None] * 8
    n, light = divmod(number, 4)
    rank[2 * light + 1] = 'B'
    n, dark = divmod(n, 4)
    rank[2 * dark] = 'B'
    n, queen = divmod(n, 6)
    free = [f for f in range(8) if rank[f] is None]
    rank[free[queen]] = 'Q'
    free = [f for f in range(8) if rank[f] is None]
    for k in KNIGHT_TABLE[n]:
        rank[free[k]] = 'N'
    free = [f for f in range(8) if rank[f] is None]
    for f, piece in zip(free, 'RKR'):
        rank[f] = piece
    return ''.join(rank)


def start_fen(number):
    """Shredder-FEN of the start position: the rooks named by their files."""
    white = start_rank(number)
    rooks = [f for f in range(8) if white[f] == 'R']
    files = ''.join('abcdefgh'[f] for f in reversed(rooks))
    return f"{white.lower()}/pppppppp/8/8/8/8/PPPPPPPP/{white} w {files.upper()}{files} - 0 1"


# Middlegame positions around the castlings that engines get wrong, both
# sides to move, X-FEN and Shredder-FEN castling fields, rights partly lost.
# Each line: FEN, deepest depth, what it is about.
TRICKY = [
    ("1r3kr1/ppp2ppp/2n5/3pp3/3PP3/2N5/PPP2PPP/1R3KR1 w GBgb - 0 1", 5,
     "king and rook side by side: short castling swaps them"),
    ("1r3kr1/ppp2ppp/2n5/3pp3/3PP3/2N5/PPP2PPP/1R3KR1 b GBgb - 0 1", 5,
     "the same, Black to move"),
    ("r5kr/pp1bppbp/2np1np1/q7/4P3/2N1BN2/PPPQBPPP/R5KR w HAha - 0 1", 5,
     "king already on g1: short castling moves the rook alone"),
    ("r1k4r/ppp1qppp/2np1n2/2b1p3/2B1P3/2NP1N2/PPP1QPPP/1RK4R w HBha - 0 1", 5,
     "king already on c1 with the rook beside it, and on c8 with the rook in the corner"),
    ("2r1k1r1/pp1nbppp/2p1pn2/q7/3P4/2N1BN2/PPPQ1PPP/RK4R1 w GAgc - 0 1", 5,
     "rook on the king's destination (g1, c8, g8)"),
    ("1r2k1r1/pp3ppp/2n1bn2/2qpp3/8/1PNPBN2/P1PQPPPP/BR2K1R1 w GBgb - 0 1", 5,
     "rook on b1 with a bishop on a1"),
    ("r3k2r/1pp1qppp/p1n2n2/2bpp3/4P1b1/2NP1N2/PPP1BPPP/qRK4R w HBkq - 0 1", 5,
     "an enemy queen on a1 behind the castling rook on b1: long castling would leave the king in check"),
    ("Rr1k2r1/pp2ppbp/2np1np1/8/8/2NP1NP1/PP2PPBP/R1K4R b HAgb - 0 1", 5,
     "a white rook on a8 behind the black castling rook on b8"),
    ("r2k3r/pp4pp/8/8/8/8/PP4PP/1R3K1R w HBha - 0 1", 6,
     "long castling gives check along the d-file"),
    ("2r1kr2/pppbqppp/2np1n2/4p3/4P3/2NP1N2/PPPBQPPP/2R1KR2 w KQkq - 0 1", 5,
     "X-FEN on inner rooks: the f-rook stays put, the king lands on the c-rook's square"),
    ("1rkr4/ppp2ppp/b7/8/8/8/PPP2PPP/1RKR4 w Dd - 0 1", 5,
     "rights partly lost; a bishop on a6 and the rooks on the open d-file guard squares the kings cross"),
    ("rk5r/ppp1bppp/2nqpn2/3p4/3P4/2NQPN2/PPP1BPPP/RK5R w HAha - 0 1", 5,
     "king on b1: long castling moves it towards the centre, short castling across six squares"),
    ("r3k1r1/P6P/8/8/8/8/p6p/R3K1R1 w GAga - 0 1", 5,
     "promotions that take castling rooks; pawns guard the kings' destinations"),
    ("r3k1r1/P6P/8/8/8/8/p6p/R3K1R1 b GAga - 0 1", 5,
     "the same, Black to move"),
    ("bqnb1rkr/pp3ppp/3ppn2/2p5/5P2/P2P4/NPP1P1PP/BQ1BNRKR w HFhf - 2 9", 5,
     "king on g1 between rooks on f1 and h1"),
    ("2nnrbkr/p1qppppp/8/1ppb4/6PP/3PP3/PPP2P2/BQNNRBKR w HEhe - 1 9", 5,
     "rook on e1 far from its destination d1"),
    ("b1q1rrkb/pppppppp/3nn3/8/P7/1PPP4/4PPPP/BQNNRKRB w GE - 1 9", 5,
     "king on f1 between e1 and g1 rooks, Black without rights"),
    ("qbbnnrkr/2pp2pp/p7/1p2pp2/8/P3PP2/1PPP1KPP/QBBNNR1R w hf - 0 9", 5,
     "White has lost its rights, Black has both"),
    ("1nbbnrkr/p1p1ppp1/3p4/1p3P1p/3Pq2P/8/PPP1P1P1/QNBBNRKR w HFhf - 0 9", 5,
     "a queen on e4 eyeing the first rank"),
    ("rkr5/8/8/8/8/8/8/5RKR w HFca - 0 1", 5,
     "bare kings and rooks: castlings on an open board, checks along the files"),
    ("rkr5/8/8/8/8/8/8/5RKR b HFca - 0 1", 5,
     "the same, Black to move"),
    ("1r2kr2/8/8/8/8/8/8/1R2KR2 w FBfb - 0 1", 6,
     "king on e1 with the short rook on f1 that stays, the long one on b1"),
    ("kr6/8/8/8/8/8/8/6RK w Gb - 0 1", 6,
     "kings in the corners: castling across the whole rank, the rook beside the king"),
    ("2r1kr2/8/8/8/8/8/3q4/2R1KR2 w CF - 0 1", 6,
     "a queen on d2 in front of the king: castling out of check is refused"),
    ("r3k2r/8/8/8/3b4/8/8/R3K2R w KQkq - 0 1", 5,
     "standard corners read as X-FEN; a bishop on d4 (enemy) guards g1"),
    ("nrk2rnb/pp1ppppp/2p5/8/8/2P5/PP1PPPPP/NRK2RNB w FBfb - 0 1", 5,
     "king on c1 between b1 and f1: long castling moves the rook b1 to d1 past the king"),
    ("rbbkq1rn/pppppppp/8/8/8/8/PPPPPPPP/RBBKQ1RN w GAga - 0 1", 5,
     "a start-like position with the queen between king and short rook"),
    ("7k/8/8/8/8/8/8/r1RKR3 w EC - 0 1", 6,
     "an enemy rook on a1 behind the long castling rook on c1, the king on d1"),
]


def stockfish_counts(fens_and_depths, program):
    engine = subprocess.Popen([program], stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True,
                              bufsize=1)

    def send(line):
        engine.stdin.write(line + "\n")
        engine.stdin.flush()

    def read_until(prefix):
        while True:
            line = engine.stdout.readline()
            if not line:
                raise RuntimeError("stockfish ended early")
            if line.startswith(prefix):
                return line

    send("uci")
    read_until("uciok")
    send("setoption name UCI_Chess960 value true")
    send("isready")
    read_until("readyok")
    results = []
    for fen, depth in fens_and_depths:
        counts = []
        for d in range(1, depth + 1):
            send(f"position fen {fen}")
            send(f"go perft {d}")
            counts.append(int(read_until("Nodes searched:").split(":")[1]))
        results.append((fen, counts))
    send("quit")
    engine.wait()
    return results


def main():
    if len(sys.argv) < 2 or sys.argv[1] not in ("starts", "tricky"):
        sys.stderr.write(__doc__)
        return 2
    program = sys.argv[2] if len(sys.argv) > 2 else "/usr/games/stockfish"
    version = subprocess.run([program], input="quit\n", capture_output=True, text=True).stdout
    version = version.splitlines()[0] if version else program
    print(f"# Leaf counts from {version} ({program}), UCI_Chess960 true, go perft per depth.")
    print(f"# Made by: tests/data/chess960_perft.py {sys.argv[1]} > tests/data/chess960_{sys.argv[1]}.epd")
    if sys.argv[1] == "starts":
        print("# The 960 start positions in the usual numbering, position n on line n of the data.")
        cases = [(start_fen(n), 4) for n in range(960)]
    else:
        cases = [(fen, depth) for fen, depth, _ in TRICKY]
    for fen, counts in stockfish_counts(cases, program):
        print(fen + "".join(f" ;D{d} {n}" for d, n in enumerate(counts, 1)))
    return 0


if __name__ == "__main__":
    sys.exit(main())
