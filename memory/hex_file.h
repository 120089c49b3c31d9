// Reading Intel HEX and Motorola S-record files into an image, and writing images out.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace zelk {

// Why a file was refused: line 0 means the file as a whole (it cannot be opened, holds no
// data, or ends too early).
struct HexFileError {
    int line = 0;
    std::string reason;
};

// A HEX file of a 16 MiB image is about 45 MiB; anything larger is no file of ours.
inline constexpr std::uint64_t MaxHexFileSize = 64 * 1024 * 1024;

// The addresses of an image that a file gives a value; the rest of the image is whatever it
// held before.
class DefinedAddresses {
public:
    bool Contains(std::size_t address) const { return address < bits.size() && bits[address]; }
    bool Empty() const { return count == 0; }
    std::size_t Count() const { return count; }
    // Lowest and highest defined address; both 0 when nothing is defined.
    std::size_t Lowest() const { return lowest; }
    std::size_t Highest() const { return highest; }

private:
    friend class HexFileReader;
    std::vector<bool> bits;
    std::size_t count = 0;
    std::size_t lowest = 0;
    std::size_t highest = 0;
};

// Fills an image from a file of Intel HEX and S-records, line by line. Lines end with LF,
// CR LF or CR. Every line is blank or one whole record with a correct checksum; every
// address is given at most once; an Intel HEX file ends with its end record and nothing but
// blank lines follows an end record. The reader knows the size of the image and never writes
// past it.
class HexFileReader {
public:
    void SetBuffer(std::span<std::uint8_t> image);
    // True when the whole file was accepted. On failure the image holds what was stored so
    // far; callers that must not see a half-loaded image use LoadImageFile. Only a regular
    // file of at most MaxHexFileSize bytes is read.
    bool ReadFile(const std::filesystem::path& path, HexFileError& error);
    // The same for a file's contents already in memory.
    bool ReadText(std::string_view text, HexFileError& error);
    // What the last successful read gave a value.
    const DefinedAddresses& Defined() const { return defined; }

private:
    void Begin();
    // Takes the next piece of the file; false once a line was refused.
    bool Feed(std::string_view piece);
    bool Finish();
    bool EndLine();
    bool Fail(int line, std::string reason);

    // Each answers an empty reason when the line was accepted.
    std::string ParseLine(std::string_view line);
    std::string ParseIntelRecord(std::string_view digits);
    std::string ParseSRecord(char type, std::string_view digits);
    std::string StoreData(std::uint64_t address, std::span<const std::uint8_t> data);

    std::span<std::uint8_t> image;
    DefinedAddresses defined;
    // Per image address, the line that gave it a value (0: none yet).
    std::vector<std::uint32_t> lineOfAddress;
    std::string line;
    int lineNumber = 0;
    bool afterCarriageReturn = false;
    // Set by Intel type 02 and 04 records; added to the address of every later data record.
    std::uint64_t addressBase = 0;
    bool intelRecordSeen = false;
    bool endRecordSeen = false;
    bool startAddressSeen = false;
    HexFileError failure;
};

// The loading routine of Load File, AutoProgram and the CLI: fills a copy of the image (its
// first `shownLength` bytes set to 0xFF, then the file) and replaces `image` only when the
// whole file was read. On failure `image` is exactly as it was. The second form also tells
// which addresses the file defines.
bool LoadImageFile(const std::filesystem::path& path, std::span<std::uint8_t> image,
                   std::size_t shownLength, HexFileError& error);
bool LoadImageFile(const std::filesystem::path& path, std::span<std::uint8_t> image,
                   std::size_t shownLength, DefinedAddresses& defined, HexFileError& error);

// Writes `bytes` as Intel HEX (.hex .ihx .ihex), S-records (.srec .s19 .s28 .s37 .mot) or raw
// binary (.bin), chosen by the extension; replaces the file atomically. False, with the
// reason, when the extension is unknown or the file cannot be written.
bool WriteImageFile(const std::filesystem::path& path, std::span<const std::uint8_t> bytes,
                    std::string& error);

} // namespace zelk
