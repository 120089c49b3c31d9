// SPDX-License-Identifier: GPL-3.0-or-later
// Reading Intel HEX and Motorola S-record files into an image, and writing images out.
#pragma once

#include "memory/address_set.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace zelk {

// A HEX file of a 16 MiB image is about 45 MiB; anything larger is no file of ours.
inline constexpr std::uint64_t MaxHexFileSize = 64 * 1024 * 1024;

// Why a file was refused: line 0 means the file as a whole (it cannot be opened, holds no
// data, or ends too early).
struct HexFileError {
    int line = 0;
    std::string reason;
};

// Fills an image from a file of Intel HEX and S-records, line by line. Lines end with LF,
// CR LF or CR. Every line is blank or one whole record with a correct checksum; every
// address is given at most once; an Intel HEX file ends with its end record and nothing but
// blank lines follows an end record. The reader knows the size of the image and never writes
// past it. It works on the text in place and keeps the addresses as ranges, so its cost is
// one pass over the characters and a few steps a record.
class HexFileReader {
public:
    void SetBuffer(std::span<std::uint8_t> image);
    // True when the whole text was accepted. On failure the image holds what was stored so
    // far; callers that must not see a half-loaded image load through LoadImageAnyFormat.
    bool ReadText(std::string_view text, HexFileError& error);
    // The same for the regular file open as `fd`, read from its start a piece at a time, so
    // that a file of any size costs a small buffer. More than MaxHexFileSize is refused.
    bool ReadFile(int fd, HexFileError& error);
    // The addresses the last successful read gave a value.
    const AddressSet& Defined() const { return defined; }

private:
    void Begin();
    bool ReadPieces();
    // Reads the whole lines of `text`; unless it is the `last` piece, a line whose end is not
    // in it is left for the next. `used` tells how far the lines read reach.
    bool ReadLines(std::string_view text, bool last, std::size_t& used);
    bool Finish();
    bool Fail(int line, std::string reason);
    // The message of an address given twice, with the lines of the records that give it; the
    // refusal names the later one.
    bool FailTwice(std::size_t address);

    // Each answers an empty reason when the line was accepted.
    std::string ParseLine(std::string_view line);
    std::string ParseIntelRecord(std::string_view digits);
    std::string ParseSRecord(char type, std::string_view digits);
    std::string StoreData(std::uint64_t address, std::span<const std::uint8_t> data);

    std::span<std::uint8_t> image;
    // What is read: the text in memory, or the file.
    std::string_view text;
    int file = -1;
    AddressSet defined;
    // The data records' addresses in file order, each run of records that follow on from one
    // another as one range. `inOrder` while every range starts after the one before: only
    // then does a record that overlaps an earlier one always overlap the last.
    std::vector<AddressRange> ranges;
    bool inOrder = true;
    int lineNumber = 0;
    // Set by Intel type 02 and 04 records; added to the address of every later data record.
    std::uint64_t addressBase = 0;
    bool intelRecordSeen = false;
    bool endRecordSeen = false;
    bool startAddressSeen = false;
    // Looking for the lines that give this address a value (for FailTwice): nothing is
    // stored, nothing refused.
    std::optional<std::size_t> sought;
    std::vector<int> linesGiving;
    HexFileError failure;
};

// Writes `bytes` as Intel HEX (.hex .ihx .ihex), S-records (.srec .s19 .s28 .s37 .mot) or raw
// binary (.bin), chosen by the extension; replaces the file atomically. False, with the
// reason, when the extension is unknown or the file cannot be written.
bool WriteImageFile(const std::filesystem::path& path, std::span<const std::uint8_t> bytes,
                    std::string& error);

} // namespace zelk
