// SPDX-License-Identifier: GPL-3.0-or-later
#include "memory/hex_file.h"
#include "memory/image_file.h"
#include "memory/target_images.h"
#include "platform/atomic_file.h"

#include <algorithm>
#include <array>
#include <optional>
#include <vector>

namespace zelk {
namespace {

constexpr std::size_t BytesPerRecord = 16;

bool IsErased(std::span<const std::uint8_t> bytes) {
    return std::all_of(bytes.begin(), bytes.end(), [](std::uint8_t b) { return b == ErasedByte; });
}

// The pieces of the image that become records: within the defined ranges, or for the whole
// image every 16-byte piece that holds anything but 0xFF. A piece never crosses a 16-byte
// boundary, so none crosses a 64 KiB one.
std::vector<AddressRange> RecordPieces(std::span<const std::uint8_t> bytes,
                                       const std::vector<AddressRange>* defined) {
    std::vector<AddressRange> pieces;
    if (defined == nullptr) {
        for (std::size_t address = 0; address < bytes.size(); address += BytesPerRecord) {
            const std::size_t end = std::min(address + BytesPerRecord, bytes.size());
            if (!IsErased(bytes.subspan(address, end - address))) {
                pieces.push_back({address, end});
            }
        }
        return pieces;
    }
    for (const AddressRange& range : *defined) {
        for (std::size_t address = range.begin; address < range.end;) {
            const std::size_t end =
                std::min((address / BytesPerRecord + 1) * BytesPerRecord, range.end);
            pieces.push_back({address, end});
            address = end;
        }
    }
    return pieces;
}

// Appends one record: `header` characters, then `fields` as hex digit pairs, then the
// checksum computed by `checksum` over the fields, then the line end.
class RecordBuilder {
public:
    explicit RecordBuilder(std::string& out) : text(out) {}

    void Start(std::string_view header) {
        text.append(header);
        sum = 0;
    }
    void Byte(std::uint8_t value) {
        static constexpr char Digits[] = "0123456789ABCDEF";
        text.push_back(Digits[value >> 4]);
        text.push_back(Digits[value & 0x0F]);
        sum = static_cast<std::uint8_t>(sum + value);
    }
    void BigEndian(std::uint32_t value, int bytes) {
        for (int i = bytes - 1; i >= 0; --i) {
            Byte(static_cast<std::uint8_t>(value >> (8 * i)));
        }
    }
    void Bytes(std::span<const std::uint8_t> bytes) {
        for (std::uint8_t b : bytes) {
            Byte(b);
        }
    }
    // Intel HEX: the record's bytes, checksum included, sum to 0.
    void EndIntel() { End(static_cast<std::uint8_t>(0x100 - sum)); }
    // S-record: count, address, data and checksum sum to 0xFF.
    void EndSRecord() { End(static_cast<std::uint8_t>(0xFF - sum)); }

private:
    void End(std::uint8_t checksum) {
        Byte(checksum);
        text.push_back('\n');
    }

    std::string& text;
    std::uint8_t sum = 0;
};

std::string IntelHexText(std::span<const std::uint8_t> bytes,
                         const std::vector<AddressRange>& pieces) {
    std::string text;
    text.reserve(pieces.size() * 44 + 12);
    RecordBuilder record(text);
    std::uint32_t upper = 0;
    for (const AddressRange& piece : pieces) {
        const std::size_t address = piece.begin;
        if (address >> 16 != upper) {
            upper = static_cast<std::uint32_t>(address >> 16);
            record.Start(":");
            record.Bytes(std::array<std::uint8_t, 4>{0x02, 0x00, 0x00, 0x04});
            record.BigEndian(upper, 2);
            record.EndIntel();
        }
        const auto data = bytes.subspan(address, piece.end - piece.begin);
        record.Start(":");
        record.Byte(static_cast<std::uint8_t>(data.size()));
        record.BigEndian(static_cast<std::uint32_t>(address & 0xFFFF), 2);
        record.Byte(0x00);
        record.Bytes(data);
        record.EndIntel();
    }
    text.append(":00000001FF\n");
    return text;
}

std::string SRecordText(std::span<const std::uint8_t> bytes,
                        const std::vector<AddressRange>& pieces) {
    const std::size_t highest = pieces.empty() ? 0 : pieces.back().end - 1;
    // The narrowest address that reaches every record: S1/S9, S2/S8 or S3/S7.
    const int addressBytes = highest <= 0xFFFF ? 2 : highest <= 0xFFFFFF ? 3 : 4;
    const std::string dataHeader{'S', static_cast<char>('0' + addressBytes - 1)};
    const std::string endHeader{'S', static_cast<char>('0' + 11 - addressBytes)};

    std::string text;
    text.reserve(pieces.size() * 48 + 40);
    RecordBuilder record(text);
    static constexpr std::string_view HeaderName = "zelk";
    record.Start("S0");
    record.Byte(static_cast<std::uint8_t>(2 + HeaderName.size() + 1));
    record.BigEndian(0, 2);
    for (char c : HeaderName) {
        record.Byte(static_cast<std::uint8_t>(c));
    }
    record.EndSRecord();
    for (const AddressRange& piece : pieces) {
        const auto data = bytes.subspan(piece.begin, piece.end - piece.begin);
        record.Start(dataHeader);
        record.Byte(static_cast<std::uint8_t>(addressBytes + data.size() + 1));
        record.BigEndian(static_cast<std::uint32_t>(piece.begin), addressBytes);
        record.Bytes(data);
        record.EndSRecord();
    }
    record.Start(endHeader);
    record.Byte(static_cast<std::uint8_t>(addressBytes + 1));
    record.BigEndian(0, addressBytes);
    record.EndSRecord();
    return text;
}

} // namespace

std::string ImageText(ImageFormat format, std::span<const std::uint8_t> bytes,
                      const std::vector<AddressRange>* defined) {
    switch (format) {
    case ImageFormat::IntelHex:
        return IntelHexText(bytes, RecordPieces(bytes, defined));
    case ImageFormat::SRecord:
        return SRecordText(bytes, RecordPieces(bytes, defined));
    case ImageFormat::Binary:
    case ImageFormat::Elf:
        break;
    }
    return std::string(BinaryText(bytes, defined));
}

std::string_view BinaryText(std::span<const std::uint8_t> bytes,
                            const std::vector<AddressRange>* defined) {
    std::size_t end = bytes.size();
    if (defined != nullptr) {
        end = defined->empty() ? 0 : std::min(defined->back().end, bytes.size());
    }
    return {reinterpret_cast<const char*>(bytes.data()), end};
}

bool WriteImageFile(const std::filesystem::path& path, std::span<const std::uint8_t> bytes,
                    std::string& error) {
    const std::optional<ImageFormat> format = FormatOfExtension(path);
    if (!format || *format == ImageFormat::Elf) {
        error = "unknown file type \"" + path.extension().string() + "\" (use .hex, .srec or .bin)";
        return false;
    }
    if (bytes.size() > 0x100000000) {
        error = "image larger than 4 GiB";
        return false;
    }
    return ReplaceFileAtomically(path, ImageText(*format, bytes, nullptr), error);
}

} // namespace zelk
