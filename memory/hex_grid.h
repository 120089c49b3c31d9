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
    const QFont& GridFont() const { return font; }

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
    // Repaints once after an input: all rows when the model says so, else only where the
    // caret was and is.
    void AfterInput(bool redraw, const QRect& caretBefore);
    QRect CaretRect() const;
    void RenderRows();
    void SyncScrollBar();

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
};

} // namespace zelk
