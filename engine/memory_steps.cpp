// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/memory_steps.h"

#include "engine/instructions.h"
#include "engine/target_connection.h"

#include <algorithm>
#include <cstdio>

namespace zelk {
namespace {

std::uint8_t ReadByte(Programmer& programmer, MemoryKind memory, std::uint32_t address) {
    return memory == MemoryKind::Flash ? ReadProgramMemory(programmer, address)
                                       : ReadEepromMemory(programmer, address);
}

std::uint32_t TotalBytes(const std::vector<AddressRange>& ranges) {
    std::uint32_t total = 0;
    for (const AddressRange& range : ranges) {
        total += static_cast<std::uint32_t>(range.end - range.begin);
    }
    return total;
}

StepOutcome WriteBytes(Programmer& programmer, std::span<const std::uint8_t> image,
                       ProgressBar& bar) {
    const auto length = static_cast<std::uint32_t>(image.size());
    for (std::uint32_t i = 0; i < length; ++i) {
        if (programmer.CancelRequested()) {
            return {StepOutcome::Status::Cancelled, i};
        }
        if (programmer.device.algorithm == Algorithm::TimedBytes) {
            WriteProgramMemory(programmer, i, image[i]);
        } else if (!WriteProgramMemoryPolled(programmer, i, image[i])) {
            return StepOutcome::FailedAt(i);
        }
        bar.Update(i + 1, length);
    }
    return {};
}

// Bytes after the last whole page are not written: no device has a flash of part pages.
StepOutcome WritePages(Programmer& programmer, std::span<const std::uint8_t> image,
                       ProgressBar& bar) {
    const std::uint32_t pageSize = programmer.device.pageSize;
    if (pageSize == 0) {
        return StepOutcome::FailedAt(0);
    }
    const auto length = static_cast<std::uint32_t>(image.size());
    for (std::uint32_t start = 0; start + pageSize <= length; start += pageSize) {
        if (programmer.CancelRequested()) {
            return {StepOutcome::Status::Cancelled, start};
        }
        const auto page = image.subspan(start, pageSize);
        if (!std::all_of(page.begin(), page.end(),
                         [](std::uint8_t b) { return b == ErasedByte; })) {
            for (std::uint32_t k = 0; k < pageSize; ++k) {
                LoadProgramMemoryPage(programmer, k, page[k]);
            }
            if (!WriteProgramMemoryPage(programmer, start >> 1)) {
                return StepOutcome::FailedAt(start);
            }
        }
        bar.Update(start + pageSize, length);
    }
    return {};
}

} // namespace

std::vector<AddressRange> Walked(const std::vector<AddressRange>* defined, std::uint32_t length) {
    if (defined == nullptr) {
        return {{0, length}};
    }
    std::vector<AddressRange> ranges;
    for (const AddressRange& range : *defined) {
        const std::size_t end = std::min<std::size_t>(range.end, length);
        if (range.begin < end) {
            ranges.push_back({range.begin, end});
        }
    }
    return ranges;
}

std::uint32_t MemoryLength(const DeviceDescription& device, MemoryKind memory) {
    return memory == MemoryKind::Flash ? FlashLength(device) : EepromLength(device);
}

std::string BeyondDeviceMessage(const std::string& file, std::uint32_t address,
                                const DeviceDescription& device, MemoryKind memory) {
    return BeyondMemoryMessage(file, address, device.name, MemoryLength(device, memory));
}

StepOutcome EraseStep(Programmer& programmer) {
    return ChipErase(programmer) ? StepOutcome{} : StepOutcome::FailedAt(0);
}

StepOutcome ReadStep(Programmer& programmer, MemoryKind memory, std::span<std::uint8_t> into,
                     ProgressBar& bar) {
    const auto length = static_cast<std::uint32_t>(into.size());
    for (std::uint32_t i = 0; i < length; ++i) {
        if (programmer.CancelRequested()) {
            return {StepOutcome::Status::Cancelled, i};
        }
        into[i] = ReadByte(programmer, memory, i);
        bar.Update(i + 1, length);
    }
    return {};
}

namespace {

// Runs `byteDone` on each address of `ranges` in order, until it answers false (a failure at
// that address) or a cancel is requested.
template <typename ByteDone>
StepOutcome ForEachAddress(Programmer& programmer, const std::vector<AddressRange>& ranges,
                           ProgressBar& bar, ByteDone byteDone) {
    const std::uint32_t total = TotalBytes(ranges);
    std::uint32_t done = 0;
    for (const AddressRange& range : ranges) {
        for (auto i = static_cast<std::uint32_t>(range.begin); i < range.end; ++i) {
            if (programmer.CancelRequested()) {
                return {StepOutcome::Status::Cancelled, i};
            }
            if (!byteDone(i)) {
                return StepOutcome::FailedAt(i);
            }
            bar.Update(++done, total);
        }
    }
    return {};
}

} // namespace

StepOutcome CompareStep(Programmer& programmer, MemoryKind memory,
                        std::span<const std::uint8_t> image,
                        const std::vector<AddressRange>& ranges, ProgressBar& bar) {
    return ForEachAddress(programmer, ranges, bar, [&](std::uint32_t i) {
        return ReadByte(programmer, memory, i) == image[i];
    });
}

StepOutcome WriteEepromStep(Programmer& programmer, std::span<const std::uint8_t> image,
                            const std::vector<AddressRange>& ranges, ProgressBar& bar) {
    return ForEachAddress(programmer, ranges, bar, [&](std::uint32_t i) {
        return ReadEepromMemory(programmer, i) == image[i] ||
               WriteEepromMemory(programmer, i, image[i]);
    });
}

StepOutcome WriteFlashStep(Programmer& programmer, std::span<const std::uint8_t> image,
                           ProgressBar& bar) {
    switch (programmer.device.algorithm) {
    case Algorithm::TimedBytes:
    case Algorithm::PolledBytes:
        return WriteBytes(programmer, image, bar);
    case Algorithm::PagesFuseByte2:
    case Algorithm::PagesLockByte4:
        return WritePages(programmer, image, bar);
    }
    // The device database refuses every other algorithm; writing nothing must still fail.
    return StepOutcome::FailedAt(0);
}

bool TargetStillAnswers(Programmer& programmer, std::string& message) {
    const std::uint32_t now = ReadFullSignature(programmer);
    if (now == programmer.signature) {
        return true;
    }
    char text[80];
    std::snprintf(text, sizeof text, "The target stopped answering: signature %06X at the end.",
                  static_cast<unsigned>(now));
    message = text;
    return false;
}

std::string OutcomeMessage(const StepOutcome& outcome, const char* failedFormat) {
    if (outcome.status == StepOutcome::Status::Cancelled) {
        return CancelledMessage;
    }
    return AddressMessage(failedFormat, outcome.address);
}

} // namespace zelk
