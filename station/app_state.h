// SPDX-License-Identifier: GPL-3.0-or-later
// What the application keeps besides the Programmer: the images, the open project and its
// flag.
#pragma once

#include "memory/target_images.h"

#include <string>

namespace zelk {

struct AppState {
    TargetImages images;
    int projectOpen = 0;

    std::string projectName;
    std::string comment;
    // The files the memory views were loaded from, and AutoProgram reloads; empty for none.
    std::string flashFile;
    std::string eepromFile;
};

} // namespace zelk
