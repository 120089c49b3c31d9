// SPDX-License-Identifier: GPL-3.0-or-later
// Loading an image from any file format zelk knows (Intel HEX, S-records, raw binary, ELF),
// from a file or standard input, and writing one to a file or standard output.
#pragma once

#include "memory/address_set.h"
#include "memory/hex_file.h"
#include "memory/target_images.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace zelk {

enum class ImageFormat { IntelHex, SRecord, Binary, Elf };

// The file name that stands for standard input when reading and standard output when writing.
inline constexpr std::string_view StandardStreamName = "-";

// Nothing larger is read, from a file or from standard input: far more than any AVR holds,
// small enough that a wrong file (a disk image, /dev/zero) is refused instead of eaten.
inline constexpr std::size_t MaxInputSize = 64 * 1024 * 1024;

// Memories of an AVR that an ELF file can carry besides flash and EEPROM. They are returned,
// never loaded into an image: they are programmed by their own commands.
enum class OtherMemory { Fuses, LockBits, Signature, UserSignatures };

struct OtherMemoryData {
    OtherMemory memory;
    std::string section;
    std::uint32_t address = 0; // within that memory
    std::vector<std::uint8_t> bytes;
};

// What a load found besides the bytes it stored.
struct LoadedImage {
    ImageFormat format = ImageFormat::IntelHex;
    // The addresses the file gives a value, in order, neither overlapping nor touching.
    std::vector<AddressRange> defined;
    std::vector<OtherMemoryData> otherMemories;
    // The chip an ELF file was built for, as avr-gcc notes it ("atmega328p"); empty when the
    // file does not say.
    std::string builtFor;

    bool DefinesNothing() const { return defined.empty(); }
    // Only when something is defined.
    std::size_t Lowest() const { return defined.front().begin; }
    std::size_t Highest() const { return defined.back().end - 1; }
};

// The format an extension names (case ignored): .hex .ihx .ihex .eep, .srec .s19 .s28 .s37
// .mot, .bin, .elf. Nothing for any other extension, and for none.
std::optional<ImageFormat> FormatOfExtension(const std::filesystem::path& path);

// Loads the file at `path`, or standard input for "-", into `image` for `memory`: a copy of
// the image has its first `shownLength` bytes set to 0xFF, then receives the file, and
// replaces `image` only when the whole file was accepted. On failure `image` and `loaded`
// are as they were and `error` says why (line > 0 for a refused HEX line).
//
// The extension names the format; contents that plainly are another format are refused. An
// unknown extension, and standard input, leave it to the contents: ELF, or records starting
// with ':' or 'S'; anything else is refused rather than taken as raw binary. Raw binary is
// loaded at address 0. An ELF file gives the flash from its loadable sections at their load
// addresses and the EEPROM from the sections linked at 0x810000 and up; HEX, S-records and raw
// binary give `memory` whatever they hold. Data beyond the image is refused.
bool LoadImageAnyFormat(const std::filesystem::path& path, MemoryKind memory,
                        std::span<std::uint8_t> image, std::size_t shownLength, LoadedImage& loaded,
                        HexFileError& error);

// LoadImageAnyFormat for an image that the caller throws away when the load fails (zelk-cli
// convert): the file is stored straight over `image`, which on failure holds part of it. A
// file named as HEX or S-records is read a piece at a time rather than whole.
bool LoadScratchImage(const std::filesystem::path& path, MemoryKind memory,
                      std::span<std::uint8_t> image, LoadedImage& loaded, HexFileError& error);

// LoadImageAnyFormat for an image that is to go onto a chip (Load File, AutoProgram and
// zelk-cli load through it): a file that defines no byte of `memory` (a 0-byte .bin, a HEX
// file with only its end record, an ELF without the memory's sections) is refused too, with
// `image` and `loaded` as they were, so that no chip is erased for it.
bool LoadImageForChip(const std::filesystem::path& path, MemoryKind memory,
                      std::span<std::uint8_t> image, std::size_t shownLength, LoadedImage& loaded,
                      HexFileError& error);

// The first address of `defined` at or beyond `length`, for the refusal of an image larger
// than the device.
std::optional<std::uint32_t> BeyondDevice(const std::vector<AddressRange>& defined,
                                          std::uint32_t length);
// "FILE holds data at 00008000, beyond the ATmega328P's 32768 bytes."
std::string BeyondMemoryMessage(const std::string& file, std::uint32_t address,
                                const std::string& device, std::uint32_t length);

// "FILE:12: reason" for a refused line, "FILE: reason" for the file as a whole.
std::string LoadFailureText(const std::filesystem::path& path, const HexFileError& error);

// The same for contents already read; `name` is used for its extension only.
bool LoadImageContents(std::string contents, const std::filesystem::path& name, MemoryKind memory,
                       std::span<std::uint8_t> image, std::size_t shownLength, LoadedImage& loaded,
                       HexFileError& error);

// The format a user names for writing: "hex", "srec" or "bin"; none for anything else.
std::optional<ImageFormat> OutputFormatNamed(std::string_view name);

// The format to write `path` in: `requested` when given, else the extension's. Standard
// output ("-") needs `requested`; a file whose extension names another format than
// `requested` is refused, as is ELF, which zelk does not write. Callers ask before reading
// anything, so that a bad output name costs no work.
std::optional<ImageFormat> OutputFormatFor(const std::filesystem::path& path,
                                           std::optional<ImageFormat> requested,
                                           std::string& error);

// The text of `bytes` in `format` (Intel HEX, S-records or raw binary). With `defined`, HEX and
// S-record files hold records for exactly those addresses, 0xFF included, and a binary ends at
// the last defined byte; without, records leave out 16-byte pieces that hold only 0xFF and a
// binary is every byte.
std::string ImageText(ImageFormat format, std::span<const std::uint8_t> bytes,
                      const std::vector<AddressRange>* defined);
// The raw binary of ImageText, as a view of `bytes` rather than a copy.
std::string_view BinaryText(std::span<const std::uint8_t> bytes,
                            const std::vector<AddressRange>* defined);

// Writes `bytes` to `path` (replaced atomically) or to standard output for "-", in the format
// OutputFormatFor chooses, as ImageText makes it.
bool WriteImageAnyFormat(const std::filesystem::path& path, std::optional<ImageFormat> requested,
                         std::span<const std::uint8_t> bytes, std::string& error,
                         const std::vector<AddressRange>* defined = nullptr);

} // namespace zelk
