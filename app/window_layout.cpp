// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/window_layout.h"

#include "shell/main_frame.h"
#include "shell/window_placement.h"
#include "station/project_file.h"

#include <QGuiApplication>
#include <QScreen>

namespace zelk {
namespace {

constexpr const char* BarSection = "CtrlBars";
// The bar layout is longer than one stored value may be: it is kept in numbered parts.
constexpr int BarStatePartLength = 200;
// The smallest first window; a wider toolbar or status bar makes it wider.
constexpr int DefaultWidth = 500;
constexpr int DefaultHeight = 400;

QList<QRect> ScreenAreas() {
    QList<QRect> areas;
    // The primary screen first: a window on no screen goes there.
    if (const QScreen* primary = QGuiApplication::primaryScreen(); primary != nullptr) {
        areas.append(primary->availableGeometry());
    }
    for (const QScreen* screen : QGuiApplication::screens()) {
        if (screen != QGuiApplication::primaryScreen()) {
            areas.append(screen->availableGeometry());
        }
    }
    return areas;
}

} // namespace

void RestoreBarLayout(CMainFrame& frame, const SettingsStore& settings) {
    // The store is read once for all parts, and only a count a real layout can have is taken.
    int parts = 0;
    if (!ParseBarParts(settings.ReadString(BarSection, "Parts", ""), parts)) {
        return;
    }
    QByteArray encoded;
    for (int part = 1; part <= parts; ++part) {
        encoded += QByteArray::fromStdString(
            settings.ReadString(BarSection, "Part" + std::to_string(part), ""));
    }
    if (!encoded.isEmpty()) {
        frame.restoreState(QByteArray::fromBase64(encoded), CMainFrame::BarStateVersion);
    }
}

void SaveBarLayout(const CMainFrame& frame, SettingsStore& settings) {
    const QByteArray encoded = frame.saveState(CMainFrame::BarStateVersion).toBase64();
    std::vector<std::pair<std::string, std::string>> values;
    for (qsizetype at = 0; at < encoded.size(); at += BarStatePartLength) {
        values.emplace_back("Part" + std::to_string(values.size() + 1),
                            encoded.mid(at, BarStatePartLength).toStdString());
    }
    values.emplace_back("Parts", std::to_string(values.size()));
    settings.ReplaceSection(BarSection, values);
}

void RestoreWindowPosition(CMainFrame& frame, const SettingsStore& settings) {
    const QSize wanted = frame.sizeHint().expandedTo(QSize(DefaultWidth, DefaultHeight));
    const WindowRect first{0, 0, wanted.width(), wanted.height()};
    const std::optional<WindowRect> stored =
        ParseWindowRect(settings.ReadString("MainWindow", "Position", ""));
    const WindowRect rect = stored.value_or(first);
    // A screen that was there when the position was stored may be gone.
    const QRect placed = FitInAreas(rect.left, rect.top, rect.right, rect.bottom, ScreenAreas(),
                                    frame.minimumSizeHint().expandedTo(QSize(160, 100)));
    frame.move(placed.topLeft());
    frame.resize(placed.size());
}

void SaveWindowPosition(const CMainFrame& frame, SettingsStore& settings) {
    const QRect normal = frame.isMaximized() || frame.isMinimized()
                             ? frame.normalGeometry()
                             : QRect(frame.pos(), frame.size());
    const WindowRect rect{normal.left(), normal.top(), normal.left() + normal.width(),
                          normal.top() + normal.height()};
    settings.WriteString("MainWindow", "Position", FormatWindowRect(rect));
}

} // namespace zelk
