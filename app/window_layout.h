// SPDX-License-Identifier: GPL-3.0-or-later
// Where the main window is and how its bars are laid out, kept in the settings store
// ("MainWindow", "CtrlBars") from one run to the next.
#pragma once

#include "platform/settings_store.h"

namespace zelk {

class CMainFrame;

// The bar layout as the store keeps it; a layout that does not apply leaves the bars docked.
void RestoreBarLayout(CMainFrame& frame, const SettingsStore& settings);
void SaveBarLayout(const CMainFrame& frame, SettingsStore& settings);

// The window's place and size: on a screen the user has now, and at first large enough for
// the toolbar and the status bar's fields.
void RestoreWindowPosition(CMainFrame& frame, const SettingsStore& settings);
// A maximised or minimised window is stored as the normal window it returns to.
void SaveWindowPosition(const CMainFrame& frame, SettingsStore& settings);

} // namespace zelk
