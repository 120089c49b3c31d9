// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/lock_fuse_dialog.h"

#include <cstdio>
#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>

namespace zelk {
namespace {

std::size_t Index(LockFuseByte byte) {
    return static_cast<std::size_t>(byte);
}

QString ByteTitle(LockFuseByte byte) {
    switch (byte) {
    case LockFuseByte::Lock:
        return QStringLiteral("Lock byte");
    case LockFuseByte::Fuse:
        return QStringLiteral("Fuse byte");
    case LockFuseByte::FuseHigh:
        return QStringLiteral("Fuse high byte");
    case LockFuseByte::FuseExt:
        return QStringLiteral("Extended fuse byte");
    }
    return {};
}

std::string Hex(std::uint8_t value) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", value);
    return text;
}

} // namespace

CLockFuseDialog::CLockFuseDialog(QWidget* parent, const std::string& name,
                                 const std::filesystem::path& database, UserDialogs& userDialogs,
                                 Runner runner)
    : QDialog(parent), dialogs(userDialogs), run(std::move(runner)), deviceName(name),
      layout(LoadLockFuseLayout(database, deviceName)),
      guard(ReadDeviceSection(database, deviceName), ReadBitLabels(database, "Fuses")) {
    setWindowTitle(QStringLiteral("Lockbits & Fuses"));
    auto* content = new QWidget;
    auto* column = new QVBoxLayout(content);
    if (layout.lockGroupShown) {
        column->addWidget(BuildGroup(QStringLiteral("Lockbits"), {LockFuseByte::Lock},
                                     QStringLiteral("Write Lockbits"),
                                     QStringLiteral("Read Lockbits"), layout.readLockBitsShown));
    }
    if (layout.fuseGroupShown) {
        column->addWidget(
            BuildGroup(QStringLiteral("Fuses"),
                       {LockFuseByte::Fuse, LockFuseByte::FuseHigh, LockFuseByte::FuseExt},
                       QStringLiteral("Write Fuses"), QStringLiteral("Read Fuses"), true));
    }
    if (!layout.lockGroupShown && !layout.fuseGroupShown) {
        column->addWidget(
            new QLabel(deviceName.empty()
                           ? QStringLiteral("No device has been identified.")
                           : QStringLiteral("%1 has no lock bits or fuses that zelk.ini describes.")
                                 .arg(QString::fromStdString(deviceName))));
    }
    column->addStretch();
    // On a small screen, or at a large scale, every box stays reachable by scrolling.
    auto* scroll = new QScrollArea;
    scroll->setObjectName(QStringLiteral("Scroll"));
    scroll->setAccessibleName(QStringLiteral("Lock and fuse bits"));
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidget(content);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(scroll);
    const QSize wanted =
        content->sizeHint() + QSize(scroll->verticalScrollBar()->sizeHint().width(), 0);
    const QScreen* shown = parent != nullptr ? parent->screen() : QGuiApplication::primaryScreen();
    const QSize room = shown != nullptr ? shown->availableGeometry().size() * 9 / 10 : wanted;
    resize(wanted.boundedTo(room));

    // The chip's bytes as the dialog opens: the lock byte where it can be read, then the fuses.
    const bool readLock = layout.HasByte(LockFuseByte::Lock) && layout.readLockBitsShown;
    if (readLock && layout.fuseGroupShown) {
        Run(CommandId::ReadLock, {}, [this](const CommandOutput& output) {
            SetTicks(LockFuseByte::Lock, layout.TicksFromChip(LockFuseByte::Lock, *output.lock));
            OnReadFuses();
        });
    } else if (readLock) {
        OnReadLockbits();
    } else if (layout.fuseGroupShown) {
        OnReadFuses();
    }
}

void CLockFuseDialog::Run(CommandId id, const CommandInput& input,
                          std::function<void(const CommandOutput&)> then) {
    SetBusy(true);
    const bool started = run(
        id, input,
        [this, then = std::move(then)](CommandResult result, const CommandOutput& output) {
            SetBusy(false);
            if (then && (result == CommandResult::Done || result == CommandResult::Unconfirmed)) {
                then(output);
            }
        });
    if (!started) {
        SetBusy(false);
    }
}

void CLockFuseDialog::SetBusy(bool on) {
    busy = on;
    for (QPushButton* button : buttons) {
        button->setEnabled(!on);
    }
}

QWidget* CLockFuseDialog::BuildGroup(const QString& title,
                                     std::initializer_list<LockFuseByte> bytes,
                                     const QString& writeText, const QString& readText,
                                     bool readShown) {
    // The bytes stand side by side, each with its hex field below: a tall column of every
    // fuse bit would not fit a small screen.
    auto* group = new QGroupBox(title);
    auto* grid = new QGridLayout(group);
    int column = 0;
    for (const LockFuseByte byte : bytes) {
        if (!layout.HasByte(byte)) {
            continue;
        }
        auto* bits = new QGroupBox(ByteTitle(byte));
        auto* list = new QVBoxLayout(bits);
        for (const LockFuseBox& box : layout.Boxes()) {
            if (box.byte != byte) {
                continue;
            }
            auto* check = new QCheckBox(QString::fromStdString(box.label));
            check->setObjectName(QStringLiteral("Box%1").arg(box.id));
            connect(check, &QCheckBox::toggled, this, [this, byte] { ShowHex(byte); });
            list->addWidget(check);
            boxes.push_back({check, byte, box.bit});
        }
        list->addStretch();
        auto* hex = new QLineEdit;
        hex->setObjectName(QStringLiteral("Hex%1").arg(Index(byte)));
        hex->setValidator(new QRegularExpressionValidator(
            QRegularExpression(QStringLiteral("(0[xX])?[0-9A-Fa-f]{1,2}")), hex));
        hex->setMaximumWidth(hex->fontMetrics().horizontalAdvance(QStringLiteral("0xFFFF")) + 16);
        hex->setToolTip(QStringLiteral("The byte on the chip: 0 is a programmed bit"));
        // Without a name of its own it would take the group's: three fields called "Fuses".
        hex->setAccessibleName(ByteTitle(byte) + QStringLiteral(" in hex"));
        // Enter applies the typed byte to the boxes and writes nothing.
        connect(hex, &QLineEdit::editingFinished, this, [this, byte] { TakeHex(byte); });
        connect(hex, &QLineEdit::returnPressed, this, [this, byte] { TakeHex(byte); });
        hexEdits[Index(byte)] = hex;
        grid->addWidget(bits, 0, column);
        grid->addWidget(hex, 1, column, Qt::AlignLeft);
        ShowHex(byte);
        ++column;
    }
    auto* actions = new QVBoxLayout;
    auto* write = new QPushButton(writeText);
    write->setAutoDefault(false);
    buttons.push_back(write);
    actions->addWidget(write);
    const bool lock = title == QStringLiteral("Lockbits");
    connect(write, &QPushButton::clicked, this,
            lock ? &CLockFuseDialog::OnWriteLockbits : &CLockFuseDialog::OnWriteFuses);
    if (readShown) {
        auto* read = new QPushButton(readText);
        read->setAutoDefault(false);
        buttons.push_back(read);
        actions->addWidget(read);
        connect(read, &QPushButton::clicked, this,
                lock ? &CLockFuseDialog::OnReadLockbits : &CLockFuseDialog::OnReadFuses);
    }
    actions->addStretch();
    grid->addLayout(actions, 0, std::max(column, 1), 2, 1);
    return group;
}

std::uint8_t CLockFuseDialog::Ticks(LockFuseByte byte) const {
    std::uint8_t ticks = 0;
    for (const Box& box : boxes) {
        if (box.byte == byte && box.check->isChecked()) {
            ticks = static_cast<std::uint8_t>(ticks | (1u << box.bit));
        }
    }
    return ticks;
}

void CLockFuseDialog::SetTicks(LockFuseByte byte, std::uint8_t ticks) {
    for (const Box& box : boxes) {
        if (box.byte == byte) {
            const QSignalBlocker quiet(box.check);
            box.check->setChecked((ticks & (1u << box.bit)) != 0);
        }
    }
    ShowHex(byte);
}

void CLockFuseDialog::ShowHex(LockFuseByte byte) {
    if (QLineEdit* hex = hexEdits[Index(byte)]; hex != nullptr) {
        hex->setText(QString::fromStdString(Hex(layout.ChipFromTicks(byte, Ticks(byte)))));
    }
}

void CLockFuseDialog::TakeHex(LockFuseByte byte) {
    QString text = hexEdits[Index(byte)]->text();
    if (text.startsWith(QStringLiteral("0x"), Qt::CaseInsensitive)) {
        text = text.mid(2);
    }
    bool parsed = false;
    const unsigned value = text.toUInt(&parsed, 16);
    // Bits without a box keep what the pattern fixes; the field shows the byte that is sent.
    SetTicks(byte,
             parsed ? layout.TicksFromChip(byte, static_cast<std::uint8_t>(value)) : Ticks(byte));
}

FuseBytes CLockFuseDialog::FusesFromBoxes() const {
    FuseBytes fuses;
    fuses.low = layout.ChipFromTicks(LockFuseByte::Fuse, Ticks(LockFuseByte::Fuse));
    fuses.high = layout.ChipFromTicks(LockFuseByte::FuseHigh, Ticks(LockFuseByte::FuseHigh));
    fuses.ext = layout.ChipFromTicks(LockFuseByte::FuseExt, Ticks(LockFuseByte::FuseExt));
    return fuses;
}

void CLockFuseDialog::ShowFuses(const FuseBytes& fuses) {
    SetTicks(LockFuseByte::Fuse, layout.TicksFromChip(LockFuseByte::Fuse, fuses.low));
    SetTicks(LockFuseByte::FuseHigh, layout.TicksFromChip(LockFuseByte::FuseHigh, fuses.high));
    SetTicks(LockFuseByte::FuseExt, layout.TicksFromChip(LockFuseByte::FuseExt, fuses.ext));
}

void CLockFuseDialog::OnReadLockbits() {
    Run(CommandId::ReadLock, {}, [this](const CommandOutput& output) {
        SetTicks(LockFuseByte::Lock, layout.TicksFromChip(LockFuseByte::Lock, *output.lock));
    });
}

void CLockFuseDialog::OnReadFuses() {
    Run(CommandId::ReadFuses, {}, [this](const CommandOutput& output) {
        chipFuses = *output.fuses;
        ShowFuses(*output.fuses);
    });
}

// The write reads the byte back and reports a difference itself; the boxes then show what
// the chip holds, whatever the write did.
void CLockFuseDialog::OnWriteLockbits() {
    CommandInput input;
    input.lock = layout.ChipFromTicks(LockFuseByte::Lock, Ticks(LockFuseByte::Lock));
    SetBusy(true);
    const bool started =
        run(CommandId::WriteLock, input, [this](CommandResult, const CommandOutput&) {
            SetBusy(false);
            if (layout.readLockBitsShown) {
                OnReadLockbits();
            }
        });
    if (!started) {
        SetBusy(false);
    }
}

void CLockFuseDialog::OnWriteFuses() {
    const FuseBytes sent = FusesFromBoxes();
    if (const std::string question = guard.Question(chipFuses, sent); !question.empty()) {
        if (!dialogs.Confirm(question)) {
            return;
        }
    }
    CommandInput input;
    input.fuses = {sent.low};
    if (layout.HasByte(LockFuseByte::FuseHigh)) {
        input.fuses.push_back(sent.high);
    }
    if (layout.HasByte(LockFuseByte::FuseExt)) {
        input.fuses.push_back(sent.ext);
    }
    // The user was asked: the guard's question is the dialog's own.
    input.force = true;
    SetBusy(true);
    const bool started =
        run(CommandId::WriteFuses, input, [this](CommandResult, const CommandOutput&) {
            SetBusy(false);
            OnReadFuses();
        });
    if (!started) {
        SetBusy(false);
    }
}

} // namespace zelk
