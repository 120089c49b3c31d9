// SPDX-License-Identifier: GPL-3.0-or-later
#include "about/splash_screen.h"

#include "resources/zelk_resources.h"

#include <algorithm>
#include <QApplication>
#include <QPainter>
#include <QScreen>
#include <QSvgRenderer>
#include <QTimer>

namespace zelk {

CSplashScreen* CSplashScreen::Open(QWidget* mainWindow, int milliseconds) {
    auto* splash = new CSplashScreen(mainWindow, milliseconds);
    splash->show();
    splash->repaint();
    return splash;
}

CSplashScreen::CSplashScreen(QWidget* mainWindow, int milliseconds)
    : QWidget(mainWindow, Qt::SplashScreen | Qt::FramelessWindowHint), owner(mainWindow) {
    RegisterZelkResources();
    setAttribute(Qt::WA_DeleteOnClose);
    setFixedSize(Width, Height);
    const qreal ratio = devicePixelRatioF();
    picture = QPixmap(QSize(Width, Height) * ratio);
    picture.fill(Qt::black);
    QPainter painter(&picture);
    QSvgRenderer(QStringLiteral(":/splash.svg")).render(&painter);
    painter.end();
    picture.setDevicePixelRatio(ratio);

    // Over the main window once it shows; at start-up it does not yet, so on the screen.
    const bool ownerShown = owner != nullptr && owner->isVisible() && !owner->isMinimized();
    const QRect area = ownerShown ? owner->frameGeometry()
                                  : (screen() != nullptr ? screen()->availableGeometry() : QRect());
    QRect place(QPoint(), size());
    place.moveCenter(area.center());
    if (screen() != nullptr) {
        const QRect work = screen()->availableGeometry();
        place.moveLeft(
            std::clamp(place.left(), work.left(), std::max(work.left(), work.right() - Width)));
        place.moveTop(
            std::clamp(place.top(), work.top(), std::max(work.top(), work.bottom() - Height)));
    }
    move(place.topLeft());

    qApp->installEventFilter(this);
    QTimer::singleShot(milliseconds, this, &CSplashScreen::Close);
}

CSplashScreen::~CSplashScreen() {
    qApp->removeEventFilter(this);
}

bool CSplashScreen::FilterMessage(QEvent* event) {
    if (closing) {
        return false;
    }
    switch (event->type()) {
    case QEvent::ShortcutOverride:
        // Claimed, so that no shortcut fires: the key press that follows closes the splash.
        event->accept();
        return true;
    case QEvent::KeyPress:
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
    case QEvent::NonClientAreaMouseButtonPress:
    case QEvent::NonClientAreaMouseButtonDblClick:
        Close();
        return true;
    default:
        return false;
    }
}

bool CSplashScreen::eventFilter(QObject* watched, QEvent* event) {
    return FilterMessage(event) || QWidget::eventFilter(watched, event);
}

void CSplashScreen::Close() {
    if (!closing) {
        closing = true;
        qApp->removeEventFilter(this);
    }
    close();
    if (owner != nullptr && owner->isVisible()) {
        owner->activateWindow();
        owner->repaint();
    }
}

void CSplashScreen::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.drawPixmap(0, 0, picture);
}

} // namespace zelk
