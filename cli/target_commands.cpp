// zelk-cli's target commands: each builds the Programmer for one run, calls the core
// operation with a CliTargetUi and lets the target run again at the end.
#include "app/app_state.h"
#include "app/project_state.h"
#include "app/serial_number_run.h"
#include "app/stored_connection.h"
#include "cli/cli_target_ui.h"
#include "cli/commands.h"
#include "engine/autoprogram.h"
#include "engine/command_support.h"
#include "engine/connection.h"
#include "engine/flash_write.h"
#include "engine/lock_fuse.h"
#include "engine/memory_commands.h"
#include "engine/target_connection.h"
#include "memory/hex_file.h"
#include "sim/simulated_port.h"

#include <charconv>
#include <cstdio>
#include <functional>
#include <iostream>
#include <memory>
#include <span>

namespace zelk {
namespace {

constexpr int ExitFailure = 1;
constexpr int ExitUsage = 2;

struct TargetOptions {
    std::string port;  // lpt1..lpt3, /dev/parportN or sim:DEVICE; empty: the stored "PortBase"
    std::string cable; // empty: the stored "Interface"
    std::string ini;
    std::int32_t sckHalfPeriodUs = 1;
    std::string simState;
    std::string simTime = "virtual";
    std::vector<std::string> simFaults;
    std::vector<std::string> arguments; // the command's own FILE or byte values
};

void PrintFileError(const std::string& file, const HexFileError& error) {
    std::cerr << "zelk-cli: " << file;
    if (error.line > 0) {
        std::cerr << ':' << error.line;
    }
    std::cerr << ": " << error.reason << '\n';
}

// The --cable names: "auto" and one per cable of the table.
std::vector<std::string> CableChoices() {
    std::vector<std::string> names = {"auto"};
    for (const CableInfo& cable : Cables()) {
        if (!cable.cliName.empty()) {
            names.emplace_back(cable.cliName);
        }
    }
    return names;
}

// The connection the options ask for: the stored port and cable unless given.
bool ConnectionOf(const TargetOptions& options, ConnectionSettings& settings, std::string& error) {
    settings = StoredConnection();
    if (!options.port.empty() && !ApplyPortName(options.port, settings, error)) {
        return false;
    }
    if (!options.cable.empty()) {
        const CableInfo* cable = FindCableByCliName(options.cable);
        settings.cable = cable != nullptr ? cable->type : CableAutoDetect;
    }
    settings.deviceDatabase = options.ini;
    settings.sckHalfPeriodUs = options.sckHalfPeriodUs;
    settings.simulator.stateFile = options.simState;
    settings.simulator.virtualTime = options.simTime == "virtual";
    for (const std::string& fault : options.simFaults) {
        if (!ParseSimFault(fault, settings.simulator.faults, error)) {
            return false;
        }
    }
    return true;
}

// One run against the target. Closing lets the target run and closes the port (a simulator
// saves its state then).
class TargetSession {
public:
    ~TargetSession() {
        if (worker) {
            programmer = worker->TakeProgrammer();
        }
        if (programmer) {
            programmer->ReleaseReset();
        }
    }

    // False, with the reason, when the options cannot be put to use (a usage error).
    bool Open(const TargetOptions& options, std::string& error) {
        ConnectionSettings settings;
        if (!ConnectionOf(options, settings, error)) {
            return false;
        }
        programmer = MakeProgrammer(settings, error);
        return programmer != nullptr;
    }

    // Waits for a started flash write and handles its completion as the GUI's main thread
    // does.
    bool FinishFlashWrite() {
        if (!worker) {
            return false;
        }
        worker->Wait();
        return OnFlashWriteDone(worker, programmer, app.images, ui, FlashWriteDoneParam);
    }

    AppState app;
    CliTargetUi ui;
    std::unique_ptr<Programmer> programmer;
    std::unique_ptr<FlashWriteWorker> worker;
};

// A byte in hex, "E2" or "0xE2".
bool ParseHexByte(std::string_view text, std::uint8_t& value) {
    if (text.starts_with("0x") || text.starts_with("0X")) {
        text.remove_prefix(2);
    }
    const char* end = text.data() + text.size();
    const auto [stop, problem] = std::from_chars(text.data(), end, value, 16);
    return !text.empty() && problem == std::errc{} && stop == end;
}

std::string HexByte(std::uint8_t value) {
    char text[8];
    std::snprintf(text, sizeof text, "%02X", static_cast<unsigned>(value));
    return text;
}

// The lock and fuse commands need the device's patterns before they run.
bool IdentifyKnownDevice(TargetSession& session) {
    return PrepareKnownTarget(*session.programmer, session.ui);
}

LockFuseLayout LayoutOf(const Programmer& programmer) {
    return LoadLockFuseLayout(programmer.DeviceDatabase(), programmer.device.name);
}

// The byte as it will be sent: bits the device's pattern leaves unused or fixes are set as
// the pattern says. Tells the user when that differs from what was asked.
std::uint8_t Constrained(const LockFuseLayout& layout, LockFuseByte byte, std::uint8_t wanted,
                         const char* name) {
    const std::uint8_t sent = layout.ChipFromTicks(byte, layout.TicksFromChip(byte, wanted));
    if (sent != wanted) {
        std::cerr << "zelk-cli: " << name << " written as " << HexByte(sent)
                  << ": the device's pattern in zelk.ini fixes or leaves unused some bits\n";
    }
    return sent;
}

bool RunDetect(TargetSession& session) {
    Programmer& programmer = *session.programmer;
    DetectDevice(programmer, session.ui);
    std::cout << session.ui.DeviceText() << '\n';
    return programmer.targetReady != 0 && !programmer.device.name.empty();
}

bool RunReset(TargetSession& session) {
    Programmer& programmer = *session.programmer;
    ResetDevice(programmer, session.ui);
    std::cout << session.ui.DeviceText() << '\n';
    return programmer.targetReady != 0 && !programmer.device.name.empty();
}

bool SaveImage(const std::string& file, std::span<const std::uint8_t> bytes) {
    std::string error;
    if (!WriteImageFile(file, bytes, error)) {
        std::cerr << "zelk-cli: " << file << ": " << error << '\n';
        return false;
    }
    return true;
}

bool LoadImage(const std::string& file, std::span<std::uint8_t> image) {
    HexFileError error;
    if (!LoadImageFile(file, image, image.size(), error)) {
        PrintFileError(file, error);
        return false;
    }
    return true;
}

bool RunReadFlash(TargetSession& session, const std::string& file) {
    TargetImages& images = session.app.images;
    return ReadFlash(*session.programmer, images, session.ui) &&
           SaveImage(file,
                     std::span(images.flashImage).first(FlashLength(session.programmer->device)));
}

bool RunReadEeprom(TargetSession& session, const std::string& file) {
    TargetImages& images = session.app.images;
    return ReadEeprom(*session.programmer, images, session.ui) &&
           SaveImage(file,
                     std::span(images.eepromImage).first(EepromLength(session.programmer->device)));
}

bool RunWriteFlash(TargetSession& session, const std::string& file) {
    if (!LoadImage(file, session.app.images.flashImage)) {
        return false;
    }
    session.worker = WriteFlash(session.programmer, session.app.images, session.ui);
    return session.FinishFlashWrite();
}

using ImageCommand = bool (*)(Programmer&, TargetImages&, TargetUi&);

bool RunFileCommand(TargetSession& session, const std::string& file, MemoryKind memory,
                    ImageCommand command) {
    TargetImages& images = session.app.images;
    std::vector<std::uint8_t>& image =
        memory == MemoryKind::Flash ? images.flashImage : images.eepromImage;
    return LoadImage(file, image) && command(*session.programmer, images, session.ui);
}

bool RunAutoProgram(TargetSession& session, const std::string& projectFile) {
    ProjectFileData project;
    if (std::string error; !ReadProjectFile(projectFile, project, error)) {
        std::cerr << "zelk-cli: " << error << '\n';
        return false;
    }
    AppState& app = session.app;
    ApplyProjectFile(app, projectFile);
    session.worker =
        AutoProgram(session.programmer, app.images, {app.flashFile, app.eepromFile}, session.ui);
    return session.FinishFlashWrite();
}

bool RunReadLock(TargetSession& session) {
    Programmer& programmer = *session.programmer;
    if (!IdentifyKnownDevice(session)) {
        return false;
    }
    const LockFuseLayout layout = LayoutOf(programmer);
    if (!layout.HasByte(LockFuseByte::Lock) || !layout.readLockBitsShown) {
        std::cerr << "zelk-cli: the lock bits of " << programmer.device.name
                  << " cannot be read (see its LockBits in zelk.ini)\n";
        return false;
    }
    const std::optional<std::uint8_t> lock = ReadLockByte(programmer, session.ui, layout);
    if (lock) {
        std::cout << HexByte(*lock) << '\n';
    }
    return lock.has_value();
}

bool RunWriteLock(TargetSession& session, std::uint8_t value) {
    Programmer& programmer = *session.programmer;
    if (!IdentifyKnownDevice(session)) {
        return false;
    }
    const LockFuseLayout layout = LayoutOf(programmer);
    if (!layout.HasByte(LockFuseByte::Lock)) {
        std::cerr << "zelk-cli: " << programmer.device.name << " has no lock bits in zelk.ini\n";
        return false;
    }
    return WriteLockByte(programmer, session.ui,
                         Constrained(layout, LockFuseByte::Lock, value, "lock byte"));
}

// The fuse bytes a device has: the low byte, then the high and extended bytes it names.
int FuseByteCount(const LockFuseLayout& layout) {
    if (!layout.HasByte(LockFuseByte::Fuse)) {
        return 0;
    }
    return 1 + (layout.HasByte(LockFuseByte::FuseHigh) ? 1 : 0) +
           (layout.HasByte(LockFuseByte::FuseExt) ? 1 : 0);
}

bool RunReadFuses(TargetSession& session) {
    Programmer& programmer = *session.programmer;
    if (!IdentifyKnownDevice(session)) {
        return false;
    }
    const LockFuseLayout layout = LayoutOf(programmer);
    if (FuseByteCount(layout) == 0) {
        std::cerr << "zelk-cli: " << programmer.device.name << " has no fuses in zelk.ini\n";
        return false;
    }
    const std::optional<FuseBytes> fuses = ReadFuseBytes(programmer, session.ui, layout);
    if (!fuses) {
        return false;
    }
    std::cout << HexByte(fuses->low);
    if (layout.HasByte(LockFuseByte::FuseHigh)) {
        std::cout << ' ' << HexByte(fuses->high);
    }
    if (layout.HasByte(LockFuseByte::FuseExt)) {
        std::cout << ' ' << HexByte(fuses->ext);
    }
    std::cout << '\n';
    return true;
}

bool RunWriteFuses(TargetSession& session, const std::vector<std::uint8_t>& values) {
    Programmer& programmer = *session.programmer;
    if (!IdentifyKnownDevice(session)) {
        return false;
    }
    const LockFuseLayout layout = LayoutOf(programmer);
    const int count = FuseByteCount(layout);
    if (count != static_cast<int>(values.size())) {
        std::cerr << "zelk-cli: " << programmer.device.name << " has " << count
                  << " fuse byte(s) in zelk.ini; give exactly that many\n";
        return false;
    }
    FuseBytes fuses;
    fuses.low = Constrained(layout, LockFuseByte::Fuse, values[0], "fuse low byte");
    if (layout.HasByte(LockFuseByte::FuseHigh)) {
        fuses.high = Constrained(layout, LockFuseByte::FuseHigh, values[1], "fuse high byte");
    }
    if (layout.HasByte(LockFuseByte::FuseExt)) {
        fuses.ext = Constrained(layout, LockFuseByte::FuseExt, values.back(), "extended fuse byte");
    }
    return WriteFuseBytes(programmer, session.ui, layout, fuses);
}

using TargetRun = std::function<bool(TargetSession&, const TargetOptions&)>;

// The connection options belong to zelk-cli itself, so they may stand before the command
// ("zelk-cli --port sim:ATmega328P write-flash fw.hex") or after it.
void AddConnectionOptions(CLI::App& app, TargetOptions& options) {
    app.add_option("--port", options.port,
                   "lpt1, lpt2, lpt3, /dev/parportN or sim:DEVICE (default: the stored port)")
        ->check(CLI::Validator(
            [](std::string& text) {
                ConnectionSettings ignored;
                std::string error;
                ApplyPortName(text, ignored, error);
                return error;
            },
            "PORT"));
    app.add_option("--cable", options.cable, "Cable type (default: the stored cable)")
        ->check(CLI::IsMember(CableChoices()));
    app.add_option("--ini", options.ini, "Device database (default: zelk.ini beside zelk)");
    app.add_option("--sck-half-period", options.sckHalfPeriodUs,
                   "Microseconds SCK stays high and low; more for a slowly clocked target")
        ->check(CLI::PositiveNumber)
        ->capture_default_str();
    app.add_option("--sim-state", options.simState,
                   "Simulator: file that keeps the chip's memories between runs");
    app.add_option("--sim-time", options.simTime, "Simulator: virtual or real time")
        ->check(CLI::IsMember({"virtual", "real"}))
        ->capture_default_str();
    app.add_option("--sim-fault", options.simFaults,
                   "Simulator: a fault to inject (none-connected, wrong-cable=N, no-echo=N, "
                   "stuck-busy, bit-error=N, remove-after=N, slow=FACTOR, clock=HZ)");
}

CLI::App* AddTargetCommand(CLI::App& app, int& exitCode, const std::string& name,
                           const std::string& description,
                           std::shared_ptr<const TargetOptions> connection,
                           std::shared_ptr<TargetOptions> options, TargetRun run) {
    CLI::App* command = app.add_subcommand(name, description);
    command->fallthrough();
    command->footer("Exit status: 0 done, 1 the operation failed (the reason on stderr), "
                    "2 usage error.");
    command->callback([connection, options, run, &exitCode] {
        TargetOptions given = *connection;
        given.arguments = options->arguments;
        TargetSession session;
        std::string error;
        if (!session.Open(given, error)) {
            std::cerr << "zelk-cli: " << error << '\n';
            exitCode = ExitUsage;
            return;
        }
        exitCode = run(session, given) ? 0 : ExitFailure;
        if (!SaveSimulatedChip(session.programmer ? session.programmer->Port() : nullptr, error)) {
            std::cerr << "zelk-cli: " << error << '\n';
            exitCode = ExitFailure;
        }
    });
    return command;
}

// A command with one FILE argument.
void AddFileCommand(CLI::App& app, int& exitCode, const std::string& name,
                    const std::string& description, const std::string& fileHelp,
                    std::shared_ptr<const TargetOptions> connection,
                    std::function<bool(TargetSession&, const std::string&)> run) {
    auto options = std::make_shared<TargetOptions>();
    CLI::App* command = AddTargetCommand(app, exitCode, name, description, connection, options,
                                         [run](TargetSession& session, const TargetOptions& o) {
                                             return run(session, o.arguments.front());
                                         });
    command->add_option("FILE", options->arguments, fileHelp)->required()->expected(1);
}

std::string ByteCheck(std::string& text) {
    std::uint8_t value = 0;
    return ParseHexByte(text, value) ? std::string() : "must be a hex byte such as E2 or 0xE2";
}

std::vector<std::uint8_t> HexBytes(const std::vector<std::string>& texts) {
    std::vector<std::uint8_t> values;
    for (const std::string& text : texts) {
        std::uint8_t value = 0;
        ParseHexByte(text, value);
        values.push_back(value);
    }
    return values;
}

} // namespace

void AddTargetCommands(CLI::App& app, int& exitCode) {
    auto connection = std::make_shared<TargetOptions>();
    AddConnectionOptions(app, *connection);
    const auto simple = [&](const std::string& name, const std::string& description,
                            std::function<bool(TargetSession&)> run) {
        AddTargetCommand(
            app, exitCode, name, description, connection, std::make_shared<TargetOptions>(),
            [run](TargetSession& session, const TargetOptions&) { return run(session); });
    };
    const auto withoutImages = [](bool (*command)(Programmer&, TargetUi&)) {
        return
            [command](TargetSession& session) { return command(*session.programmer, session.ui); };
    };
    simple("detect", "Identify the attached device", RunDetect);
    simple("reset", "Reset the target, then identify it", RunReset);
    simple("erase", "Erase flash and EEPROM", withoutImages(EraseChip));
    simple("blank-check", "Check that the flash is erased", withoutImages(BlankCheck));
    simple("serial-number", "Write the next serial number into the EEPROM",
           [](TargetSession& session) {
               return RunSerialNumbering(*session.programmer, session.app.images, session.ui);
           });
    simple("read-lock", "Print the lock byte in hex", RunReadLock);
    simple("read-fuses", "Print the fuse bytes in hex (low, high, extended)", RunReadFuses);

    AddFileCommand(app, exitCode, "read-flash", "Read the flash into FILE",
                   "File to write; its extension chooses the format", connection, RunReadFlash);
    AddFileCommand(app, exitCode, "read-eeprom", "Read the EEPROM into FILE",
                   "File to write; its extension chooses the format", connection, RunReadEeprom);
    AddFileCommand(app, exitCode, "write-flash", "Write FILE into the flash (no verify)",
                   "HEX or S-record file", connection, RunWriteFlash);
    AddFileCommand(app, exitCode, "verify-flash", "Compare the flash with FILE",
                   "HEX or S-record file", connection,
                   [](TargetSession& session, const std::string& file) {
                       return RunFileCommand(session, file, MemoryKind::Flash, VerifyFlash);
                   });
    AddFileCommand(app, exitCode, "write-eeprom", "Write FILE into the EEPROM",
                   "HEX or S-record file", connection,
                   [](TargetSession& session, const std::string& file) {
                       return RunFileCommand(session, file, MemoryKind::Eeprom, WriteEeprom);
                   });
    AddFileCommand(app, exitCode, "verify-eeprom", "Compare the EEPROM with FILE",
                   "HEX or S-record file", connection,
                   [](TargetSession& session, const std::string& file) {
                       return RunFileCommand(session, file, MemoryKind::Eeprom, VerifyEeprom);
                   });
    AddFileCommand(app, exitCode, "autoprogram",
                   "Run AutoProgram with a project: keep the EEPROM, erase, write flash and "
                   "EEPROM",
                   "Project file (.prj)", connection, RunAutoProgram);

    auto lockOptions = std::make_shared<TargetOptions>();
    AddTargetCommand(app, exitCode, "write-lock", "Write the lock byte", connection, lockOptions,
                     [](TargetSession& session, const TargetOptions& o) {
                         return RunWriteLock(session, HexBytes(o.arguments).front());
                     })
        ->add_option("VALUE", lockOptions->arguments, "Lock byte in hex, 0 = programmed")
        ->required()
        ->expected(1)
        ->check(CLI::Validator(ByteCheck, "BYTE"));

    auto fuseOptions = std::make_shared<TargetOptions>();
    AddTargetCommand(app, exitCode, "write-fuses", "Write the fuse bytes", connection, fuseOptions,
                     [](TargetSession& session, const TargetOptions& o) {
                         return RunWriteFuses(session, HexBytes(o.arguments));
                     })
        ->add_option("BYTES", fuseOptions->arguments,
                     "LOW [HIGH [EXT]] in hex, 0 = programmed; as many as the device has")
        ->required()
        ->expected(1, 3)
        ->check(CLI::Validator(ByteCheck, "BYTE"));
}

} // namespace zelk
