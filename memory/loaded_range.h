// Loading a HEX file into an image while learning which addresses the file held, so that the
// user can be told what was loaded.
#pragma once

#include "memory/hex_file.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>

namespace zelk {

struct LoadedRange {
    // Bytes the file held, and the lowest and highest of their addresses; 0 when none.
    std::size_t bytes = 0;
    std::uint32_t lowest = 0;
    std::uint32_t highest = 0;
};

// LoadImageFile, and the range of the bytes the file stored. On failure `image` is exactly as
// it was and `range` untouched.
bool LoadImageFileWithRange(const std::filesystem::path& path, std::span<std::uint8_t> image,
                            std::size_t shownLength, HexFileError& error, LoadedRange& range);

} // namespace zelk
