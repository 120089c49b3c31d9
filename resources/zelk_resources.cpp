// SPDX-License-Identifier: GPL-3.0-or-later
#include "resources/zelk_resources.h"

#include <QtGlobal>

// Q_INIT_RESOURCE names a function in the global namespace: it cannot be used inside zelk.
static void InitZelkQrc() {
    Q_INIT_RESOURCE(zelk);
}

namespace zelk {

void RegisterZelkResources() {
    static const bool registered = [] {
        InitZelkQrc();
        return true;
    }();
    (void)registered;
}

QIcon ApplicationIcon() {
    RegisterZelkResources();
    QIcon icon;
    const QIcon small(QStringLiteral(":/icons/zelk-small.svg"));
    const QIcon large(QStringLiteral(":/icons/zelk.svg"));
    for (const int size : {16, 24, 32}) {
        icon.addPixmap(small.pixmap(size));
    }
    for (const int size : {48, 64, 128, 256}) {
        icon.addPixmap(large.pixmap(size));
    }
    return icon;
}

} // namespace zelk
