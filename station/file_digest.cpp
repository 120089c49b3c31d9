// SPDX-License-Identifier: GPL-3.0-or-later
#include "station/file_digest.h"

#include <array>
#include <cstdint>
#include <fstream>
#include <nettle/sha2.h>

namespace zelk {
namespace {

class Sha256 {
public:
    Sha256() { sha256_init(&context); }
    void Add(const char* bytes, std::size_t length) {
        sha256_update(&context, length, reinterpret_cast<const std::uint8_t*>(bytes));
    }
    std::string Hex() {
        std::array<std::uint8_t, SHA256_DIGEST_SIZE> digest{};
        sha256_digest(&context, digest.size(), digest.data());
        static constexpr char Digits[] = "0123456789abcdef";
        std::string hex;
        for (const std::uint8_t byte : digest) {
            hex += Digits[byte >> 4];
            hex += Digits[byte & 0x0F];
        }
        return hex;
    }

private:
    sha256_ctx context{};
};

} // namespace

std::string Sha256Hex(std::string_view bytes) {
    Sha256 sha;
    sha.Add(bytes.data(), bytes.size());
    return sha.Hex();
}

std::optional<std::string> FileSha256(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    Sha256 sha;
    std::array<char, 65536> block{};
    while (in.read(block.data(), block.size()) || in.gcount() > 0) {
        sha.Add(block.data(), static_cast<std::size_t>(in.gcount()));
    }
    if (in.bad()) {
        return std::nullopt;
    }
    return sha.Hex();
}

} // namespace zelk
