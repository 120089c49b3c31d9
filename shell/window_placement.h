// SPDX-License-Identifier: GPL-3.0-or-later
// Where a window restored from stored numbers may go: onto an area the user can see (a
// screen that exists, the visible part of the area that holds the child windows).
#pragma once

#include <cstdint>
#include <QList>
#include <QRect>

namespace zelk {

// The rectangle left, top, right, bottom (as stored, any numbers) moved and shrunk to lie
// wholly inside the area it overlaps most, or inside the first area when it overlaps none.
// A window is never made smaller than `minimum` unless the area is. With no areas the
// rectangle is only bounded to what a window can be.
QRect FitInAreas(std::int64_t left, std::int64_t top, std::int64_t right, std::int64_t bottom,
                 const QList<QRect>& areas, QSize minimum = QSize(160, 100));

// The next window of a cascade in `area`: each one `step` lower and further right than the
// last, large enough to show something and starting over at the top-left corner when it
// would leave the area.
QRect CascadePlace(const QRect& area, int index, QPoint step, QSize size);

} // namespace zelk
