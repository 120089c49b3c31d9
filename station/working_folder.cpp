// SPDX-License-Identifier: GPL-3.0-or-later
#include "station/working_folder.h"

#include <cstdlib>
#include <system_error>

namespace zelk {

std::filesystem::path WorkingFolder() {
    std::error_code error;
    std::filesystem::path current = std::filesystem::current_path(error);
    if (!error && std::filesystem::is_directory(current, error)) {
        return current;
    }
    const char* home = std::getenv("HOME");
    if (home != nullptr && *home == '/') {
        return home;
    }
    return "/";
}

} // namespace zelk
