// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/progress_dialog.h"

#include <QGuiApplication>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

namespace zelk {

CProgressDialog::CProgressDialog(QWidget* centreOver, const QString& command)
    : QDialog(nullptr), bar(new QProgressBar), step(new QLabel(command)) {
    setWindowTitle(command.isEmpty() ? QStringLiteral("Progress")
                                     : QStringLiteral("Progress: %1").arg(command));
    step->setObjectName(QStringLiteral("Step"));
    setModal(false);
    bar->setRange(0, 100);
    bar->setValue(0);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"));
    connect(cancel, &QPushButton::clicked, this, &CProgressDialog::PressCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(step);
    layout->addWidget(bar);
    layout->addWidget(cancel, 0, Qt::AlignHCenter);
    setMinimumWidth(300);
    adjustSize();

    const QRect area = centreOver != nullptr ? centreOver->frameGeometry()
                                             : QGuiApplication::primaryScreen()->geometry();
    move(area.center() - rect().center());
    show();
}

void CProgressDialog::SetPosition(int percent) {
    bar->setValue(percent);
    // A synchronous command keeps the event loop waiting until it ends: paint now.
    bar->repaint();
}

void CProgressDialog::SetStep(const QString& text) {
    step->setText(text);
}

QString CProgressDialog::Step() const {
    return step->text();
}

int CProgressDialog::Position() const {
    return bar->value();
}

void CProgressDialog::PressCancel() {
    if (std::atomic<int>* flag = cancelFlag.load(); flag != nullptr) {
        flag->store(1);
    }
}

} // namespace zelk
