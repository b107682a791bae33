// Opening book: a text file of opening lines.
#pragma once

#include <cstdio>

#include "defs.h"

extern FILE* bookFile;

// Opens bookFileName for reading; bookFile is null when it cannot be opened.
void initBook();
