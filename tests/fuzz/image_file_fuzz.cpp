// SPDX-License-Identifier: GPL-3.0-or-later
// Feeds arbitrary bytes to the loader as standard input would, for both memories: whatever
// the bytes (ELF, records or neither), the load must answer without touching memory outside
// the image, and a refusal must say why.
#include "memory/image_file.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static std::vector<std::uint8_t> image(0x100);
    for (const auto memory : {zelk::MemoryKind::Flash, zelk::MemoryKind::Eeprom}) {
        zelk::LoadedImage loaded;
        zelk::HexFileError error;
        const bool ok =
            zelk::LoadImageContents(std::string(reinterpret_cast<const char*>(data), size), "-",
                                    memory, image, image.size(), loaded, error);
        if (!ok && error.reason.empty()) {
            __builtin_trap();
        }
        for (const zelk::AddressRange& range : loaded.defined) {
            if (range.begin >= range.end || range.end > image.size()) {
                __builtin_trap();
            }
        }
    }
    return 0;
}
