// SPDX-License-Identifier: GPL-3.0-or-later
// The SHA-256 of a file, by which a production log names exactly what went onto a board.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace zelk {

// 64 lower-case hex digits.
std::string Sha256Hex(std::string_view bytes);
// Nullopt when the file cannot be read.
std::optional<std::string> FileSha256(const std::filesystem::path& file);

} // namespace zelk
