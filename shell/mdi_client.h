// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's client area, which holds the child windows: black, covered with tiles of
// the board picture. Qt paints a widget whole after every size change, so the tiles are
// always drawn from the top-left corner.
#pragma once

#include <QColor>
#include <QMdiArea>
#include <QPixmap>
#include <QString>

namespace zelk {

class CMdiClient : public QMdiArea {
    Q_OBJECT

public:
    // The picture the main window shows behind its child windows, 135 x 94 pixels.
    static inline const QString BackgroundPicture = QStringLiteral(":/background.svg");

    // Starts black, tiled with BackgroundPicture.
    explicit CMdiClient(QWidget* parent = nullptr);

    // An invalid colour leaves the area's own background brush. Answers the previous colour.
    QColor SetBackgroundColor(const QColor& color);
    void SetTile(bool tile);
    // An SVG is drawn at its own size, any other picture as it is. False, and no picture,
    // when the resource does not exist or cannot be read.
    bool LoadBackgroundBitmap(const QString& resource);

    bool HasBitmap() const { return !bitmap.isNull(); }
    const QPixmap& Bitmap() const { return bitmap; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor backgroundColor;
    QPixmap bitmap;
    bool tile = false;
};

} // namespace zelk
