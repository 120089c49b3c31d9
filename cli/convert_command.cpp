// SPDX-License-Identifier: GPL-3.0-or-later
// zelk-cli convert: turns a HEX, S-record, binary or ELF file into HEX, S-records or binary.
#include "cli/cli_messages.h"
#include "cli/commands.h"
#include "cli/exit_status.h"
#include "cli/own_files.h"
#include "memory/image_file.h"
#include "memory/target_images.h"

#include <charconv>
#include <memory>
#include <optional>
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
    std::string size; // empty: up to the flash image's size, a binary ending at the last byte
    std::string outputFormatName; // empty: from OUT's extension
    std::string memoryName = "flash";
};

std::string Shown(const std::string& file, const char* stream) {
    return file == StandardStreamName ? stream : file;
}

const char* NameOf(OtherMemory memory) {
    switch (memory) {
    case OtherMemory::Fuses:
        return "fuses";
    case OtherMemory::LockBits:
        return "lock bits";
    case OtherMemory::Signature:
        return "signature";
    case OtherMemory::UserSignatures:
        break;
    }
    return "user signatures";
}

int RunConvert(const ConvertOptions& options) {
    const auto outputFormat = OutputFormatNamed(options.outputFormatName);
    const MemoryKind memory =
        options.memoryName == "eeprom" ? MemoryKind::Eeprom : MemoryKind::Flash;
    std::string formatError;
    if (!OutputFormatFor(options.output, outputFormat, formatError)) {
        PrintError(Shown(options.output, "standard output") + ": " + formatError);
        return ExitUsage;
    }
    const std::string input = Shown(options.input, "standard input");
    std::size_t size = FlashImageSize;
    ParseImageSize(options.size, size);
    std::vector<std::uint8_t> image(size, ErasedByte);
    LoadedImage loaded;
    HexFileError readError;
    if (!LoadScratchImage(options.input, memory, image, loaded, readError)) {
        PrintError(input + (readError.line > 0 ? ":" + std::to_string(readError.line) : "") + ": " +
                   readError.reason);
        return ExitFailure;
    }
    for (const OtherMemoryData& other : loaded.otherMemories) {
        PrintNote(input + ": section " + other.section + " (" + NameOf(other.memory) + ", " +
                  std::to_string(other.bytes.size()) +
                  (other.bytes.size() == 1 ? " byte" : " bytes") + ") is not converted");
    }
    std::string writeError;
    // The output holds what the input defines, no more: a converted 4-byte .eep written back
    // touches 4 bytes. Only a binary of a stated size is filled up to it.
    const bool whole =
        !options.size.empty() &&
        outputFormat.value_or(ImageFormat::Binary) == ImageFormat::Binary &&
        FormatOfExtension(options.output).value_or(ImageFormat::Binary) == ImageFormat::Binary;
    if (!WriteImageAnyFormat(options.output, outputFormat, image, writeError,
                             whole ? nullptr : &loaded.defined)) {
        PrintError(Shown(options.output, "standard output") + ": " + writeError);
        return ExitFailure;
    }
    return 0;
}

} // namespace

void AddConvertCommand(CLI::App& app, int& exitCode,
                       const std::shared_ptr<const TargetOptions>& connection) {
    auto options = std::make_shared<ConvertOptions>();
    CLI::App* command = app.add_subcommand(
        "convert", "Convert a HEX, S-record, binary or ELF file to HEX, S-records or binary");
    command->footer(
        "IN is read into an image of SIZE bytes (default 128 KiB) filled with 0xFF. Its "
        "extension names its format: Intel HEX (.hex .ihx .ihex .eep), S-records (.srec .s19 "
        ".s28 .s37 .mot), raw binary (.bin, loaded at address 0) or ELF (.elf, as avr-gcc links "
        "it); any other name, and - for standard input, is told by its content (ELF, Intel HEX "
        "or S-records). OUT's extension, or --output-format, chooses its format: Intel HEX, "
        "S-records or raw binary; - writes to standard output and needs --output-format. HEX and "
        "S-record output holds records for exactly the addresses IN defines; a binary ends at "
        "the last byte IN defines, or with --size is exactly SIZE bytes.\n"
        "Exit status: 0 done, 1 a file could not be read or written, 2 usage error.");
    command->add_option("IN", options->input, "File to read, or - for standard input")->required();
    command
        ->add_option("OUT", options->output,
                     "File to write, replaced atomically, or - for standard output")
        ->required();
    command
        ->add_option("--output-format", options->outputFormatName,
                     "Format of OUT: hex, srec or bin")
        ->transform(CLI::IsMember({"hex", "srec", "bin"}, CLI::ignore_case))
        ->option_text("FORMAT");
    command
        ->add_option("--memory", options->memoryName,
                     "Memory to take from an ELF file: flash (the default) or eeprom")
        ->transform(CLI::IsMember({"flash", "eeprom"}, CLI::ignore_case))
        ->option_text("MEMORY");
    command
        ->add_option("--size", options->size,
                     "Image size in bytes, decimal or 0x hex, at most 16 MiB (default 128 KiB); "
                     "data beyond it is an error, and a binary OUT is exactly this size")
        ->check(CLI::Validator(
            [](std::string& text) {
                std::size_t size = 0;
                return ParseImageSize(text, size)
                           ? std::string()
                           : "must be a number from 1 to 16 MiB (decimal or 0x hex)";
            },
            "SIZE"));
    command->callback([options, connection, &exitCode] {
        UseJsonMessages(connection->Style() == ProgressStyle::Json);
        if (const std::optional<std::string> problem =
                OwnFileProblem(options->output, *connection)) {
            PrintError(*problem);
            exitCode = ExitUsage;
            return;
        }
        exitCode = RunConvert(*options);
    });
}

} // namespace zelk
