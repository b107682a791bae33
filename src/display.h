// Text diagram of the board, for developers, coloured on a terminal.
#pragma once

#include "defs.h"

// Writes the ANSI sequence for attribute, foreground + 30, background + 40.
void setColor(int attribute, int foreground, int background);

// Writes the diagram and a summary of the board record, coloured by ANSI
// sequences unless colour is false; does not flush.
void displayBoard(const Board* board, bool colour = true);
