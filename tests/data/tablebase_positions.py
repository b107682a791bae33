#!/usr/bin/env python3
"""Random legal positions of three and four pieces and what Debian's fathom
command says of each: the expected answers of the tablebase tests.

    python3 tests/data/tablebase_positions.py > tests/data/tablebase_expected.txt

The generator is seeded, so the same positions come out every time; fathom
(/usr/games/fathom, Debian package fathom) reads the tables of
tests/data/syzygy. Each output line is

    FEN|WDL|DTZ|winning moves|drawing moves|losing moves

with the moves in SAN as fathom writes them (no check marks), separated by
", "; drawing moves include the cursed wins and blessed losses, as fathom
groups them. Positions where the side to move has no legal move are left
out (fathom has no move list for them). About one position in four carries
a fifty-move count, which turns some wins into cursed wins, and a few dozen
have an en passant capture to make.
"""
import os
import random
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
TABLES = os.path.join(HERE, "syzygy")
FATHOM = "/usr/games/fathom"

ENDGAMES = ["KQvK", "KRvK", "KBvK", "KNvK", "KPvK", "KQvKR", "KQvKQ", "KQvKP",
            "KQvKB", "KQvKN", "KRvKR", "KRvKP", "KRvKB", "KRvKN", "KBvKP",
            "KNvKP", "KPvKP", "KBNvK", "KBBvK", "KNNvK", "KPPvK", "KQPvK",
            "KRPvK", "KBPvK", "KNPvK", "KQQvK", "KRRvK", "KQRvK", "KBvKB",
            "KBvKN", "KNvKN"]

KNIGHT = [(1, 2), (2, 1), (2, -1), (1, -2), (-1, -2), (-2, -1), (-2, 1), (-1, 2)]
KING = [(1, 0), (1, 1), (0, 1), (-1, 1), (-1, 0), (-1, -1), (0, -1), (1, -1)]
ROOK = [(1, 0), (-1, 0), (0, 1), (0, -1)]
BISHOP = [(1, 1), (1, -1), (-1, 1), (-1, -1)]


def attacked(board, square, by_white):
    """True when a piece of the given colour attacks square (file, rank)."""
    f, r = square
    for df, dr in KNIGHT:
        if board.get((f + df, r + dr)) == ("N" if by_white else "n"):
            return True
    for df, dr in KING:
        if board.get((f + df, r + dr)) == ("K" if by_white else "k"):
            return True
    pawn_rank = r - 1 if by_white else r + 1
    for df in (-1, 1):
        if board.get((f + df, pawn_rank)) == ("P" if by_white else "p"):
            return True
    for steps, sliders in ((ROOK, "RQ"), (BISHOP, "BQ")):
        for df, dr in steps:
            x, y = f + df, r + dr
            while 0 <= x < 8 and 0 <= y < 8:
                piece = board.get((x, y))
                if piece is not None:
                    if piece in (sliders if by_white else sliders.lower()):
                        return True
                    break
                x, y = x + df, y + dr
    return False


def fen_of(board, white_to_move, ep, clock):
    rows = []
    for r in range(7, -1, -1):
        row, empty = "", 0
        for f in range(8):
            piece = board.get((f, r))
            if piece is None:
                empty += 1
                continue
            if empty:
                row += str(empty)
                empty = 0
            row += piece
        rows.append(row + (str(empty) if empty else ""))
    return "%s %s - %s %d 1" % ("/".join(rows), "w" if white_to_move else "b", ep, clock)


def legal(board, white_to_move):
    kings = {p: s for s, p in board.items() if p in "Kk"}
    if max(abs(kings["K"][0] - kings["k"][0]), abs(kings["K"][1] - kings["k"][1])) < 2:
        return False
    # The side that has just moved cannot be in check.
    return not attacked(board, kings["k" if white_to_move else "K"], white_to_move)


def random_position(rng, endgame):
    white, black = endgame.split("v")
    if rng.random() < 0.5:
        white, black = black, white
    pieces = list(white) + [p.lower() for p in black]
    while True:
        board = {}
        for piece in pieces:
            while True:
                square = (rng.randrange(8), rng.randrange(1, 7) if piece in "Pp" else rng.randrange(8))
                if square not in board:
                    board[square] = piece
                    break
        white_to_move = rng.random() < 0.5
        if legal(board, white_to_move):
            clock = 0 if rng.random() < 0.75 else rng.randrange(30, 100)
            return fen_of(board, white_to_move, "-", clock)


def en_passant_position(rng):
    """A pawn that has just made its double step beside an enemy pawn: the
    two kings and the two pawns, four pieces."""
    while True:
        white_to_move = rng.random() < 0.5
        f = rng.randrange(8)
        g = f + rng.choice([-1, 1])
        if not 0 <= g < 8:
            continue
        # The mover's pawn stands on its fifth rank, the enemy's beside it.
        rank = 4 if white_to_move else 3
        board = {(f, rank): "P" if white_to_move else "p", (g, rank): "p" if white_to_move else "P"}
        path = [(g, 5), (g, 6)] if white_to_move else [(g, 2), (g, 1)]
        for piece in ["K", "k"]:
            while True:
                square = (rng.randrange(8), rng.randrange(1, 7) if piece in "Pp" else rng.randrange(8))
                if square not in board and square not in path:
                    board[square] = piece
                    break
        if legal(board, white_to_move):
            ep = "abcdefgh"[g] + ("6" if white_to_move else "3")
            return fen_of(board, white_to_move, ep, 0)


def fathom(fen):
    out = subprocess.run([FATHOM, "--path=" + TABLES, fen], capture_output=True, text=True,
                         check=False).stdout
    tags = {}
    for line in out.splitlines():
        if line.startswith("[") and " \"" in line:
            name, value = line[1:-1].split(" ", 1)
            tags[name] = value.strip("\"")
    if "WDL" not in tags:
        return None
    return tags


def main():
    rng = random.Random(20261208)
    positions = []
    for endgame in ENDGAMES:
        for _ in range(33):
            positions.append(random_position(rng, endgame))
    for _ in range(40):
        positions.append(en_passant_position(rng))
    print("# " + " ".join(["python3", "tests/data/tablebase_positions.py"]) +
          " > tests/data/tablebase_expected.txt")
    print("# FEN|WDL|DTZ|winning|drawing|losing, as /usr/games/fathom --path=tests/data/syzygy FEN says")
    for fen in positions:
        tags = fathom(fen)
        if tags is None:
            continue
        moves = [tags["WinningMoves"], tags["DrawingMoves"], tags["LosingMoves"]]
        if not any(moves):
            continue
        print("|".join([fen, tags["WDL"], tags["DTZ"]] + moves))


if __name__ == "__main__":
    sys.exit(main())
