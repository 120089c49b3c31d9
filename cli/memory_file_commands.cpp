// SPDX-License-Identifier: GPL-3.0-or-later
// The commands that move a memory between the target and a file: read, write, verify and
// program. Files are HEX, S-records, raw binary or ELF, chosen by extension and content; "-"
// is standard input or output.
#include "cli/commands.h"
#include "cli/own_files.h"
#include "cli/target_session.h"
#include "engine/command_support.h"
#include "memory/image_file.h"

#include <cstdio>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace zelk {
namespace {

struct FileOptions {
    std::string file;
    std::string eepromFile;
    std::string format;
    bool erase = false;
    bool noVerify = false;
    bool force = false;
};

const char* MemoryName(MemoryKind memory) {
    return memory == MemoryKind::Flash ? "flash" : "EEPROM";
}

std::string HexBytes(const std::vector<std::uint8_t>& bytes) {
    std::string text;
    for (const std::uint8_t byte : bytes) {
        char hex[4];
        std::snprintf(hex, sizeof hex, "%s%02X", text.empty() ? "" : " ",
                      static_cast<unsigned>(byte));
        text += hex;
    }
    return text;
}

// What an ELF file says of the chip beyond its memories: the chip it was built for, which the
// command then requires unless forced, and fuse and lock bytes, which are never written
// silently.
void HeedElfNotes(TargetSession& session, const std::string& file, const LoadedImage& loaded,
                  bool force) {
    if (!loaded.builtFor.empty() && !force) {
        session.programmer->requiredDevices.push_back(
            {loaded.builtFor, "that " + file +
                                  " was built for (give --force to use it all the "
                                  "same)"});
    }
    for (const OtherMemoryData& other : loaded.otherMemories) {
        if (other.memory == OtherMemory::Fuses) {
            PrintNote(file + " holds fuse bytes " + HexBytes(other.bytes) +
                      "; write them with write-fuses");
        } else if (other.memory == OtherMemory::LockBits) {
            PrintNote(file + " holds lock byte " + HexBytes(other.bytes) +
                      "; write it with write-lock");
        }
    }
}

// Loads `file` into its image, which then defines the file's addresses; false after telling
// why it cannot be used (it does not load, or defines nothing). Nothing on the target has been
// touched then. An `optional` file that defines nothing loads as nothing.
bool LoadFile(TargetSession& session, const std::string& file, MemoryKind memory, bool force,
              bool optional = false) {
    TargetImages& images = session.app.images;
    std::vector<std::uint8_t>& image = images.Image(memory);
    LoadedImage loaded;
    HexFileError error;
    const bool done = optional
                          ? LoadImageAnyFormat(file, memory, image, image.size(), loaded, error)
                          : LoadImageForChip(file, memory, image, image.size(), loaded, error);
    if (!done) {
        PrintError(LoadFailureText(file, error));
        return false;
    }
    if (memory == MemoryKind::Flash || !optional) {
        HeedElfNotes(session, file, loaded, force);
    }
    for (const AddressRange& range : loaded.defined) {
        session.bytes += range.end - range.begin;
    }
    images.Defined(memory) = AddressSet(loaded.defined);
    return true;
}

CommandInput InputFor(const FileOptions& options, MemoryKind memory) {
    CommandInput input;
    (memory == MemoryKind::Flash ? input.flashName : input.eepromName) = options.file;
    input.verify = !options.noVerify;
    input.eraseFirst = options.erase;
    return input;
}

bool WriteMemory(TargetSession& session, const FileOptions& options, MemoryKind memory,
                 int& exitCode) {
    CommandOutput output;
    return LoadFile(session, options.file, memory, options.force) &&
           session.Run(memory == MemoryKind::Flash ? CommandId::WriteFlash : CommandId::WriteEeprom,
                       InputFor(options, memory), output, exitCode);
}

bool VerifyMemory(TargetSession& session, const FileOptions& options, MemoryKind memory,
                  int& exitCode) {
    CommandOutput output;
    return LoadFile(session, options.file, memory, options.force) &&
           session.Run(memory == MemoryKind::Flash ? CommandId::VerifyFlash
                                                   : CommandId::VerifyEeprom,
                       InputFor(options, memory), output, exitCode);
}

bool ProgramBoth(TargetSession& session, const FileOptions& options, int& exitCode) {
    // An ELF file carries its EEPROM too; without an EEPROM file that is what is written.
    const bool eepromOfElf =
        options.eepromFile.empty() && FormatOfExtension(options.file) == ImageFormat::Elf;
    const std::string eepromFile = eepromOfElf ? options.file : options.eepromFile;
    if (!LoadFile(session, options.file, MemoryKind::Flash, options.force) ||
        (!eepromFile.empty() &&
         !LoadFile(session, eepromFile, MemoryKind::Eeprom, options.force, eepromOfElf))) {
        return false;
    }
    CommandInput input;
    input.flashName = options.file;
    input.eepromName = eepromFile;
    CommandOutput output;
    return session.Run(CommandId::Program, input, output, exitCode);
}

bool ReadMemory(TargetSession& session, const TargetOptions& connection, const FileOptions& options,
                MemoryKind memory, int& exitCode) {
    if (const std::optional<std::string> problem = OwnFileProblem(options.file, connection)) {
        PrintError(*problem);
        exitCode = ExitUsage;
        return false;
    }
    std::string error;
    const std::optional<ImageFormat> format =
        OutputFormatFor(options.file, OutputFormatNamed(options.format), error);
    if (!format) {
        PrintError(options.file + ": " + error);
        exitCode = ExitUsage;
        return false;
    }
    Programmer& programmer = *session.programmer;
    TargetImages& images = session.app.images;
    CommandOutput output;
    if (!session.Run(memory == MemoryKind::Flash ? CommandId::ReadFlash : CommandId::ReadEeprom, {},
                     output, exitCode)) {
        return false;
    }
    const std::uint32_t length = memory == MemoryKind::Flash ? FlashLength(programmer.device)
                                                             : EepromLength(programmer.device);
    const auto& image = memory == MemoryKind::Flash ? images.flashImage : images.eepromImage;
    session.bytes = length;
    if (!WriteImageAnyFormat(options.file, format, std::span(image).first(length), error)) {
        PrintError(options.file + ": " + error);
        return false;
    }
    return true;
}

constexpr const char* ForceHelp =
    "Use an ELF file built for another chip than the one on the cable";

using FileRun = bool (*)(TargetSession&, const FileOptions&, MemoryKind, int&);

CLI::App* AddFileCommand(CLI::App& app, int& exitCode, const std::string& name,
                         const std::string& description,
                         const std::shared_ptr<const TargetOptions>& connection,
                         const std::shared_ptr<FileOptions>& options, MemoryKind memory,
                         FileRun run) {
    CLI::App* command = AddTargetCommand(app, exitCode, name, description, connection,
                                         [options, memory, run](TargetSession& session, int& code) {
                                             return run(session, *options, memory, code);
                                         });
    command
        ->add_option("FILE", options->file,
                     "HEX (.hex .ihx .eep), S-record, raw binary (.bin) or ELF file; - for stdin")
        ->required();
    return command;
}

} // namespace

void AddMemoryFileCommands(CLI::App& app, int& exitCode,
                           const std::shared_ptr<const TargetOptions>& connection) {
    for (const MemoryKind memory : {MemoryKind::Flash, MemoryKind::Eeprom}) {
        const std::string suffix = memory == MemoryKind::Flash ? "flash" : "eeprom";
        const std::string shown = MemoryName(memory);

        auto readOptions = std::make_shared<FileOptions>();
        CLI::App* read = AddTargetCommand(
            app, exitCode, "read-" + suffix, "Read the " + shown + " into FILE", connection,
            [connection, readOptions, memory](TargetSession& session, int& code) {
                return ReadMemory(session, *connection, *readOptions, memory, code);
            });
        read->add_option("FILE", readOptions->file,
                         "File to write, replaced only when the read succeeded; its extension "
                         "chooses the format; - for stdout (with --format)")
            ->required();
        read->add_option("--format", readOptions->format,
                         "hex, srec or bin (default: by extension)")
            ->check(CLI::IsMember({"hex", "srec", "bin"}));

        auto writeOptions = std::make_shared<FileOptions>();
        CLI::App* write = AddFileCommand(app, exitCode, "write-" + suffix,
                                         "Write FILE into the " + shown +
                                             ", then verify the addresses it defines",
                                         connection, writeOptions, memory, WriteMemory);
        write->add_flag("--no-verify", writeOptions->noVerify, "Skip the verify");
        write->add_flag("--force", writeOptions->force, ForceHelp);
        if (memory == MemoryKind::Flash) {
            write->add_flag("--erase", writeOptions->erase,
                            "Erase the chip first (flash and EEPROM): a write only programs "
                            "bits, so a programmed chip must be erased");
        } else {
            write->footer(write->get_footer() +
                          "\nOnly the bytes that differ are written; addresses FILE does not "
                          "define stay as they are.");
        }

        auto verifyOptions = std::make_shared<FileOptions>();
        AddFileCommand(app, exitCode, "verify-" + suffix,
                       "Compare the " + shown + " with the addresses FILE defines", connection,
                       verifyOptions, memory, VerifyMemory)
            ->add_flag("--force", verifyOptions->force, ForceHelp);
    }

    auto programOptions = std::make_shared<FileOptions>();
    CLI::App* program =
        AddTargetCommand(app, exitCode, "program",
                         "Erase the chip, write and verify the flash and, when given, the EEPROM",
                         connection, [programOptions](TargetSession& session, int& code) {
                             return ProgramBoth(session, *programOptions, code);
                         });
    program->add_option("FILE", programOptions->file, "Flash image; - for stdin")->required();
    program->add_option("EEPROM-FILE", programOptions->eepromFile,
                        "EEPROM image (default: an ELF FILE's own .eeprom section)");
    program->add_flag("--force", programOptions->force, ForceHelp);
}

} // namespace zelk
