// Member extraction driver (placeholder until extraction lands).
#include "engine/engine.h"

int extract_all() { return PK_OK; }
