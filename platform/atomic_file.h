// SPDX-License-Identifier: GPL-3.0-or-later
// Replacing a user's file so that a crash or a full disk never leaves it half-written.
#pragma once

#include "platform/file_system.h"

#include <filesystem>
#include <string>
#include <string_view>

namespace zelk {

// Writes `bytes` to a new temporary file (mode 0600 while it is written) in the folder of
// `path`, gives it the old file's owner and mode, flushes it to the disk, renames it over
// `path` and flushes the folder. A symbolic link is followed only to a regular file. Refused,
// with the reason in `error` and nothing changed: an existing `path` that is not a regular
// file, or one that is read-only. On failure the old file is untouched and no temporary file
// is left behind; temporary files that a killed run left beside `path` are removed.
bool ReplaceFileAtomically(const std::filesystem::path& path, std::string_view bytes,
                           std::string& error);
// The same through the given file system calls.
bool ReplaceFileAtomically(FileSystem& fileSystem, const std::filesystem::path& path,
                           std::string_view bytes, std::string& error);

} // namespace zelk
