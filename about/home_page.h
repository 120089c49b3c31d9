// SPDX-License-Identifier: GPL-3.0-or-later
// Where the about box sends the user: the project's web page when the build names one,
// else the README installed with the program.
#pragma once

#include <filesystem>
#include <string>

namespace zelk {

struct HomePage {
    std::string address; // a web address, or a local file path when isFile
    bool isFile = false;
};

// `configured` is the build's web address (may be empty). Without one, the README in
// ../share/doc/zelk beside the executable's folder or in that folder itself; an empty
// address when there is neither.
HomePage FindHomePage(const std::string& configured, const std::filesystem::path& executableDir);

} // namespace zelk
