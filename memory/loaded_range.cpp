#include "memory/loaded_range.h"

#include <vector>

namespace zelk {

bool LoadImageFileWithRange(const std::filesystem::path& path, std::span<std::uint8_t> image,
                            std::size_t shownLength, HexFileError& error, LoadedRange& range) {
    // The file read over two different fills: a byte the file holds reads the same in both,
    // a byte it does not hold keeps the two fills apart. Any value, 0xFF included, is seen.
    std::vector<std::uint8_t> zeros(image.size(), 0x00);
    std::vector<std::uint8_t> ones(image.size(), 0xFF);
    if (!LoadImageFile(path, zeros, 0, error) || !LoadImageFile(path, ones, 0, error) ||
        !LoadImageFile(path, image, shownLength, error)) {
        return false;
    }
    LoadedRange found;
    for (std::size_t i = 0; i < image.size(); ++i) {
        if (zeros[i] == ones[i]) {
            if (found.bytes == 0) {
                found.lowest = static_cast<std::uint32_t>(i);
            }
            found.highest = static_cast<std::uint32_t>(i);
            ++found.bytes;
        }
    }
    range = found;
    return true;
}

} // namespace zelk
