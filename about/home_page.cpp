// SPDX-License-Identifier: GPL-3.0-or-later
#include "about/home_page.h"

namespace zelk {

HomePage FindHomePage(const std::string& configured, const std::filesystem::path& executableDir) {
    if (!configured.empty()) {
        return {configured, false};
    }
    for (const std::filesystem::path& candidate :
         {executableDir / ".." / "share" / "doc" / "zelk" / "README.md",
          executableDir / "README.md"}) {
        std::error_code ec;
        if (std::filesystem::is_regular_file(candidate, ec)) {
            return {candidate.lexically_normal().string(), true};
        }
    }
    return {};
}

} // namespace zelk
