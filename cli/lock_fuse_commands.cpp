// The lock byte and the fuse bytes, read and written in hex. A write waits the chip's write
// time and reads the byte back.
#include "cli/commands.h"
#include "cli/target_session.h"
#include "engine/command_support.h"
#include "engine/fuse_guard.h"
#include "engine/lock_fuse.h"

#include <charconv>
#include <cstdio>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

namespace zelk {
namespace {

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

// The lock and fuse commands need the device's patterns before they run.
std::optional<LockFuseLayout> KnownLayout(TargetSession& session) {
    Programmer& programmer = *session.programmer;
    if (!PrepareKnownTarget(programmer, session.ui)) {
        return std::nullopt;
    }
    return LoadLockFuseLayout(programmer.DeviceDatabase(), programmer.device.name);
}

// The byte as it will be sent: bits the device's pattern leaves unused or fixes are set as
// the pattern says. Tells the user when that differs from what was asked.
std::uint8_t Constrained(const LockFuseLayout& layout, LockFuseByte byte, std::uint8_t wanted,
                         const char* name) {
    const std::uint8_t sent = layout.ChipFromTicks(byte, layout.TicksFromChip(byte, wanted));
    if (sent != wanted) {
        PrintError(std::string(name) + " written as " + HexByte(sent) +
                   ": the device's pattern in zelk.ini fixes or leaves unused some bits");
    }
    return sent;
}

// The fuse bytes a device has: the low byte, then the high and extended bytes it names.
int FuseByteCount(const LockFuseLayout& layout) {
    if (!layout.HasByte(LockFuseByte::Fuse)) {
        return 0;
    }
    return 1 + (layout.HasByte(LockFuseByte::FuseHigh) ? 1 : 0) +
           (layout.HasByte(LockFuseByte::FuseExt) ? 1 : 0);
}

bool RunReadLock(TargetSession& session) {
    const std::optional<LockFuseLayout> layout = KnownLayout(session);
    if (!layout) {
        return false;
    }
    Programmer& programmer = *session.programmer;
    if (!layout->HasByte(LockFuseByte::Lock) || !layout->readLockBitsShown) {
        PrintError("the lock bits of " + programmer.device.name +
                   " cannot be read (see its LockBits in zelk.ini)");
        return false;
    }
    const std::optional<std::uint8_t> lock = ReadLockByte(programmer, session.ui, *layout);
    if (lock) {
        std::cout << HexByte(*lock) << '\n';
    }
    return lock.has_value();
}

bool RunWriteLock(TargetSession& session, std::uint8_t value, int& exitCode) {
    const std::optional<LockFuseLayout> layout = KnownLayout(session);
    if (!layout) {
        return false;
    }
    Programmer& programmer = *session.programmer;
    if (!layout->HasByte(LockFuseByte::Lock)) {
        PrintError(programmer.device.name + " has no lock bits in zelk.ini");
        return false;
    }
    const LockWrite written = WriteLockByte(
        programmer, session.ui, Constrained(*layout, LockFuseByte::Lock, value, "lock byte"));
    if (written == LockWrite::Unconfirmed) {
        exitCode = ExitUnconfirmed;
    }
    return written != LockWrite::Failed;
}

bool RunReadFuses(TargetSession& session) {
    const std::optional<LockFuseLayout> layout = KnownLayout(session);
    if (!layout) {
        return false;
    }
    Programmer& programmer = *session.programmer;
    if (FuseByteCount(*layout) == 0) {
        PrintError(programmer.device.name + " has no fuses in zelk.ini");
        return false;
    }
    const std::optional<FuseBytes> fuses = ReadFuseBytes(programmer, session.ui, *layout);
    if (!fuses) {
        return false;
    }
    std::cout << HexByte(fuses->low);
    if (layout->HasByte(LockFuseByte::FuseHigh)) {
        std::cout << ' ' << HexByte(fuses->high);
    }
    if (layout->HasByte(LockFuseByte::FuseExt)) {
        std::cout << ' ' << HexByte(fuses->ext);
    }
    std::cout << '\n';
    return true;
}

bool RunWriteFuses(TargetSession& session, const std::vector<std::uint8_t>& values, bool force) {
    const std::optional<LockFuseLayout> layout = KnownLayout(session);
    if (!layout) {
        return false;
    }
    Programmer& programmer = *session.programmer;
    const int count = FuseByteCount(*layout);
    if (count != static_cast<int>(values.size())) {
        PrintError(programmer.device.name + " has " + std::to_string(count) +
                   " fuse byte(s) in zelk.ini; give exactly that many");
        return false;
    }
    FuseBytes fuses;
    fuses.low = Constrained(*layout, LockFuseByte::Fuse, values[0], "fuse low byte");
    if (layout->HasByte(LockFuseByte::FuseHigh)) {
        fuses.high = Constrained(*layout, LockFuseByte::FuseHigh, values[1], "fuse high byte");
    }
    if (layout->HasByte(LockFuseByte::FuseExt)) {
        fuses.ext =
            Constrained(*layout, LockFuseByte::FuseExt, values.back(), "extended fuse byte");
    }
    if (!force) {
        const std::optional<FuseBytes> current = ReadFuseBytes(programmer, session.ui, *layout);
        if (!current) {
            return false;
        }
        const FuseGuard guard(
            ReadDeviceSection(programmer.DeviceDatabase(), programmer.device.name),
            ReadBitLabels(programmer.DeviceDatabase(), "Fuses"));
        if (const std::string warning = guard.Warning(*current, fuses); !warning.empty()) {
            PrintError("the fuses were not written. " + warning +
                       "Give --force to write them all the same.");
            return false;
        }
    }
    return WriteFuseBytes(programmer, session.ui, *layout, fuses);
}

} // namespace

void AddLockFuseCommands(CLI::App& app, int& exitCode,
                         const std::shared_ptr<const TargetOptions>& connection) {
    AddTargetCommand(app, exitCode, "read-lock", "Print the lock byte in hex", connection,
                     [](TargetSession& session, int&) { return RunReadLock(session); });
    AddTargetCommand(app, exitCode, "read-fuses",
                     "Print the fuse bytes in hex (low, high, extended)", connection,
                     [](TargetSession& session, int&) { return RunReadFuses(session); });

    auto lock = std::make_shared<std::vector<std::string>>();
    CLI::App* writeLock = AddTargetCommand(
        app, exitCode, "write-lock",
        "Write the lock byte and read it back; on a part that cannot read its lock bits the "
        "write is unconfirmed (exit 3) unless it shows (lock mode 3 hides an AT90S's signature)",
        connection, [lock](TargetSession& session, int& code) {
            return RunWriteLock(session, HexBytes(*lock).front(), code);
        });
    writeLock->add_option("VALUE", *lock, "Lock byte in hex, 0 = programmed")
        ->required()
        ->expected(1)
        ->check(CLI::Validator(ByteCheck, "BYTE"));

    auto fuses = std::make_shared<std::vector<std::string>>();
    auto force = std::make_shared<bool>(false);
    CLI::App* writeFuses =
        AddTargetCommand(app, exitCode, "write-fuses", "Write the fuse bytes and read them back",
                         connection, [fuses, force](TargetSession& session, int&) {
                             return RunWriteFuses(session, HexBytes(*fuses), *force);
                         });
    writeFuses
        ->add_option("BYTES", *fuses,
                     "LOW [HIGH [EXT]] in hex, 0 = programmed; as many as the device has")
        ->required()
        ->expected(1, 3)
        ->check(CLI::Validator(ByteCheck, "BYTE"));
    writeFuses->add_flag("--force", *force,
                         "Write fuses that program RSTDISBL or DWEN or change the clock (CKSEL, "
                         "CKDIV8) from what the chip holds: they can shut this cable out");
}

} // namespace zelk
