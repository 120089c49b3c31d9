#include "memory/hex_file.h"
#include "memory/target_images.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <vector>

namespace zelk {
namespace {

// Lines this short (their line end counted) cannot hold a record and are skipped without a
// word: blank lines, stray line ends, a short trailer some tools append.
constexpr std::size_t ShortLineLimit = 6;

// Count, address, type, up to 255 data bytes and the checksum of the longest record.
using RecordBytes = std::array<std::uint8_t, 1 + 4 + 255 + 1>;

constexpr std::array<std::int8_t, 256> MakeDigitTable() {
    std::array<std::int8_t, 256> table{};
    table.fill(-1);
    for (int i = 0; i < 10; ++i) {
        table['0' + i] = static_cast<std::int8_t>(i);
    }
    for (int i = 0; i < 6; ++i) {
        table['A' + i] = static_cast<std::int8_t>(10 + i);
        table['a' + i] = static_cast<std::int8_t>(10 + i);
    }
    return table;
}

constexpr std::array<std::int8_t, 256> DigitValue = MakeDigitTable();

// Decodes `count` bytes from pairs of hex digits at the start of `text` into `out`.
std::string DecodeBytes(std::string_view text, std::size_t count, std::uint8_t* out) {
    if (text.size() < 2 * count) {
        return "line ends inside the record";
    }
    for (std::size_t i = 0; i < count; ++i) {
        const int high = DigitValue[static_cast<unsigned char>(text[2 * i])];
        const int low = DigitValue[static_cast<unsigned char>(text[2 * i + 1])];
        if (high < 0 || low < 0) {
            return "invalid hex digit";
        }
        out[i] = static_cast<std::uint8_t>(high << 4 | low);
    }
    return {};
}

std::uint8_t SumOf(const std::uint8_t* bytes, std::size_t count) {
    unsigned sum = 0;
    for (std::size_t i = 0; i < count; ++i) {
        sum += bytes[i];
    }
    return static_cast<std::uint8_t>(sum);
}

std::uint64_t BigEndian(const std::uint8_t* bytes, std::size_t count) {
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < count; ++i) {
        value = value << 8 | bytes[i];
    }
    return value;
}

std::string Hex(std::uint64_t value) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%llX", static_cast<unsigned long long>(value));
    return text;
}

} // namespace

void HexFileReader::SetBuffer(std::span<std::uint8_t> buffer) {
    image = buffer;
}

bool HexFileReader::ReadFile(const std::filesystem::path& path, HexFileError& error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = {0, std::string("cannot open file: ") + std::strerror(errno)};
        return false;
    }
    // One read into a buffer of the file's size; a file that grows meanwhile, or one whose
    // size is unknown (a pipe), is read on in steps.
    std::error_code sizeError;
    const auto size = std::filesystem::file_size(path, sizeError);
    std::string text(sizeError ? 0 : size, '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    std::size_t length = static_cast<std::size_t>(in.gcount());
    while (in && in.peek() != std::ifstream::traits_type::eof()) {
        text.resize(std::max<std::size_t>(2 * text.size(), 65536));
        in.read(text.data() + length, static_cast<std::streamsize>(text.size() - length));
        length += static_cast<std::size_t>(in.gcount());
    }
    if (in.bad()) {
        error = {0, "cannot read file"};
        return false;
    }
    text.resize(length);
    return ReadText(text, error);
}

bool HexFileReader::ReadText(std::string_view text, HexFileError& error) {
    addressBase = 0;
    int lineNumber = 0;
    std::size_t position = 0;
    while (position < text.size()) {
        ++lineNumber;
        std::size_t end = text.find('\n', position);
        const bool terminated = end != std::string_view::npos;
        if (!terminated) {
            end = text.size();
        }
        std::string_view line = text.substr(position, end - position);
        position = terminated ? end + 1 : end;
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        if (line.size() + (terminated ? 1 : 0) <= ShortLineLimit) {
            continue;
        }
        std::string reason = ParseLine(line);
        if (!reason.empty()) {
            error = {lineNumber, std::move(reason)};
            return false;
        }
    }
    return true;
}

std::string HexFileReader::ParseLine(std::string_view line) {
    if (line.front() == ':') {
        return ParseIntelRecord(line.substr(1));
    }
    if (line.front() == 'S') {
        return ParseSRecord(line.substr(1));
    }
    return "not a HEX record";
}

std::string HexFileReader::ParseIntelRecord(std::string_view record) {
    RecordBytes bytes;
    if (std::string reason = DecodeBytes(record, 4, bytes.data()); !reason.empty()) {
        return reason;
    }
    const std::size_t count = bytes[0];
    const std::uint64_t address = BigEndian(&bytes[1], 2);
    const std::uint8_t type = bytes[3];
    // End of file (01), start addresses (03, 05) and unknown types do not affect the image:
    // they are accepted as they stand, and reading goes on after an end of file record.
    if (type != 0x00 && type != 0x02 && type != 0x04) {
        return {};
    }
    if (std::string reason = DecodeBytes(record, 4 + count + 1, bytes.data()); !reason.empty()) {
        return reason;
    }
    if (SumOf(bytes.data(), 4 + count + 1) != 0) {
        return "checksum mismatch";
    }
    if (type == 0x00) {
        return StoreData(addressBase + address, {&bytes[4], count});
    }
    if (count != 2) {
        return "extended address record must hold 2 bytes";
    }
    const std::uint64_t value = BigEndian(&bytes[4], 2);
    addressBase = type == 0x02 ? value * 16 : value << 16;
    return {};
}

std::string HexFileReader::ParseSRecord(std::string_view record) {
    std::size_t addressLength = 0;
    switch (record.front()) {
    case '1':
        addressLength = 2;
        break;
    case '2':
        addressLength = 3;
        break;
    case '3':
        addressLength = 4;
        break;
    default:
        // Header, count and termination records carry nothing for the image.
        return {};
    }
    const std::string_view digits = record.substr(1);
    RecordBytes bytes;
    if (std::string reason = DecodeBytes(digits, 1, bytes.data()); !reason.empty()) {
        return reason;
    }
    // The count covers address, data and checksum.
    const std::size_t count = bytes[0];
    if (count < addressLength + 1) {
        return "byte count too small for the address";
    }
    if (std::string reason = DecodeBytes(digits, 1 + count, bytes.data()); !reason.empty()) {
        return reason;
    }
    if (SumOf(bytes.data(), 1 + count) != 0xFF) {
        return "checksum mismatch";
    }
    const std::uint64_t address = BigEndian(&bytes[1], addressLength);
    return StoreData(address, {&bytes[1 + addressLength], count - addressLength - 1});
}

std::string HexFileReader::StoreData(std::uint64_t address, std::span<const std::uint8_t> data) {
    if (data.empty()) {
        return {};
    }
    if (address + data.size() > image.size()) {
        return "address " + Hex(std::max<std::uint64_t>(address, image.size())) +
               " lies beyond the image (" + Hex(image.size()) + " bytes)";
    }
    std::copy(data.begin(), data.end(), image.begin() + static_cast<std::ptrdiff_t>(address));
    return {};
}

bool LoadImageFile(const std::filesystem::path& path, std::span<std::uint8_t> image,
                   std::size_t shownLength, HexFileError& error) {
    std::vector<std::uint8_t> copy(image.begin(), image.end());
    std::fill_n(copy.begin(), std::min(shownLength, copy.size()), ErasedByte);
    HexFileReader reader;
    reader.SetBuffer(copy);
    if (!reader.ReadFile(path, error)) {
        return false;
    }
    std::copy(copy.begin(), copy.end(), image.begin());
    return true;
}

} // namespace zelk
