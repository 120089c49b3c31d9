// SPDX-License-Identifier: GPL-3.0-or-later
#include "terminal/spi_terminal.h"

#include "terminal/terminal_output.h"

#include <QPushButton>
#include <QVBoxLayout>

namespace zelk {
namespace {

constexpr int Width = 570;
constexpr int Height = 375;
constexpr int Margin = 5;

} // namespace

CSpiTerminal::CSpiTerminal(QWidget* parent, SpiLink& link)
    : QDialog(parent), output(new CTerminalOutput(this)),
      session(link,
              SpiAnswerEvents{
                  .answer =
                      [this](std::uint8_t byte) {
                          QMetaObject::invokeMethod(
                              this, [this, byte] { output->AppendChar(byte); },
                              Qt::QueuedConnection);
                      },
                  .cutOff =
                      [this] {
                          QMetaObject::invokeMethod(
                              this,
                              [this] {
                                  output->AppendNote(
                                      tr("[answer cut off after %1 bytes]").arg(SpiAnswerLimit));
                              },
                              Qt::QueuedConnection);
                      },
              }) {
    setWindowTitle(tr("SPI Terminal"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(Margin, Margin, Margin, Margin);
    layout->addWidget(output);
    auto* close = new QPushButton(tr("Close"));
    close->setAutoDefault(false);
    connect(close, &QPushButton::clicked, this, &QDialog::reject);
    layout->addWidget(close, 0, Qt::AlignRight);
    setFixedSize(Width, Height);
    connect(output, &CTerminalOutput::TerminalKey, this,
            [this](int character) { session.Type(static_cast<std::uint8_t>(character & 0xFF)); });
    output->setFocus();
}

CSpiTerminal::~CSpiTerminal() {
    // The worker posts to this window: it must have ended before the window goes.
    session.Stop();
}

void CSpiTerminal::Gather(std::uint8_t byte) {
    const std::lock_guard guard(gatheredLock);
    gathered.push_back(byte);
    if (gathered.size() == 1) {
        QMetaObject::invokeMethod(this, &CSpiTerminal::ShowGathered, Qt::QueuedConnection);
    }
}

void CSpiTerminal::ShowGathered() {
    std::vector<std::uint8_t> bytes;
    {
        const std::lock_guard guard(gatheredLock);
        bytes.swap(gathered);
    }
    output->AppendBytes(bytes);
}

bool CSpiTerminal::Start(std::string& reason) {
    return session.Start(reason);
}

} // namespace zelk
