// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/window_placement.h"

#include <algorithm>
#include <limits>

namespace zelk {
namespace {

constexpr std::int64_t Largest = std::numeric_limits<int>::max() / 2;

std::int64_t Overlap(std::int64_t left, std::int64_t top, std::int64_t right, std::int64_t bottom,
                     const QRect& area) {
    const std::int64_t width = std::min<std::int64_t>(right, area.left() + area.width()) -
                               std::max<std::int64_t>(left, area.left());
    const std::int64_t height = std::min<std::int64_t>(bottom, area.top() + area.height()) -
                                std::max<std::int64_t>(top, area.top());
    return width > 0 && height > 0 ? width * height : 0;
}

} // namespace

QRect FitInAreas(std::int64_t left, std::int64_t top, std::int64_t right, std::int64_t bottom,
                 const QList<QRect>& areas, QSize minimum) {
    std::int64_t width = std::clamp<std::int64_t>(right - left, minimum.width(), Largest);
    std::int64_t height = std::clamp<std::int64_t>(bottom - top, minimum.height(), Largest);
    left = std::clamp<std::int64_t>(left, -Largest, Largest);
    top = std::clamp<std::int64_t>(top, -Largest, Largest);
    if (areas.isEmpty()) {
        return {static_cast<int>(left), static_cast<int>(top), static_cast<int>(width),
                static_cast<int>(height)};
    }
    const QRect* best = &areas.constFirst();
    std::int64_t bestOverlap = 0;
    for (const QRect& area : areas) {
        const std::int64_t overlap = Overlap(left, top, left + width, top + height, area);
        if (overlap > bestOverlap) {
            bestOverlap = overlap;
            best = &area;
        }
    }
    width = std::min<std::int64_t>(width, best->width());
    height = std::min<std::int64_t>(height, best->height());
    left = std::clamp<std::int64_t>(left, best->left(), best->left() + best->width() - width);
    top = std::clamp<std::int64_t>(top, best->top(), best->top() + best->height() - height);
    return {static_cast<int>(left), static_cast<int>(top), static_cast<int>(width),
            static_cast<int>(height)};
}

QRect CascadePlace(const QRect& area, int index, QPoint step, QSize size) {
    const QSize shown = size.boundedTo(area.size());
    const int roomX = step.x() > 0 ? (area.width() - shown.width()) / step.x() + 1 : 1;
    const int roomY = step.y() > 0 ? (area.height() - shown.height()) / step.y() + 1 : 1;
    const int place = index % std::max(1, std::min(roomX, roomY));
    return {area.topLeft() + step * place, shown};
}

} // namespace zelk
