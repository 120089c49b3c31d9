// SPDX-License-Identifier: GPL-3.0-or-later
// The start-up picture: borderless, centred, gone after its time or at the first key or
// mouse press anywhere in the program, which it swallows.
#pragma once

#include <QPixmap>
#include <QWidget>

namespace zelk {

class CSplashScreen : public QWidget {
    Q_OBJECT
public:
    static constexpr int Width = 520;
    static constexpr int Height = 320;
    static constexpr int ShowMilliseconds = 3750;

    // Shows a splash over `mainWindow`; it deletes itself when it closes.
    static CSplashScreen* Open(QWidget* mainWindow, int milliseconds = ShowMilliseconds);

    // True when the event was a key or button press that the splash took to close itself.
    bool FilterMessage(QEvent* event);
    void Close();

protected:
    void paintEvent(QPaintEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    CSplashScreen(QWidget* mainWindow, int milliseconds);
    ~CSplashScreen() override;

    QWidget* owner;
    QPixmap picture;
    bool closing = false;
};

} // namespace zelk
