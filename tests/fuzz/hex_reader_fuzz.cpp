// SPDX-License-Identifier: GPL-3.0-or-later
// Feeds arbitrary bytes to the HEX reader as a file's contents, over an EEPROM-sized and a
// flash-sized image: whatever the text, the reader must answer without touching memory
// outside the image, give a reason for every refusal, and define something when it accepts.
#include "memory/hex_file.h"
#include "memory/target_images.h"

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    static std::vector<std::uint8_t> small(0x100);
    static std::vector<std::uint8_t> flash(zelk::FlashImageSize);
    for (auto* image : {&small, &flash}) {
        zelk::HexFileReader reader;
        reader.SetBuffer(*image);
        zelk::HexFileError error;
        const bool accepted = reader.ReadText(text, error);
        if (accepted ? reader.Defined().Empty() : error.line < 0 || error.reason.empty()) {
            __builtin_trap();
        }
    }
    return 0;
}
