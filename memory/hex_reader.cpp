#include "memory/hex_file.h"
#include "memory/target_images.h"
#include "platform/input_file.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <limits>

namespace zelk {
namespace {

// Count, address, type, 255 data bytes and the checksum of the longest Intel record; an
// S-record is one byte shorter.
constexpr std::size_t MaxRecordBytes = 1 + 2 + 1 + 255 + 1;
// Room for the longest record and some trailing blanks; a longer line is never a record, and
// the limit keeps a file without line ends from growing one line without bound.
constexpr std::size_t MaxLineLength = 1024;

using RecordBytes = std::array<std::uint8_t, MaxRecordBytes>;

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

std::string Hex2(unsigned value) {
    char text[8];
    std::snprintf(text, sizeof text, "%02X", value & 0xFF);
    return text;
}

std::string Hex(std::uint64_t value) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%llX", static_cast<unsigned long long>(value));
    return text;
}

// Decodes a record's hex digits, which must be exactly the `count` byte at the start plus
// `extra` more bytes. Answers the number of bytes or, through `reason`, why they are not a
// record.
std::size_t DecodeRecord(std::string_view digits, std::size_t extra, RecordBytes& bytes,
                         std::string& reason) {
    for (const char c : digits) {
        if (DigitValue[static_cast<unsigned char>(c)] < 0) {
            reason = std::string("'") + c + "' is not a hex digit";
            return 0;
        }
    }
    if (digits.size() % 2 != 0) {
        reason = "odd number of hex digits";
        return 0;
    }
    const std::size_t present = digits.size() / 2;
    if (present == 0) {
        reason = "record too short";
        return 0;
    }
    const auto byteAt = [&](std::size_t i) {
        return static_cast<std::uint8_t>(DigitValue[static_cast<unsigned char>(digits[2 * i])]
                                             << 4 |
                                         DigitValue[static_cast<unsigned char>(digits[2 * i + 1])]);
    };
    const std::size_t expected = 1 + byteAt(0) + extra;
    if (present != expected) {
        reason = "byte count " + Hex2(byteAt(0)) + " needs " + std::to_string(expected) +
                 " bytes in the record, the line holds " + std::to_string(present);
        return 0;
    }
    for (std::size_t i = 0; i < present; ++i) {
        bytes[i] = byteAt(i);
    }
    return present;
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

std::string_view WithoutTrailingBlanks(std::string_view text) {
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) {
        text.remove_suffix(1);
    }
    return text;
}

} // namespace

void HexFileReader::SetBuffer(std::span<std::uint8_t> buffer) {
    image = buffer;
}

void HexFileReader::Begin() {
    defined = DefinedAddresses{};
    lineOfAddress.assign(image.size(), 0);
    line.clear();
    lineNumber = 0;
    afterCarriageReturn = false;
    addressBase = 0;
    intelRecordSeen = false;
    endRecordSeen = false;
    startAddressSeen = false;
    failure = {};
}

bool HexFileReader::Fail(int lineNo, std::string reason) {
    failure = {lineNo, std::move(reason)};
    return false;
}

bool HexFileReader::Feed(std::string_view piece) {
    while (!piece.empty()) {
        if (afterCarriageReturn) {
            afterCarriageReturn = false;
            if (piece.front() == '\n') { // the LF of a CR LF line end
                piece.remove_prefix(1);
                continue;
            }
        }
        const std::size_t end = piece.find_first_of("\r\n");
        const std::string_view part = piece.substr(0, end);
        if (line.size() + part.size() > MaxLineLength) {
            return Fail(lineNumber + 1, "line longer than " + std::to_string(MaxLineLength) +
                                            " characters: not a record");
        }
        line.append(part);
        if (end == std::string_view::npos) {
            return true;
        }
        afterCarriageReturn = piece[end] == '\r';
        piece.remove_prefix(end + 1);
        if (!EndLine()) {
            return false;
        }
    }
    return true;
}

bool HexFileReader::EndLine() {
    ++lineNumber;
    std::string reason = ParseLine(line);
    line.clear();
    return reason.empty() || Fail(lineNumber, std::move(reason));
}

bool HexFileReader::Finish() {
    if (!line.empty() && !EndLine()) {
        return false;
    }
    if (defined.count == 0) {
        return Fail(0, "holds no data");
    }
    if (intelRecordSeen && !endRecordSeen) {
        return Fail(0, "ends without an end record: truncated?");
    }
    defined.bits.assign(image.size(), false);
    for (std::size_t address = 0; address < lineOfAddress.size(); ++address) {
        if (lineOfAddress[address] != 0) {
            defined.bits[address] = true;
        }
    }
    return true;
}

bool HexFileReader::ReadFile(const std::filesystem::path& path, HexFileError& error) {
    InputFile file;
    std::string reason;
    if (file.Open(path, MaxHexFileSize, reason) != InputFile::Status::Open) {
        error = {0, reason};
        return false;
    }
    Begin();
    std::string_view piece;
    do {
        if (!file.ReadPiece(piece, reason)) {
            error = {0, reason};
            return false;
        }
        if (!Feed(piece)) {
            error = failure;
            return false;
        }
    } while (!piece.empty());
    if (!Finish()) {
        error = failure;
        return false;
    }
    return true;
}

bool HexFileReader::ReadText(std::string_view text, HexFileError& error) {
    Begin();
    if (!Feed(text) || !Finish()) {
        error = failure;
        return false;
    }
    return true;
}

std::string HexFileReader::ParseLine(std::string_view text) {
    text = WithoutTrailingBlanks(text);
    if (text.empty()) {
        return {};
    }
    if (endRecordSeen) {
        return "text after the end record";
    }
    if (text.front() == ':') {
        intelRecordSeen = true;
        return ParseIntelRecord(text.substr(1));
    }
    if (text.front() == 'S' && text.size() >= 2 && text[1] >= '0' && text[1] <= '9') {
        return ParseSRecord(text[1], text.substr(2));
    }
    return "not an Intel HEX or S-record line";
}

std::string HexFileReader::ParseIntelRecord(std::string_view digits) {
    RecordBytes bytes;
    std::string reason;
    // After the count: address (2), type (1), data (count) and checksum (1).
    const std::size_t size = DecodeRecord(digits, 4, bytes, reason);
    if (size == 0) {
        return reason;
    }
    if (SumOf(bytes.data(), size) != 0) {
        return "checksum mismatch";
    }
    const std::size_t count = bytes[0];
    const std::uint64_t address = BigEndian(&bytes[1], 2);
    const std::uint8_t type = bytes[3];
    const std::span<const std::uint8_t> data(&bytes[4], count);
    switch (type) {
    case 0x00:
        return StoreData(addressBase + address, data);
    case 0x01:
        if (count != 0) {
            return "end record holds data";
        }
        endRecordSeen = true;
        return {};
    case 0x02:
    case 0x04:
        if (count != 2 || address != 0) {
            return "extended address record must hold 2 bytes at address 0000";
        }
        addressBase =
            type == 0x02 ? BigEndian(data.data(), 2) * 16 : BigEndian(data.data(), 2) << 16;
        return {};
    case 0x03:
    case 0x05:
        if (count != 4 || address != 0) {
            return "start address record must hold 4 bytes at address 0000";
        }
        if (startAddressSeen) {
            return "a second start address record";
        }
        startAddressSeen = true;
        return {};
    default:
        return "unknown record type " + Hex2(type);
    }
}

std::string HexFileReader::ParseSRecord(char type, std::string_view digits) {
    // The address length of each type; its count covers address, data and checksum.
    std::size_t addressLength = 0;
    switch (type) {
    case '0':
    case '1':
    case '5':
    case '9':
        addressLength = 2;
        break;
    case '2':
    case '6':
    case '8':
        addressLength = 3;
        break;
    case '3':
    case '7':
        addressLength = 4;
        break;
    default:
        return std::string("unknown record type S") + type;
    }
    RecordBytes bytes;
    std::string reason;
    const std::size_t size = DecodeRecord(digits, 0, bytes, reason);
    if (size == 0) {
        return reason;
    }
    if (size < 2 + addressLength) {
        return std::string("S") + type + " record too short for its " +
               std::to_string(addressLength) + "-byte address";
    }
    if (SumOf(bytes.data(), size) != 0xFF) {
        return "checksum mismatch";
    }
    const std::uint64_t address = BigEndian(&bytes[1], addressLength);
    const std::span<const std::uint8_t> data(&bytes[1 + addressLength], size - 2 - addressLength);
    switch (type) {
    case '0':
        return {};
    case '1':
    case '2':
    case '3':
        return StoreData(address, data);
    case '5':
    case '6':
        return data.empty() ? std::string() : "record count holds data";
    default:
        if (!data.empty()) {
            return "end record holds data";
        }
        endRecordSeen = true;
        return {};
    }
}

std::string HexFileReader::StoreData(std::uint64_t address, std::span<const std::uint8_t> data) {
    if (data.empty()) {
        return {};
    }
    if (address + data.size() > image.size()) {
        return "address " + Hex(std::max<std::uint64_t>(address, image.size())) +
               " lies beyond the image (" + Hex(image.size()) + " bytes)";
    }
    for (std::size_t i = 0; i < data.size(); ++i) {
        const std::uint32_t earlier = lineOfAddress[address + i];
        if (earlier != 0) {
            char text[96];
            std::snprintf(text, sizeof text, "address %08llX is given twice, lines %u and %d",
                          static_cast<unsigned long long>(address + i), earlier, lineNumber);
            return text;
        }
    }
    static_assert(std::numeric_limits<std::uint32_t>::max() > MaxHexFileSize);
    for (std::size_t i = 0; i < data.size(); ++i) {
        image[address + i] = data[i];
        lineOfAddress[address + i] = static_cast<std::uint32_t>(lineNumber);
    }
    const std::size_t last = static_cast<std::size_t>(address) + data.size() - 1;
    defined.lowest = defined.count == 0 ? address : std::min<std::size_t>(defined.lowest, address);
    defined.highest = std::max(defined.highest, last);
    defined.count += data.size();
    return {};
}

bool LoadImageFile(const std::filesystem::path& path, std::span<std::uint8_t> image,
                   std::size_t shownLength, DefinedAddresses& defined, HexFileError& error) {
    std::vector<std::uint8_t> copy(image.begin(), image.end());
    std::fill_n(copy.begin(), std::min(shownLength, copy.size()), ErasedByte);
    HexFileReader reader;
    reader.SetBuffer(copy);
    if (!reader.ReadFile(path, error)) {
        return false;
    }
    std::copy(copy.begin(), copy.end(), image.begin());
    defined = reader.Defined();
    return true;
}

bool LoadImageFile(const std::filesystem::path& path, std::span<std::uint8_t> image,
                   std::size_t shownLength, HexFileError& error) {
    DefinedAddresses defined;
    return LoadImageFile(path, image, shownLength, defined, error);
}

} // namespace zelk
