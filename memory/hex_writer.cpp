#include "memory/hex_file.h"
#include "memory/target_images.h"
#include "platform/atomic_file.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <optional>

namespace zelk {
namespace {

enum class FileFormat { IntelHex, SRecord, Binary };

constexpr std::size_t BytesPerRecord = 16;

std::optional<FileFormat> FormatOf(const std::filesystem::path& path) {
    std::string extension = path.extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (extension == ".hex" || extension == ".ihx" || extension == ".ihex") {
        return FileFormat::IntelHex;
    }
    if (extension == ".srec" || extension == ".s19" || extension == ".s28" || extension == ".s37" ||
        extension == ".mot") {
        return FileFormat::SRecord;
    }
    if (extension == ".bin") {
        return FileFormat::Binary;
    }
    return std::nullopt;
}

bool IsErased(std::span<const std::uint8_t> bytes) {
    return std::all_of(bytes.begin(), bytes.end(), [](std::uint8_t b) { return b == ErasedByte; });
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

std::string IntelHexText(std::span<const std::uint8_t> bytes) {
    std::string text;
    text.reserve(bytes.size() / BytesPerRecord * 44);
    RecordBuilder record(text);
    std::uint32_t upper = 0;
    for (std::size_t address = 0; address < bytes.size(); address += BytesPerRecord) {
        const auto data = bytes.subspan(address, std::min(BytesPerRecord, bytes.size() - address));
        if (IsErased(data)) {
            continue;
        }
        // Records start on 16-byte boundaries, so none crosses a 64 KiB boundary.
        if (address >> 16 != upper) {
            upper = static_cast<std::uint32_t>(address >> 16);
            record.Start(":");
            record.Bytes(std::array<std::uint8_t, 4>{0x02, 0x00, 0x00, 0x04});
            record.BigEndian(upper, 2);
            record.EndIntel();
        }
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

std::string SRecordText(std::span<const std::uint8_t> bytes) {
    std::size_t highest = 0;
    for (std::size_t address = 0; address < bytes.size(); address += BytesPerRecord) {
        const auto data = bytes.subspan(address, std::min(BytesPerRecord, bytes.size() - address));
        if (!IsErased(data)) {
            highest = address + data.size() - 1;
        }
    }
    // The narrowest address that reaches every record: S1/S9, S2/S8 or S3/S7.
    const int addressBytes = highest <= 0xFFFF ? 2 : highest <= 0xFFFFFF ? 3 : 4;
    const std::string dataHeader{'S', static_cast<char>('0' + addressBytes - 1)};
    const std::string endHeader{'S', static_cast<char>('0' + 11 - addressBytes)};

    std::string text;
    text.reserve(bytes.size() / BytesPerRecord * 48);
    RecordBuilder record(text);
    static constexpr std::string_view HeaderName = "zelk";
    record.Start("S0");
    record.Byte(static_cast<std::uint8_t>(2 + HeaderName.size() + 1));
    record.BigEndian(0, 2);
    for (char c : HeaderName) {
        record.Byte(static_cast<std::uint8_t>(c));
    }
    record.EndSRecord();
    for (std::size_t address = 0; address < bytes.size(); address += BytesPerRecord) {
        const auto data = bytes.subspan(address, std::min(BytesPerRecord, bytes.size() - address));
        if (IsErased(data)) {
            continue;
        }
        record.Start(dataHeader);
        record.Byte(static_cast<std::uint8_t>(addressBytes + data.size() + 1));
        record.BigEndian(static_cast<std::uint32_t>(address), addressBytes);
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

bool WriteImageFile(const std::filesystem::path& path, std::span<const std::uint8_t> bytes,
                    std::string& error) {
    const auto format = FormatOf(path);
    if (!format) {
        error = "unknown file type \"" + path.extension().string() + "\" (use .hex, .srec or .bin)";
        return false;
    }
    if (bytes.size() > 0x100000000) {
        error = "image larger than 4 GiB";
        return false;
    }
    switch (*format) {
    case FileFormat::IntelHex:
        return ReplaceFileAtomically(path, IntelHexText(bytes), error);
    case FileFormat::SRecord:
        return ReplaceFileAtomically(path, SRecordText(bytes), error);
    case FileFormat::Binary:
        break;
    }
    return ReplaceFileAtomically(path, {reinterpret_cast<const char*>(bytes.data()), bytes.size()},
                                 error);
}

} // namespace zelk
