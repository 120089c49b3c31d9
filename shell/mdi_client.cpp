// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/mdi_client.h"

#include "resources/zelk_resources.h"

#include <QPainter>
#include <QPaintEvent>
#include <QSvgRenderer>

namespace zelk {

CMdiClient::CMdiClient(QWidget* parent) : QMdiArea(parent) {
    RegisterZelkResources();
    SetBackgroundColor(Qt::black);
    SetTile(true);
    LoadBackgroundBitmap(BackgroundPicture);
}

QColor CMdiClient::SetBackgroundColor(const QColor& color) {
    const QColor previous = backgroundColor;
    backgroundColor = color;
    viewport()->update();
    return previous;
}

void CMdiClient::SetTile(bool newTile) {
    tile = newTile;
    viewport()->update();
}

bool CMdiClient::LoadBackgroundBitmap(const QString& resource) {
    bitmap = QPixmap();
    if (resource.endsWith(QLatin1String(".svg"), Qt::CaseInsensitive)) {
        QSvgRenderer renderer(resource);
        if (renderer.isValid()) {
            // Drawn once here at the screen's scale; every paint only copies tiles.
            const qreal ratio = devicePixelRatioF();
            bitmap = QPixmap(renderer.defaultSize() * ratio);
            bitmap.setDevicePixelRatio(ratio);
            bitmap.fill(Qt::transparent);
            QPainter painter(&bitmap);
            renderer.render(&painter, QRectF(QPointF(0, 0), renderer.defaultSize()));
        }
    } else {
        bitmap.load(resource);
    }
    viewport()->update();
    return !bitmap.isNull();
}

void CMdiClient::paintEvent(QPaintEvent* event) {
    QPainter painter(viewport());
    painter.fillRect(event->rect(),
                     backgroundColor.isValid() ? QBrush(backgroundColor) : background());
    if (tile && !bitmap.isNull()) {
        // Tiles start at the top-left corner; the last column and row are cut by the edge.
        painter.drawTiledPixmap(viewport()->rect(), bitmap);
    }
}

} // namespace zelk
