// SPDX-License-Identifier: GPL-3.0-or-later
// Runs the built zelk-cli as a separate process, as a script on a production line would.
#pragma once

#include "scratch_folder.h"

#include <cstdlib>
#include <filesystem>
#include <string>
#include <sys/wait.h>

namespace zelk::testing {

inline std::string Quote(const std::filesystem::path& path) {
    return "'" + path.string() + "'";
}

struct CliRun {
    int exitCode;
    std::string output;
    std::string errors;
};

// Runs zelk-cli with `arguments`, its standard input fed by `feed` (a shell command) if given,
// with `environment` ("NAME=value ...") before it; the output is kept in `folder`.
inline CliRun RunCli(const ScratchFolder& folder, const std::string& arguments,
                     const std::string& feed = "", const std::string& environment = "") {
    const auto output = folder / "stdout.txt";
    const auto errors = folder / "stderr.txt";
    const std::string command = (feed.empty() ? "" : feed + " | ") + environment + " " +
                                Quote(std::filesystem::path(ZELK_BIN_DIR) / "zelk-cli") + " " +
                                arguments + " >" + Quote(output) + " 2>" + Quote(errors);
    const int status = std::system(command.c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadWholeFile(output),
            ReadWholeFile(errors)};
}

} // namespace zelk::testing
