// SPDX-License-Identifier: GPL-3.0-or-later
// "About zelk": the credits roll, and a click anywhere outside the button opens the
// project's web page.
#pragma once

#include <functional>
#include <QDialog>
#include <QUrl>

class QPushButton;

namespace zelk {

class CCreditsScroller;

class CAboutBox : public QDialog {
    Q_OBJECT
public:
    // Opens an address in the user's browser; null uses the desktop's handler.
    using PageOpener = std::function<void(const QUrl& address)>;

    explicit CAboutBox(QWidget* parent = nullptr, PageOpener opener = nullptr);

    // The credits: 27 lines in the roll's markup, "|" between lines.
    static QString CreditsText();
    // The web page of the build, else the installed README; empty when there is neither.
    static QUrl HomePageUrl();

    CCreditsScroller* Credits() const { return credits; }
    QPushButton* CloseButton() const { return closeButton; }

protected:
    void mousePressEvent(QMouseEvent* event) override;

private:
    CCreditsScroller* credits;
    QPushButton* closeButton;
    PageOpener openPage;
};

} // namespace zelk
