// SPDX-License-Identifier: GPL-3.0-or-later
#include "about/credits_scroller.h"

#include <QFontMetrics>
#include <QPainter>
#include <QSvgRenderer>

namespace zelk {
namespace {

// Pixel heights of a line of each kind, the title the tallest.
int NominalHeight(CreditKind kind) {
    switch (kind) {
    case CreditKind::Title:
        return 31;
    case CreditKind::Group:
        return 19;
    case CreditKind::GroupTitle:
        return 17;
    default:
        return 15;
    }
}

QPixmap RenderSvg(const QString& resource) {
    QSvgRenderer renderer(resource);
    if (!renderer.isValid()) {
        return {};
    }
    QPixmap picture(renderer.defaultSize());
    picture.fill(Qt::transparent);
    QPainter painter(&picture);
    renderer.render(&painter);
    return picture;
}

} // namespace

CCreditsScroller::CCreditsScroller(QWidget* parent)
    : QWidget(parent), colours{QColor(0, 0, 0), QColor(240, 192, 0), QColor(255, 255, 0),
                               QColor(0, 255, 255), QColor(255, 255, 255)} {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setCursor(Qt::PointingHandCursor);
    connect(&timer, &QTimer::timeout, this, [this] {
        roll.Tick();
        update();
    });
}

void CCreditsScroller::LoadText(const QString& text, QChar delimiter) {
    lines = ParseCredits(text.toStdString(), static_cast<char>(delimiter.toLatin1()));
}

void CCreditsScroller::SelectInterval(IntervalEntry entry, int milliseconds) {
    if (milliseconds != 0) {
        intervals[entry] = milliseconds;
    }
    chosenInterval = entry;
}

void CCreditsScroller::SetColour(ColourEntry entry, const QColor& colour) {
    colours[entry] = colour;
}

void CCreditsScroller::SetTransparentText(bool on) {
    transparentText = on;
}

void CCreditsScroller::SetBackdrop(const QString& resource) {
    backdrop = RenderSvg(resource);
}

bool CCreditsScroller::StartRoll() {
    if (lines.empty()) {
        return false;
    }
    roll.Load(lines, [this](const CreditLine& line) { return HeightOf(line); });
    timer.start(Interval());
    update();
    return true;
}

QFont CCreditsScroller::FontOf(CreditKind kind) const {
    QFont font(QStringLiteral("Arial"));
    font.setStyleHint(QFont::SansSerif);
    // A font's line height is about 1.15 times its pixel size.
    font.setPixelSize(NominalHeight(kind) * 20 / 23);
    font.setWeight(kind == CreditKind::Text ? QFont::Thin : QFont::Bold);
    return font;
}

QColor CCreditsScroller::ColourOf(CreditKind kind) const {
    switch (kind) {
    case CreditKind::Title:
        return colours[TitleColour];
    case CreditKind::Group:
        return colours[GroupColour];
    case CreditKind::GroupTitle:
        return colours[GroupTitleColour];
    default:
        return colours[TextColour];
    }
}

const QPixmap& CCreditsScroller::Picture(const std::string& name) {
    auto found = pictures.find(name);
    if (found == pictures.end()) {
        found =
            pictures
                .emplace(
                    name,
                    RenderSvg(QStringLiteral(":/about/%1.svg").arg(QString::fromStdString(name))))
                .first;
    }
    return found->second;
}

int CCreditsScroller::HeightOf(const CreditLine& line) {
    if (line.kind == CreditKind::Picture) {
        return Picture(line.text).height();
    }
    return QFontMetrics(FontOf(line.kind)).height();
}

void CCreditsScroller::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (transparentText && !backdrop.isNull()) {
        painter.drawTiledPixmap(rect(), backdrop);
    } else {
        painter.fillRect(rect(), colours[Background]);
    }
    for (const CreditsRoll::Placed& placed : roll.Visible(height())) {
        const CreditLine& line = roll.Lines()[placed.line];
        const QRect band(0, placed.top, width(), placed.height);
        if (line.kind == CreditKind::Picture) {
            const QPixmap& picture = Picture(line.text);
            painter.drawPixmap((width() - picture.width()) / 2, placed.top, picture);
            continue;
        }
        painter.setFont(FontOf(line.kind));
        painter.setPen(ColourOf(line.kind));
        painter.drawText(band, Qt::AlignCenter | Qt::TextSingleLine,
                         QString::fromStdString(line.text));
    }
}

} // namespace zelk
