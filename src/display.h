// Text diagram of the board, for developers, coloured on a terminal.
#pragma once

#include <string>

#include "defs.h"

// Writes the ANSI sequence for attribute, foreground + 30, background + 40.
void setColor(int attribute, int foreground, int background);

// Writes the diagram and a summary of the board record, coloured by ANSI
// sequences unless colour is false; does not flush.
void displayBoard(const Board* board, bool colour = true);

// The board's position as the first four fields of a FEN (placement, side,
// castling, en passant; the engine keeps no clocks), the castling field in
// the form the FEN it was set up from used (see castlingFieldText).
std::string boardToFen(const Board* board);
