// Reading Intel HEX and Motorola S-record files into an image, and writing images out.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>

namespace zelk {

// Why a file was refused: line 0 means the file as a whole (it cannot be opened).
struct HexFileError {
    int line = 0;
    std::string reason;
};

// Fills an image from a file of Intel HEX and S-records, line by line. The reader knows the
// size of the image and never writes past it.
class HexFileReader {
public:
    void SetBuffer(std::span<std::uint8_t> image);
    // True when every line was accepted. On failure the image holds what was stored so far;
    // callers that must not see a half-loaded image use LoadImageFile.
    bool ReadFile(const std::filesystem::path& path, HexFileError& error);
    // The same for a file's contents already in memory.
    bool ReadText(std::string_view text, HexFileError& error);

private:
    // Each answers an empty reason when the line was accepted.
    std::string ParseLine(std::string_view line);
    std::string ParseIntelRecord(std::string_view record);
    std::string ParseSRecord(std::string_view record);
    std::string StoreData(std::uint64_t address, std::span<const std::uint8_t> data);

    std::span<std::uint8_t> image;
    // Set by Intel type 02 and 04 records; added to the address of every later data record.
    std::uint64_t addressBase = 0;
};

// The loading routine of Load File, AutoProgram and the CLI: fills a copy of the image (its
// first `shownLength` bytes set to 0xFF, then the file) and replaces `image` only when the
// whole file was read. On failure `image` is exactly as it was.
bool LoadImageFile(const std::filesystem::path& path, std::span<std::uint8_t> image,
                   std::size_t shownLength, HexFileError& error);

// Writes `bytes` as Intel HEX (.hex .ihx .ihex), S-records (.srec .s19 .s28 .s37 .mot) or raw
// binary (.bin), chosen by the extension; replaces the file atomically. False, with the
// reason, when the extension is unknown or the file cannot be written.
bool WriteImageFile(const std::filesystem::path& path, std::span<const std::uint8_t> bytes,
                    std::string& error);

} // namespace zelk
