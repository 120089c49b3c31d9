// SPDX-License-Identifier: GPL-3.0-or-later
// The HEX and S-record reader alone: the file is read into memory once, then parsed over and
// over into an image of its size, and the best pass is reported in MB/s of record text.
//   hex_reader_bench FILE [IMAGE_BYTES] [PASSES]
#include "memory/hex_file.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: hex_reader_bench FILE [IMAGE_BYTES] [PASSES]\n");
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::size_t imageBytes =
        argc > 2 ? std::strtoull(argv[2], nullptr, 0) : std::size_t{16} * 1024 * 1024;
    const int passes = argc > 3 ? std::atoi(argv[3]) : 20;
    std::vector<std::uint8_t> image(imageBytes, 0xFF);
    double best = 1e9;
    for (int pass = 0; pass < passes; ++pass) {
        zelk::HexFileReader reader;
        reader.SetBuffer(image);
        zelk::HexFileError error;
        const auto start = std::chrono::steady_clock::now();
        if (!reader.ReadText(text, error)) {
            std::fprintf(stderr, "%s:%d: %s\n", argv[1], error.line, error.reason.c_str());
            return 1;
        }
        best = std::min(
            best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    std::printf("reader alone: %.0f MB/s (%zu bytes of text in %.2f ms, best of %d)\n",
                static_cast<double>(text.size()) / best / 1e6, text.size(), best * 1e3, passes);
    return 0;
}
