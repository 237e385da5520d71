// Reads a shell link (.LNK) file from its bytes: the target, the arguments, the working folder,
// the description and the icon, so that the driver checks what the setup saved, not what the
// shell would make of it.
#pragma once

#include <string>

namespace e2e {

struct ShortcutFile {
    bool valid = false;
    std::string problem; // why the bytes are not a readable link
    std::string target;  // the local path of the link's target
    std::string arguments;
    std::string working_folder;
    std::string description;
    std::string icon_location;
    int icon_index = 0;
};

// Texts come back in the Windows code page (1252), as the setup gave them.
ShortcutFile read_shortcut(const std::string &bytes);

} // namespace e2e
