// The stand-alone command line: unzip, or zipinfo by program name.
#include "engine/engine.h"

int main(int argc, char **argv) {
    return engine_main(argc, argv);
}
