// SPDX-License-Identifier: GPL-3.0-or-later
// The production count in the status bar: this session's boards and the stored totals, which
// AutoProgram runs of the GUI and of zelk-cli count up alike.
#pragma once

#include "platform/settings_store.h"
#include "station/production_log.h"

#include <QPointer>

class QLabel;

namespace zelk {

class CMainFrame;

class CProductionStatus {
public:
    explicit CProductionStatus(SettingsStore& settings);

    // Adds the count to the frame's status bar.
    void Show(CMainFrame& frame);
    // A run the production record took: counted into this session, the totals read again.
    void Counted(bool passed);
    // Starts the session and the stored totals afresh; false when the store was not written.
    bool Reset();
    const ProductionCount& Count() const { return count; }

private:
    void Refresh();

    SettingsStore& settings;
    ProductionCount count;
    QPointer<QLabel> label;
};

} // namespace zelk
