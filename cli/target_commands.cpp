// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/commands.h"

namespace zelk {

void AddCommands(CLI::App& app, int& exitCode) {
    auto connection = std::make_shared<TargetOptions>();
    AddConnectionOptions(app, *connection);
    AddConvertCommand(app, exitCode, connection);
    AddDeviceListCommand(app, exitCode, connection);
    AddDeviceCommands(app, exitCode, connection);
    AddMemoryFileCommands(app, exitCode, connection);
    AddProductionCommands(app, exitCode, connection);
    AddLockFuseCommands(app, exitCode, connection);
}

} // namespace zelk
