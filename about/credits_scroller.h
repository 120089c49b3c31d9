// SPDX-License-Identifier: GPL-3.0-or-later
// The credits roll of the about box: lines of text in four styles and pictures rising over
// a tiled backdrop.
#pragma once

#include "about/credits_roll.h"

#include <array>
#include <map>
#include <QColor>
#include <QPixmap>
#include <QTimer>
#include <QWidget>

namespace zelk {

class CCreditsScroller : public QWidget {
    Q_OBJECT
public:
    enum ColourEntry { Background, TitleColour, GroupColour, GroupTitleColour, TextColour };
    enum IntervalEntry { Slow, Medium, Fast };

    explicit CCreditsScroller(QWidget* parent = nullptr);

    void LoadText(const QString& text, QChar delimiter);
    // Stores the milliseconds in the entry unless 0, and makes the entry the one in use.
    void SelectInterval(IntervalEntry entry, int milliseconds);
    void SetColour(ColourEntry entry, const QColor& colour);
    // Text over the backdrop instead of over the background colour.
    void SetTransparentText(bool on);
    // The picture tiled behind the roll (a resource path).
    void SetBackdrop(const QString& resource);
    // False when there are no lines; otherwise starts from the first line.
    bool StartRoll();

    const CreditsRoll& Roll() const { return roll; }
    bool Rolling() const { return timer.isActive(); }
    int Interval() const { return intervals[chosenInterval]; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QFont FontOf(CreditKind kind) const;
    QColor ColourOf(CreditKind kind) const;
    const QPixmap& Picture(const std::string& name);
    int HeightOf(const CreditLine& line);

    std::array<QColor, 5> colours;
    std::array<int, 3> intervals = {70, 40, 10};
    IntervalEntry chosenInterval = Medium;
    bool transparentText = false;
    QPixmap backdrop;
    std::vector<CreditLine> lines;
    std::map<std::string, QPixmap> pictures;
    CreditsRoll roll;
    QTimer timer;
};

} // namespace zelk
