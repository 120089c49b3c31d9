// SPDX-License-Identifier: GPL-3.0-or-later
#include "about/about_box.h"

#include "about/credits_scroller.h"
#include "about/home_page.h"
#include "resources/zelk_resources.h"

#include <algorithm>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QMouseEvent>
#include <QPushButton>
#include <QVBoxLayout>

namespace zelk {
namespace {

constexpr int Width = 352;
constexpr int Height = 237;
constexpr int Margin = 10;
constexpr int TickMilliseconds = 20;

} // namespace

QString CAboutBox::CreditsText() {
    const QStringList lines = {
        QStringLiteral("zelk %1\t").arg(QStringLiteral(ZELK_VERSION)),
        QStringLiteral("In-system programmer for AVR microcontrollers"),
        QString(),
        QStringLiteral("chip^"),
        QStringLiteral("Flash, EEPROM, lock and fuse bits"),
        QStringLiteral("over the parallel port"),
        QStringLiteral("with a simulated board for the desk"),
        QString(),
        QStringLiteral("Programming engine\r"),
        QStringLiteral("The zelk developers"),
        QString(),
        QStringLiteral("Hex editor and windows\r"),
        QStringLiteral("Built with Qt 6"),
        QString(),
        QStringLiteral("Terminals\r"),
        QStringLiteral("Serial and SPI, raw bytes both ways"),
        QString(),
        QStringLiteral("Device facts\r"),
        QStringLiteral("From the data sheets"),
        QString(),
        QStringLiteral("Thanks\r"),
        QStringLiteral("To everyone who tried it on a real board\n"),
        QString(),
        QString(),
        QString(),
        QString(),
        QString(),
    };
    return lines.join(QLatin1Char('|'));
}

QUrl CAboutBox::HomePageUrl() {
    const HomePage page =
        FindHomePage(ZELK_HOMEPAGE, QCoreApplication::applicationDirPath().toStdString());
    if (page.address.empty()) {
        return {};
    }
    const QString address = QString::fromStdString(page.address);
    return page.isFile ? QUrl::fromLocalFile(address) : QUrl(address);
}

CAboutBox::CAboutBox(QWidget* parent, PageOpener opener)
    : QDialog(parent), credits(new CCreditsScroller(this)),
      closeButton(new QPushButton(
          QStringLiteral("Thank you, I've seen enough already, now take it away !"), this)),
      openPage(opener ? std::move(opener)
                      : [](const QUrl& address) { QDesktopServices::openUrl(address); }) {
    RegisterZelkResources();
    setWindowTitle(QStringLiteral("About zelk"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(Margin, Margin, Margin, Margin);
    layout->addWidget(credits, 1);
    layout->addWidget(closeButton);
    // The button's long text sets the width where the font is wider than the box.
    setFixedSize(std::max(Width, closeButton->sizeHint().width() + 2 * Margin), Height);
    closeButton->setDefault(true);
    connect(closeButton, &QPushButton::clicked, this, &QDialog::accept);

    credits->LoadText(CreditsText(), QLatin1Char('|'));
    credits->SelectInterval(CCreditsScroller::Slow, TickMilliseconds);
    credits->SetColour(CCreditsScroller::Background, QColor(0, 0, 255));
    credits->SetTransparentText(true);
    credits->SetBackdrop(QStringLiteral(":/about/backdrop.svg"));
    credits->StartRoll();
    closeButton->setFocus();
}

void CAboutBox::mousePressEvent(QMouseEvent* event) {
    QDialog::mousePressEvent(event);
    if (event->button() == Qt::LeftButton) {
        const QUrl address = HomePageUrl();
        if (!address.isEmpty()) {
            openPage(address);
        }
    }
}

} // namespace zelk
