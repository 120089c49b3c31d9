#include "shell/progress_dialog.h"

#include <QGuiApplication>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

namespace zelk {

CProgressDialog::CProgressDialog(QWidget* centreOver) : QDialog(nullptr), bar(new QProgressBar) {
    setWindowTitle(QStringLiteral("Progress"));
    setModal(false);
    bar->setRange(0, 100);
    bar->setValue(0);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"));
    connect(cancel, &QPushButton::clicked, this, &CProgressDialog::PressCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("Programming")));
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

int CProgressDialog::Position() const {
    return bar->value();
}

void CProgressDialog::PressCancel() {
    if (std::atomic<int>* flag = cancelFlag.load(); flag != nullptr) {
        flag->store(1);
    }
}

} // namespace zelk
