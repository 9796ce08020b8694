// brevox-scan-file FILE: runs the cry-table scan over a whole file from its
// first byte and prints the offset found, or -1. A whole-process figure for
// the table scan, to set beside other tools that search a file.
#include <cstdio>

#include "fileshells.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: brevox-scan-file FILE\n");
        return 2;
    }
    FILE* f = std::fopen(argv[1], "rb");
    if (f == nullptr) {
        std::fprintf(stderr, "brevox-scan-file: cannot open %s\n", argv[1]);
        return 1;
    }
    const int found = FindTable(f);
    std::fclose(f);
    std::printf("%d\n", found);
    return 0;
}
