// Replacing a user's file so that a crash or a full disk never leaves it half-written.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace zelk {

// Writes `bytes` to a temporary file in the folder of `path`, flushes it to the disk and
// renames it over `path`. An existing file keeps its permissions. On failure the old file
// is untouched, no temporary file is left behind, and `error` says why.
bool ReplaceFileAtomically(const std::filesystem::path& path, std::string_view bytes,
                           std::string& error);

} // namespace zelk
