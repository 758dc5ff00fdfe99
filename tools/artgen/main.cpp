// artgen <directory>: draws every picture of the resources into <directory>.
#include "Art.h"

#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: artgen <output directory>\n");
        return 2;
    }
    if (!artgen::WriteAllArtwork(argv[1])) {
        std::fprintf(stderr, "artgen: could not write the artwork into %s\n", argv[1]);
        return 1;
    }
    return 0;
}
