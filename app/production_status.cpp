// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/production_status.h"

#include "shell/main_frame.h"

#include <QLabel>
#include <QStatusBar>

namespace zelk {

CProductionStatus::CProductionStatus(SettingsStore& store)
    : settings(store), count(ProductionCount::Load(store)) {}

void CProductionStatus::Show(CMainFrame& frame) {
    label = new QLabel;
    label->setObjectName(QStringLiteral("ProductionCount"));
    label->setAccessibleName(QStringLiteral("Production count"));
    frame.statusBar()->addPermanentWidget(label);
    Refresh();
}

void CProductionStatus::Counted(bool passed) {
    count.Counted(settings, passed);
    Refresh();
}

bool CProductionStatus::Reset() {
    const bool stored = count.Reset(settings);
    Refresh();
    return stored;
}

void CProductionStatus::Refresh() {
    if (label) {
        label->setText(QString::fromStdString(count.Text()));
    }
}

} // namespace zelk
