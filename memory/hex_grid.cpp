// SPDX-License-Identifier: GPL-3.0-or-later
#include "memory/hex_grid.h"

#include "memory/hex_grid_accessible.h"

#include <cmath>
#include <functional>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QGlyphRun>
#include <QKeyEvent>
#include <QPainter>
#include <QScrollBar>
#include <QWheelEvent>

namespace zelk {

namespace {

// A strip that lets its owner paint it.
class PaintedStrip : public QWidget {
public:
    PaintedStrip(QWidget* parent, std::function<void(QPainter&)> paint)
        : QWidget(parent), painter(std::move(paint)) {}

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter on(this);
        painter(on);
    }

private:
    std::function<void(QPainter&)> painter;
};

HexGridKey GridKey(const QKeyEvent& event) {
    const bool control = (event.modifiers() & Qt::ControlModifier) != 0;
    switch (event.key()) {
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        return HexGridKey::Tab;
    case Qt::Key_PageUp:
        return HexGridKey::PageUp;
    case Qt::Key_PageDown:
        return HexGridKey::PageDown;
    case Qt::Key_End:
        return control ? HexGridKey::Finish : HexGridKey::End;
    case Qt::Key_Home:
        return control ? HexGridKey::Start : HexGridKey::Home;
    case Qt::Key_Left:
        return HexGridKey::Left;
    case Qt::Key_Up:
        return HexGridKey::Up;
    case Qt::Key_Right:
        return HexGridKey::Right;
    case Qt::Key_Down:
        return HexGridKey::Down;
    default:
        return HexGridKey::Other;
    }
}

// One notch of a common mouse wheel.
constexpr int WheelNotch = 120;

} // namespace

CHexGrid::CHexGrid(QWidget* parent)
    : QAbstractScrollArea(parent), font(QFontDatabase::systemFont(QFontDatabase::FixedFont)),
      rawFont(QRawFont::fromFont(font)),
      header(new PaintedStrip(this, [this](QPainter& painter) { PaintHeader(painter); })) {
    // A screen reader sees the grid as a table of bytes rather than a bare scroll area.
    static const bool accessible = [] {
        QAccessible::installFactory(HexGridAccessible::Create);
        return true;
    }();
    (void)accessible;
    const QFontMetricsF metrics(font);
    const int charWidth =
        std::max(1, static_cast<int>(std::lround(metrics.horizontalAdvance(QLatin1Char('0')))));
    const QFontMetrics whole(font);
    ascent = whole.ascent();
    model.SetCellSize(charWidth, whole.height());

    // Rows are drawn as glyph runs at whole-pixel cells: no text shaping at paint time, and
    // the glyphs line up with the caret and the click cells even when the font's advance is
    // fractional. Rows hold printable ASCII only.
    for (char32_t c = 0x20; c < 0x7F; ++c) {
        const QList<quint32> indexes = rawFont.glyphIndexesForString(QString(QChar(c)));
        glyphOf[c] = indexes.isEmpty() ? 0 : indexes.constFirst();
    }
    for (int cell = 0; cell < MaxRowCells; ++cell) {
        cellPositions.append(QPointF(cell * charWidth, 0));
    }

    setFocusPolicy(Qt::StrongFocus);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    verticalScrollBar()->setFocusPolicy(Qt::NoFocus);
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    viewport()->setCursor(Qt::IBeamCursor);
    connect(verticalScrollBar(), &QScrollBar::actionTriggered, this, &CHexGrid::OnScrollAction);
    setViewportMargins(0, whole.height(), 0, 0);
    SyncScrollBar();
}

bool CHexGrid::GoTo(std::uint32_t index) {
    if (!model.GoTo(index)) {
        return false;
    }
    AfterInput(true);
    return true;
}

int CHexGrid::WidthFor(int bytesPerRow) const {
    // The widest address, a blank, three cells and one character per byte, and a cell to
    // spare: the size does not change when an image of another size is bound.
    const int cells = 8 + 1 + 4 * bytesPerRow + 1;
    return cells * model.CharWidth() + verticalScrollBar()->sizeHint().width() + 2 * frameWidth();
}

int CHexGrid::HeightFor(int rows) const {
    return (rows + 1) * model.LineHeight() + 2 * frameWidth();
}

void CHexGrid::PlaceHeader() {
    const QRect area = viewport()->geometry();
    header->setGeometry(area.left(), area.top() - model.LineHeight(), area.width(),
                        model.LineHeight());
}

void CHexGrid::PaintHeader(QPainter& painter) {
    painter.fillRect(header->rect(), palette().color(QPalette::Window));
    if (!model.IsBound()) {
        return;
    }
    painter.setPen(palette().color(QPalette::PlaceholderText));
    model.FormatHeader(rowText);
    DrawCells(painter, rowText, QPointF(0, ascent));
}

void CHexGrid::DrawCells(QPainter& painter, const std::string& text, QPointF origin) {
    const auto cells = std::min<qsizetype>(std::ssize(text), MaxRowCells);
    glyphIndexes.resize(cells);
    for (qsizetype i = 0; i < cells; ++i) {
        glyphIndexes[i] = glyphOf[static_cast<unsigned char>(text[i]) & 0x7F];
    }
    QGlyphRun run;
    run.setRawFont(rawFont);
    run.setGlyphIndexes(glyphIndexes);
    run.setPositions(cellPositions.first(cells));
    painter.drawGlyphRun(origin, run);
}

void CHexGrid::SetData(std::uint8_t* bytes, std::uint32_t length) {
    model.SetData(bytes, length);
    bufferDirty = true;
    SyncScrollBar();
}

void CHexGrid::SetBytesPerRow(int bytesPerRow) {
    model.SetBytesPerRow(bytesPerRow);
    bufferDirty = true;
    SyncScrollBar();
}

void CHexGrid::Redraw() {
    bufferDirty = true;
    viewport()->update();
}

void CHexGrid::RedrawNow() {
    bufferDirty = true;
    viewport()->repaint();
}

QRect CHexGrid::CaretRect() const {
    return {model.CaretX(), model.CaretY(), model.CharWidth(), model.LineHeight()};
}

void CHexGrid::SyncScrollBar() {
    const HexGridScrollBar bar = model.ScrollBar();
    QScrollBar* scrollBar = verticalScrollBar();
    scrollBar->setRange(0, bar.maximum);
    scrollBar->setPageStep(bar.page);
    scrollBar->setSingleStep(1);
    scrollBar->setValue(bar.value);
    // Disabled rather than hidden when everything fits.
    scrollBar->setEnabled(bar.enabled);
}

void CHexGrid::RenderRows() {
    const qreal ratio = devicePixelRatioF();
    const QSize pixels = viewport()->size() * ratio;
    if (buffer.size() != pixels) {
        buffer = QPixmap(pixels);
        buffer.setDevicePixelRatio(ratio);
    }
    buffer.fill(palette().color(QPalette::Base));
    if (model.IsBound()) {
        QPainter painter(&buffer);
        painter.setFont(font);
        painter.setPen(palette().color(QPalette::Text));
        const int rows = model.VisibleRows();
        const int lineHeight = model.LineHeight();
        for (int row = 0; row < rows; ++row) {
            model.FormatRow(row, rowText);
            DrawCells(painter, rowText, QPointF(0, row * lineHeight + ascent));
        }
    }
    bufferDirty = false;
}

void CHexGrid::paintEvent(QPaintEvent* event) {
    if (bufferDirty || buffer.size() != viewport()->size() * devicePixelRatioF()) {
        RenderRows();
    }
    QPainter painter(viewport());
    painter.setClipRegion(event->region());
    painter.drawPixmap(0, 0, buffer);
    int hexX = 0;
    int charX = 0;
    int y = 0;
    if (model.CurrentByteCells(hexX, charX, y)) {
        // The current byte is marked in both columns; the caret shows which one is edited.
        QColor mark = palette().color(QPalette::Highlight);
        mark.setAlpha(90);
        const int cell = model.CharWidth();
        const int height = model.LineHeight();
        painter.fillRect(hexX, y, 2 * cell, height, mark);
        painter.fillRect(charX, y, cell, height, mark);
    }
    if (hasFocus() && model.CaretVisible()) {
        // A solid block that inverts what lies beneath it.
        painter.setCompositionMode(QPainter::CompositionMode_Difference);
        painter.fillRect(CaretRect(), Qt::white);
    }
}

void CHexGrid::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    model.SetClientSize(viewport()->width(), viewport()->height());
    bufferDirty = true;
    SyncScrollBar();
    PlaceHeader();
}

void CHexGrid::AfterInput(bool redraw) {
    SyncScrollBar();
    if (redraw) {
        bufferDirty = true;
    }
    // The mark of the current byte may have moved in both columns: the cached rows make a
    // whole repaint cheap.
    viewport()->update();
    header->update();
    HexGridAccessible::CurrentByteChanged(this);
    emit CurrentByteChanged();
}

void CHexGrid::keyPressEvent(QKeyEvent* event) {
    if (event->keyCombination() == QKeyCombination(Qt::ControlModifier, Qt::Key_G)) {
        emit GoToRequested();
        event->accept();
        return;
    }
    const std::uint64_t editsBefore = model.EditCount();
    bool redraw = model.Key(GridKey(*event));
    if ((event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) == 0) {
        for (char32_t character : event->text().toUcs4()) {
            redraw = model.Type(character) || redraw;
        }
    }
    AfterInput(redraw);
    if (model.EditCount() != editsBefore) {
        emit Edited();
    }
    event->accept();
}

void CHexGrid::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QAbstractScrollArea::mousePressEvent(event);
        return;
    }
    setFocus(Qt::MouseFocusReason);
    const QPoint at = event->position().toPoint();
    model.Click(at.x(), at.y());
    AfterInput(false);
}

void CHexGrid::mouseDoubleClickEvent(QMouseEvent* event) {
    // The second press of a double click is not a click.
    event->accept();
}

void CHexGrid::wheelEvent(QWheelEvent* event) {
    const int delta = event->angleDelta().y();
    if (delta == 0) {
        event->ignore();
        return;
    }
    // One page per notch; fine-grained wheels and touchpads add up to a notch first.
    if ((wheelDelta > 0) != (delta > 0)) {
        wheelDelta = 0;
    }
    wheelDelta += delta;
    if (std::abs(wheelDelta) >= WheelNotch) {
        const bool redraw = model.Wheel(wheelDelta);
        wheelDelta = 0;
        AfterInput(redraw);
    }
    event->accept();
}

void CHexGrid::focusInEvent(QFocusEvent* event) {
    QAbstractScrollArea::focusInEvent(event);
    const QRect caretBefore = CaretRect();
    model.Focus();
    viewport()->update(caretBefore);
    viewport()->update(CaretRect());
}

void CHexGrid::focusOutEvent(QFocusEvent* event) {
    QAbstractScrollArea::focusOutEvent(event);
    viewport()->update(CaretRect());
}

bool CHexGrid::focusNextPrevChild(bool) {
    return false;
}

void CHexGrid::scrollContentsBy(int, int) {}

void CHexGrid::OnScrollAction(int action) {
    HexGridScroll request = HexGridScroll::ThumbPosition;
    switch (action) {
    case QAbstractSlider::SliderSingleStepSub:
        request = HexGridScroll::LineUp;
        break;
    case QAbstractSlider::SliderSingleStepAdd:
        request = HexGridScroll::LineDown;
        break;
    case QAbstractSlider::SliderPageStepSub:
        request = HexGridScroll::PageUp;
        break;
    case QAbstractSlider::SliderPageStepAdd:
        request = HexGridScroll::PageDown;
        break;
    case QAbstractSlider::SliderMove:
        request = HexGridScroll::ThumbTrack;
        break;
    case QAbstractSlider::SliderToMinimum:
        request = HexGridScroll::Top;
        break;
    case QAbstractSlider::SliderToMaximum:
        request = HexGridScroll::Bottom;
        break;
    default:
        break;
    }
    QScrollBar* scrollBar = verticalScrollBar();
    const bool redraw = model.Scroll(request, scrollBar->sliderPosition());
    // The slider takes the model's row once this action is done.
    scrollBar->setSliderPosition(model.ScrollBar().value);
    AfterInput(redraw);
}

} // namespace zelk
