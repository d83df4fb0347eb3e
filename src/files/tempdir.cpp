// Placeholder until extraction lands: nothing is included, nothing is extracted.
#include "files/tempdir.h"

namespace {
char extractionDirectory[8192];
}

char* getExtractionDirectory() {
    return extractionDirectory;
}
uint32_t getUnextractedPosition() {
    return 0;
}
int extractIncludedFiles(char* directory) {
    directory[0] = '\0';
    return 0;
}
