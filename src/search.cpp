#include "search.h"

#include <cstdio>

int benchTool(Board*, int, char**) {
    fprintf(stderr, "bench: not available in this build\n");
    return 2;
}

int searchTool(Board*, int, char**) {
    fprintf(stderr, "search: not available in this build\n");
    return 2;
}
