// SPDX-License-Identifier: GPL-3.0-or-later
// The hex editor control: paints a HexGridModel in a fixed-pitch font and feeds it the
// keyboard, the mouse, the wheel and the scroll bar.
#pragma once

#include "memory/hex_grid_model.h"

#include <array>
#include <cstdint>
#include <QAbstractScrollArea>
#include <QFont>
#include <QList>
#include <QPixmap>
#include <QPointF>
#include <QRawFont>
#include <string>

namespace zelk {

class CHexGrid : public QAbstractScrollArea {
    Q_OBJECT

public:
    explicit CHexGrid(QWidget* parent = nullptr);

    // Binds a buffer the grid edits in place but does not own; null and 0 unbind. Does not
    // repaint: the caller calls Redraw or RedrawNow.
    void SetData(std::uint8_t* bytes, std::uint32_t length);
    // 16 or 8; the top row keeps its first byte.
    void SetBytesPerRow(int bytesPerRow);
    // Draws the rows again at the next paint, or at once.
    void Redraw();
    void RedrawNow();

    const HexGridModel& Model() const { return model; }
    // Told the offset of every byte the user types into the buffer.
    void OnEdit(std::function<void(std::uint32_t offset)> observer) {
        model.onEdit = std::move(observer);
    }
    const QFont& GridFont() const { return font; }
    // Makes `index` the current byte and scrolls it into view; false beyond the shown bytes.
    bool GoTo(std::uint32_t index);
    // The width the control needs to show rows of `bytesPerRow` bytes whole, and the
    // height for `rows` rows under the header, in the control's font.
    int WidthFor(int bytesPerRow) const;
    int HeightFor(int rows) const;
    // The strip above the rows that shows the column offsets.
    QWidget* Header() const { return header; }

signals:
    // After every input that may have moved the caret or changed the current byte.
    void CurrentByteChanged();
    // A byte was typed into the image.
    void Edited();
    // Ctrl+G: the owner asks for an address and calls GoTo.
    void GoToRequested();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    // Tab is an editing key here, not a focus move.
    bool focusNextPrevChild(bool next) override;
    // The model decides what the scroll bar does; see OnScrollAction.
    void scrollContentsBy(int dx, int dy) override;

private:
    void OnScrollAction(int action);
    // Repaints once after an input, drawing the rows again when the model says so.
    void AfterInput(bool redraw);
    QRect CaretRect() const;
    void RenderRows();
    void SyncScrollBar();
    // Draws `text` one character per cell, the first cell's baseline at `origin`.
    void DrawCells(QPainter& painter, const std::string& text, QPointF origin);
    void PaintHeader(QPainter& painter);
    void PlaceHeader();

    // Address, blank, 16 bytes of three cells and 16 characters.
    static constexpr int MaxRowCells = 8 + 1 + 16 * 4;

    HexGridModel model;
    QFont font;
    QRawFont rawFont;
    std::array<quint32, 128> glyphOf{};
    QList<QPointF> cellPositions;
    QList<quint32> glyphIndexes;
    int ascent = 0;
    // Off-screen copy of the rows; the caret is drawn over it at every paint.
    QPixmap buffer;
    bool bufferDirty = true;
    int wheelDelta = 0;
    std::string rowText;
    QWidget* header;
};

} // namespace zelk
