// SPDX-License-Identifier: GPL-3.0-or-later
// What the main window asks of the application that owns it.
#pragma once

#include "shell/command_enabling.h"

#include <string>
#include <vector>

namespace zelk {

class FrameHost {
public:
    virtual ~FrameHost() = default;
    // Every menu, toolbar and device-bar command.
    virtual void OnCommand(int id) = 0;
    virtual EnablingState Enabling() const = 0;
    // The recent projects' menu entries, most recent first.
    virtual std::vector<std::string> RecentMenuTexts() const = 0;
    // The user closes the main window: false keeps it open (the host has said why); true
    // lets it close, the host having stored what it keeps of the window.
    virtual bool FrameClosing() = 0;
};

} // namespace zelk
