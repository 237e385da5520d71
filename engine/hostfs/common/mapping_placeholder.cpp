// Path mapping and output files (placeholder until extraction lands).
#include "engine/hostfs/hostfs.h"

int checkdir(char *, int) { return 0; }
int mapname() { return 0; }
