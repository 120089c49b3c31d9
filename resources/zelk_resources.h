// SPDX-License-Identifier: GPL-3.0-or-later
// The pictures compiled into zelk_ui. A static library's resources are not registered by
// themselves: whatever shows a picture first calls this.
#pragma once

namespace zelk {

// Registers the toolbar icons and the background picture; later calls do nothing.
void RegisterZelkResources();

} // namespace zelk
