// zelk-cli convert: turns an Intel HEX or S-record file into HEX, S-records or binary.
#include "cli/commands.h"
#include "memory/hex_file.h"
#include "memory/target_images.h"

#include <charconv>
#include <iostream>
#include <memory>
#include <vector>

namespace zelk {
namespace {

constexpr std::size_t MaxImageSize = 16 * 1024 * 1024;

// Decimal, or hexadecimal after "0x"; nothing else may follow the number.
bool ParseImageSize(std::string_view text, std::size_t& size) {
    int base = 10;
    if (text.starts_with("0x") || text.starts_with("0X")) {
        text.remove_prefix(2);
        base = 16;
    }
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, size, base);
    return !text.empty() && error == std::errc{} && stop == end && size > 0 && size <= MaxImageSize;
}

struct ConvertOptions {
    std::string input;
    std::string output;
    std::string size = "0x20000";
};

int RunConvert(const ConvertOptions& options) {
    std::size_t size = 0;
    ParseImageSize(options.size, size);
    std::vector<std::uint8_t> image(size, ErasedByte);
    HexFileError readError;
    if (!LoadImageFile(options.input, image, image.size(), readError)) {
        std::cerr << "zelk-cli: " << options.input;
        if (readError.line > 0) {
            std::cerr << ':' << readError.line;
        }
        std::cerr << ": " << readError.reason << '\n';
        return 1;
    }
    std::string writeError;
    if (!WriteImageFile(options.output, image, writeError)) {
        std::cerr << "zelk-cli: " << options.output << ": " << writeError << '\n';
        return 1;
    }
    return 0;
}

} // namespace

void AddConvertCommand(CLI::App& app, int& exitCode) {
    auto options = std::make_shared<ConvertOptions>();
    CLI::App* command =
        app.add_subcommand("convert", "Convert a HEX or S-record file to HEX, S-records or binary");
    command->footer("IN (Intel HEX or S-records, told apart by content) is read into an image "
                    "of SIZE bytes filled with 0xFF. OUT's extension chooses its format: Intel "
                    "HEX (.hex .ihx .ihex), S-records (.srec .s19 .s28 .s37 .mot) or raw binary "
                    "(.bin, the whole image). HEX output leaves out records that hold only 0xFF.\n"
                    "Exit status: 0 done, 1 a file could not be read or written, 2 usage error.");
    command->add_option("IN", options->input, "HEX or S-record file to read")->required();
    command->add_option("OUT", options->output, "File to write, replaced atomically")->required();
    command
        ->add_option("--size", options->size,
                     "Image size in bytes, decimal or 0x hex, at most 16 MiB; data beyond it "
                     "is an error")
        ->capture_default_str()
        ->check(CLI::Validator(
            [](std::string& text) {
                std::size_t size = 0;
                return ParseImageSize(text, size)
                           ? std::string()
                           : "must be a number from 1 to 16 MiB (decimal or 0x hex)";
            },
            "SIZE"));
    command->callback([options, &exitCode] { exitCode = RunConvert(*options); });
}

} // namespace zelk
