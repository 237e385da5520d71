// The end-to-end scenarios of SETUP.EXE that the driver runs, one per call.
#pragma once

#include <string>

namespace e2e {

struct ScenarioPlan {
    std::string name;
    std::string distribution; // folder holding SETUP.EXE, INSTALL.FIL, documents and libraries
    std::string product;      // the archive's members laid out as a folder tree
    std::string work;         // a folder of the scenario's own (emptied first)
    std::string pictures;     // where screenshots go ("" for none)
    std::string destination;  // the installation folder ("" for work\QEL)
};

// The names the driver accepts, one per line, for its usage text.
const char *scenario_names();
// Runs the scenario; false when there is none of that name.
bool run_scenario(const ScenarioPlan &plan);

} // namespace e2e
