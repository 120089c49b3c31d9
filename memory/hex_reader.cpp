// SPDX-License-Identifier: GPL-3.0-or-later
#include "memory/hex_file.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unistd.h>

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
    const std::size_t present = digits.size() / 2;
    if (digits.size() % 2 == 0 && present > 0 && present <= bytes.size()) {
        // One pass: a character that is no digit has the value -1, which the OR keeps.
        std::int8_t invalid = 0;
        for (std::size_t i = 0; i < present; ++i) {
            const std::int8_t high = DigitValue[static_cast<unsigned char>(digits[2 * i])];
            const std::int8_t low = DigitValue[static_cast<unsigned char>(digits[2 * i + 1])];
            invalid = static_cast<std::int8_t>(invalid | high | low);
            bytes[i] = static_cast<std::uint8_t>(high << 4 | (low & 0x0F));
        }
        if (invalid >= 0 && present == 1 + bytes[0] + extra) {
            return present;
        }
    }
    // Not a record: say why, in the order a reader of the line would notice.
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
    if (present == 0) {
        reason = "record too short";
        return 0;
    }
    const auto count =
        static_cast<unsigned>(DigitValue[static_cast<unsigned char>(digits[0])] << 4 |
                              DigitValue[static_cast<unsigned char>(digits[1])]);
    reason = "byte count " + Hex2(count) + " needs " + std::to_string(1 + count + extra) +
             " bytes in the record, the line holds " + std::to_string(present);
    return 0;
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

bool HexFileReader::Fail(int lineNo, std::string reason) {
    failure = {lineNo, std::move(reason)};
    return false;
}

void HexFileReader::Begin() {
    defined.Clear();
    ranges.clear();
    inOrder = true;
    lineNumber = 0;
    addressBase = 0;
    intelRecordSeen = false;
    endRecordSeen = false;
    startAddressSeen = false;
    failure = {};
}

bool HexFileReader::ReadText(std::string_view contents, HexFileError& error) {
    Begin();
    text = contents;
    file = -1;
    std::size_t used = 0;
    if (!ReadLines(contents, true, used) || !Finish()) {
        error = failure;
        return false;
    }
    return true;
}

bool HexFileReader::ReadFile(int fd, HexFileError& error) {
    Begin();
    text = {};
    file = fd;
    if (!ReadPieces() || !Finish()) {
        error = failure;
        return false;
    }
    return true;
}

bool HexFileReader::ReadPieces() {
    // One piece of the file at a time, its whole lines read where they stand; the start of a
    // line that goes on in the next piece moves to the front of the buffer.
    constexpr std::size_t PieceSize = 64 * 1024;
    std::vector<char> buffer(MaxLineLength + 1 + PieceSize);
    std::size_t kept = 0;
    std::uint64_t offset = 0;
    for (;;) {
        const ssize_t got =
            ::pread(file, buffer.data() + kept, PieceSize, static_cast<off_t>(offset));
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            return Fail(0, std::string("cannot read: ") + std::strerror(errno));
        }
        offset += static_cast<std::uint64_t>(got);
        if (offset > MaxHexFileSize) {
            return Fail(0, "larger than " + std::to_string(MaxHexFileSize >> 20) + " MiB");
        }
        const std::size_t filled = kept + static_cast<std::size_t>(got);
        std::size_t used = 0;
        if (!ReadLines({buffer.data(), filled}, got == 0, used)) {
            return false;
        }
        if (got == 0) {
            return true;
        }
        kept = filled - used;
        if (kept > MaxLineLength) {
            return Fail(lineNumber + 1, "line longer than " + std::to_string(MaxLineLength) +
                                            " characters: not a record");
        }
        std::memmove(buffer.data(), buffer.data() + used, kept);
    }
}

bool HexFileReader::ReadLines(std::string_view contents, bool last, std::size_t& used) {
    const char* const start = contents.data();
    const char* at = start;
    const char* const end = at + contents.size();
    // The next LF, found once for all the lines before it, so that a file of CR line ends is
    // not searched to its end for every line.
    const char* newline = at;
    while (at < end) {
        if (newline < at) {
            newline = at;
        }
        if (newline < end && *newline != '\n') {
            newline = static_cast<const char*>(std::memchr(newline, '\n', end - newline));
            newline = newline != nullptr ? newline : end;
        }
        const auto* carriageReturn = static_cast<const char*>(std::memchr(at, '\r', newline - at));
        const char* lineEnd = carriageReturn != nullptr ? carriageReturn : newline;
        // A line whose end is not in this piece, or a CR whose LF may be, waits for the next.
        if (!last && (lineEnd == end || (lineEnd + 1 == end && lineEnd == carriageReturn))) {
            break;
        }
        ++lineNumber;
        if (static_cast<std::size_t>(lineEnd - at) > MaxLineLength) {
            return Fail(lineNumber, "line longer than " + std::to_string(MaxLineLength) +
                                        " characters: not a record");
        }
        if (std::string reason = ParseLine({at, static_cast<std::size_t>(lineEnd - at)});
            !reason.empty()) {
            return Fail(lineNumber, std::move(reason));
        }
        at = lineEnd + 1;
        if (lineEnd == carriageReturn && at < end && *at == '\n') {
            ++at; // the LF of a CR LF line end
        }
    }
    used = static_cast<std::size_t>(std::min(at, end) - start);
    return true;
}

bool HexFileReader::Finish() {
    if (!inOrder) {
        // A record given out of order may overlap any earlier one.
        std::sort(ranges.begin(), ranges.end(),
                  [](const AddressRange& a, const AddressRange& b) { return a.begin < b.begin; });
        for (std::size_t i = 1; i < ranges.size(); ++i) {
            if (ranges[i].begin < ranges[i - 1].end) {
                return FailTwice(ranges[i].begin);
            }
        }
    }
    for (const AddressRange& range : ranges) {
        defined.Add(range.begin, range.end);
    }
    if (defined.Empty()) {
        return Fail(0, "holds no data");
    }
    if (intelRecordSeen && !endRecordSeen) {
        return Fail(0, "ends without an end record: truncated?");
    }
    return true;
}

bool HexFileReader::FailTwice(std::size_t address) {
    HexFileReader finder;
    finder.SetBuffer(image);
    finder.sought = address;
    HexFileError ignored;
    if (file >= 0) {
        finder.ReadFile(file, ignored);
    } else {
        finder.ReadText(text, ignored);
    }
    const std::vector<int>& lines = finder.linesGiving;
    const int earlier = lines.empty() ? 0 : lines[0];
    const int later = lines.size() < 2 ? lineNumber : lines[1];
    char message[96];
    std::snprintf(message, sizeof message, "address %08llX is given twice, lines %d and %d",
                  static_cast<unsigned long long>(address), earlier, later);
    return Fail(later, message);
}

std::string HexFileReader::ParseLine(std::string_view line) {
    line = WithoutTrailingBlanks(line);
    if (line.empty()) {
        return {};
    }
    if (endRecordSeen) {
        return "text after the end record";
    }
    if (line.front() == ':') {
        intelRecordSeen = true;
        return ParseIntelRecord(line.substr(1));
    }
    if (line.front() == 'S' && line.size() >= 2 && line[1] >= '0' && line[1] <= '9') {
        return ParseSRecord(line[1], line.substr(2));
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
    const auto begin = static_cast<std::size_t>(address);
    const std::size_t end = begin + data.size();
    if (sought) {
        if (begin <= *sought && *sought < end) {
            linesGiving.push_back(lineNumber);
        }
        return {};
    }
    if (ranges.empty()) {
        ranges.push_back({begin, end});
    } else if (AddressRange& last = ranges.back(); begin < last.end && end > last.begin) {
        FailTwice(std::max(begin, last.begin));
        return failure.reason;
    } else if (begin == last.end) {
        last.end = end;
    } else {
        inOrder = inOrder && begin > last.end;
        ranges.push_back({begin, end});
    }
    std::memcpy(image.data() + begin, data.data(), data.size());
    return {};
}

} // namespace zelk
