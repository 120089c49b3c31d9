// SPDX-License-Identifier: GPL-3.0-or-later
// The pictures compiled into zelk_ui. A static library's resources are not registered by
// themselves: whatever shows a picture first calls this.
#pragma once

#include <QIcon>

namespace zelk {

// Registers the toolbar icons and the background picture; later calls do nothing.
void RegisterZelkResources();

// The application's icon: the full picture from 48 px up, a simpler one without lettering for
// 16 to 32 px, where the full one's "AVR" cannot be read.
QIcon ApplicationIcon();

} // namespace zelk
