// SPDX-License-Identifier: GPL-3.0-or-later
// Reading the memories of an AVR program from the ELF file avr-gcc links.
#pragma once

#include "memory/image_file.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace zelk {

// Stores the sections of `contents` that belong to `memory` into `image`, marking each stored
// address in `defined` (as large as the image), appends fuse, lock and signature sections
// to `otherMemories` and sets `builtFor` to the chip avr-gcc's device note names (empty
// without one). Answers an empty reason on success; on failure `image` may hold part of the
// file. `contents` is the whole file; libelf may rearrange it in place.
std::string ReadElfImage(std::string& contents, MemoryKind memory, std::span<std::uint8_t> image,
                         std::vector<bool>& defined, std::vector<OtherMemoryData>& otherMemories,
                         std::string& builtFor);

} // namespace zelk
