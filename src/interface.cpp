#include "interface.h"

#include <cstring>

#include "attack.h"
#include "board.h"
#include "book.h"
#include "hash.h"

i32 hashSize = 0;
char bookFileName[256] = "./quillantor.bk";

void parseInitStream(FILE* file) {
    char line[256];
    while (fgets(line, sizeof line, file) != nullptr) {
        int value;
        if (sscanf(line, "hash %d", &value) == 1) {
            hashSize = value;
            printf("\tHash entries\t= %d\n", hashSize);
        }
        char word[256];
        if (sscanf(line, "book %255s", word) == 1) {
            strcpy(bookFileName, word);
            printf("\tBook file\t= %s\n", bookFileName);
        }
    }
}

void parseInitFile() {
    hashSize = 0;
    strcpy(bookFileName, "./quillantor.bk");
    printf("Parsing quillantor.rc...\n ");
    FILE* file = fopen("./quillantor.rc", "r");
    if (file == nullptr) {
        hashSize = DEFAULT_HASH_SIZE;
        printf("Using default values:\n\tHash entries\t= %d (* 4)\n\tBook file\t= %s\n", hashSize,
               bookFileName);
        return;
    }
    parseInitStream(file);
    fclose(file);
}

void xboardLoop(Board* board) {
    (void)board;
    char line[256];
    while (fgets(line, sizeof line, stdin) != nullptr) {
        if (strcmp(line, "quit\n") == 0) return;
    }
}

// Allocates the configured table; a size that is not positive or cannot be
// had falls back to the default size with a one-line message.
static int allocateHashtable() {
    if (initHashtable(hashSize)) return 1;
    printf("\tHash entries\t= %d is not usable: using %d (* 4)\n", hashSize, DEFAULT_HASH_SIZE);
    hashSize = DEFAULT_HASH_SIZE;
    if (initHashtable(hashSize)) return 1;
    printf("Cannot allocate the hash table: stopping.\n");
    fflush(stdout);
    return 0;
}

int startEngine(Board* board) {
    printf("     Q u i l l a n t o r    0 . 3\n");
    printf("A chess playing program by the Quillantor developers\n\n");
    parseInitFile();
    initAttackDeltaTable();
    initZobrist();
    if (!allocateHashtable()) return 0;
    initBook();
    clearHashtable(hashSize);
    setupFen(board, initialPosition);
    getHashkey(board);
    return 1;
}
