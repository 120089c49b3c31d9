// SPDX-License-Identifier: GPL-3.0-or-later
// The options every target command of zelk-cli takes: the connection, the bit timing, the
// simulator and the way progress is shown.
#pragma once

#include "engine/connection.h"
#include "platform/settings_store.h"

#include <CLI/CLI.hpp>
#include <cstdint>
#include <string>
#include <vector>

namespace zelk {

enum class ProgressStyle { Bar, Json, Quiet };

struct TargetOptions {
    std::string port;  // lpt1..lpt3, /dev/parportN or sim:DEVICE; empty: the stored "PortBase"
    std::string cable; // empty: the stored "Interface"
    std::string gpio;  // empty: the stored "GpioLines"
    std::string ini;
    std::int32_t sckHalfPeriodUs = 1;
    bool fixedWaits = false;
    bool singleRead = false;
    std::string device; // empty: any device zelk.ini lists
    std::string simState;
    std::string simTime = "virtual";
    std::vector<std::string> simFaults;
    std::string progress = "bar";
    bool quiet = false;

    ProgressStyle Style() const;
};

// The connection options belong to zelk-cli itself, so they may stand before the command
// ("zelk-cli --port sim:ATmega328P write-flash fw.hex") or after it.
void AddConnectionOptions(CLI::App& app, TargetOptions& options);

// The connection the options ask for: the stored port and cable unless given. False, with the
// reason, for options that cannot be put to use.
bool ConnectionOf(const TargetOptions& options, const SettingsStore& store,
                  ConnectionSettings& settings, std::string& error);

} // namespace zelk
