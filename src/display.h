// Coloured text diagram of the board, for developers.
#pragma once

#include "defs.h"

// Writes the ANSI sequence for attribute, foreground + 30, background + 40.
void setColor(int attribute, int foreground, int background);

// Writes the diagram and a summary of the board record; does not flush.
void displayBoard(const Board* board);
