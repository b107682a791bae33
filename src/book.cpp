#include "book.h"

#include "interface.h"

FILE* bookFile = nullptr;

void initBook() {
    bookFile = fopen(bookFileName, "r");
}
