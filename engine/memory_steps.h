// SPDX-License-Identifier: GPL-3.0-or-later
// The byte and page loops of the memory commands, on a target already in programming mode.
// They neither prepare nor release the target and tell the user nothing but the progress, so
// that one preparation can carry several of them (erase, write and verify in one run).
#pragma once

#include "engine/command_support.h"
#include "engine/programmer.h"
#include "memory/image_file.h"
#include "memory/target_images.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace zelk {

struct StepOutcome {
    enum class Status { Done, Failed, Cancelled };
    Status status = Status::Done;
    std::uint32_t address = 0; // Failed: the first address that failed

    bool Done() const { return status == Status::Done; }
    static StepOutcome FailedAt(std::uint32_t at) { return {Status::Failed, at}; }
};

// The addresses a command walks: `defined` cut to the first `length` bytes, or all of them
// when `defined` is null.
std::vector<AddressRange> Walked(const std::vector<AddressRange>* defined, std::uint32_t length);

// Bytes of a memory; a device without that memory has none.
std::uint32_t MemoryLength(const DeviceDescription& device, MemoryKind memory);

// "FILE holds data at 00008000, beyond the ATmega328P's 32768 bytes."
std::string BeyondDeviceMessage(const std::string& file, std::uint32_t address,
                                const DeviceDescription& device, MemoryKind memory);

// Erases flash and EEPROM; Failed when the chip stayed busy.
StepOutcome EraseStep(Programmer& programmer);

// Reads the first `into.size()` bytes of the memory.
StepOutcome ReadStep(Programmer& programmer, MemoryKind memory, std::span<std::uint8_t> into,
                     ProgressBar& bar);

// Compares the chip with `image` over `ranges`; Failed at the first difference.
StepOutcome CompareStep(Programmer& programmer, MemoryKind memory,
                        std::span<const std::uint8_t> image,
                        const std::vector<AddressRange>& ranges, ProgressBar& bar);

// Writes the EEPROM bytes of `ranges` that the chip holds otherwise, 0xFF included.
StepOutcome WriteEepromStep(Programmer& programmer, std::span<const std::uint8_t> image,
                            const std::vector<AddressRange>& ranges, ProgressBar& bar);

// Writes the flash image in the device's algorithm: byte by byte, or page by page skipping
// pages that hold only 0xFF. Bytes holding 0xFF are left to the erase before.
StepOutcome WriteFlashStep(Programmer& programmer, std::span<const std::uint8_t> image,
                           ProgressBar& bar);

// Reads the signature again; false, with "The target stopped answering: signature %06X at
// the end.", when it is not the one the command began with.
bool TargetStillAnswers(Programmer& programmer, std::string& message);

// What the user is told of a step that did not end Done: `failedFormat` with the address, or
// that the command was cancelled.
std::string OutcomeMessage(const StepOutcome& outcome, const char* failedFormat);

inline constexpr const char* CancelledMessage = "Cancelled: the target was left as it stands.";

} // namespace zelk
