// SPDX-License-Identifier: GPL-3.0-or-later
// The lock byte and the fuse bytes, read and written in hex. A write waits the chip's write
// time and reads the byte back.
#include "cli/commands.h"
#include "cli/target_session.h"
#include "engine/command_support.h"
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

bool RunReadLock(TargetSession& session, int& exitCode) {
    CommandOutput output;
    if (!session.Run(CommandId::ReadLock, {}, output, exitCode)) {
        return false;
    }
    std::cout << HexByte(*output.lock) << '\n';
    return true;
}

bool RunWriteLock(TargetSession& session, std::uint8_t value, int& exitCode) {
    CommandInput input;
    input.lock = value;
    CommandOutput output;
    return session.Run(CommandId::WriteLock, input, output, exitCode);
}

bool RunReadFuses(TargetSession& session, int& exitCode) {
    CommandOutput output;
    if (!session.Run(CommandId::ReadFuses, {}, output, exitCode)) {
        return false;
    }
    const LockFuseLayout layout =
        LoadLockFuseLayout(session.programmer->DeviceDatabase(), session.programmer->device.name);
    std::cout << HexByte(output.fuses->low);
    if (layout.HasByte(LockFuseByte::FuseHigh)) {
        std::cout << ' ' << HexByte(output.fuses->high);
    }
    if (layout.HasByte(LockFuseByte::FuseExt)) {
        std::cout << ' ' << HexByte(output.fuses->ext);
    }
    std::cout << '\n';
    return true;
}

bool RunWriteFuses(TargetSession& session, const std::vector<std::uint8_t>& values, bool force,
                   int& exitCode) {
    CommandInput input;
    input.fuses = values;
    input.force = force;
    CommandOutput output;
    return session.Run(CommandId::WriteFuses, input, output, exitCode);
}

} // namespace

void AddLockFuseCommands(CLI::App& app, int& exitCode,
                         const std::shared_ptr<const TargetOptions>& connection) {
    AddTargetCommand(app, exitCode, "read-lock", "Print the lock byte in hex", connection,
                     [](TargetSession& session, int& code) { return RunReadLock(session, code); });
    AddTargetCommand(app, exitCode, "read-fuses",
                     "Print the fuse bytes in hex (low, high, extended)", connection,
                     [](TargetSession& session, int& code) { return RunReadFuses(session, code); });

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
                         connection, [fuses, force](TargetSession& session, int& code) {
                             return RunWriteFuses(session, HexBytes(*fuses), *force, code);
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
