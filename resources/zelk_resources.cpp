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

} // namespace zelk
