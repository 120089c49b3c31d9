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

    // Set once from the command line; the splash is off until enabled.
    static void Enable(bool enabled);
    // Shows the splash over `mainWindow` unless disabled or already shown.
    static void Show(QWidget* mainWindow, int milliseconds = ShowMilliseconds);
    // The splash now showing, or null.
    static CSplashScreen* Current();
    // True when the event was a key or button press that the splash took to close itself.
    static bool FilterMessage(QEvent* event);

    void Close();

protected:
    void paintEvent(QPaintEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    CSplashScreen(QWidget* mainWindow, int milliseconds);
    ~CSplashScreen() override;

    QWidget* owner;
    QPixmap picture;
};

} // namespace zelk
