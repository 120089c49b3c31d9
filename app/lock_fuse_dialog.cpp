#include "app/lock_fuse_dialog.h"

#include "engine/command_support.h"

#include <cstdio>
#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
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

// The device a command found last, or the one found now when none was.
std::string IdentifiedDevice(Programmer& programmer, TargetUi& ui) {
    if (programmer.device.name.empty() && PrepareKnownTarget(programmer, ui)) {
        ReleaseTarget(programmer);
    }
    return programmer.device.name;
}

} // namespace

CLockFuseDialog::CLockFuseDialog(QWidget* parent, Programmer& owner, TargetUi& targetUi,
                                 UserDialogs& userDialogs)
    : QDialog(parent), programmer(owner), ui(targetUi), dialogs(userDialogs),
      deviceName(IdentifiedDevice(owner, targetUi)),
      layout(LoadLockFuseLayout(owner.DeviceDatabase(), deviceName)),
      guard(ReadDeviceSection(owner.DeviceDatabase(), deviceName),
            ReadBitLabels(owner.DeviceDatabase(), "Fuses")) {
    setWindowTitle(QStringLiteral("Lockbits & Fuses"));
    auto* column = new QVBoxLayout(this);
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
    if (layout.HasByte(LockFuseByte::Lock)) {
        OnReadLockbits();
    }
    if (layout.fuseGroupShown) {
        OnReadFuses();
    }
}

QWidget* CLockFuseDialog::BuildGroup(const QString& title,
                                     std::initializer_list<LockFuseByte> bytes,
                                     const QString& writeText, const QString& readText,
                                     bool readShown) {
    auto* group = new QGroupBox(title);
    auto* grid = new QGridLayout(group);
    int row = 0;
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
        connect(hex, &QLineEdit::editingFinished, this, [this, byte] { TakeHex(byte); });
        hexEdits[Index(byte)] = hex;
        grid->addWidget(bits, row, 0);
        grid->addWidget(hex, row, 1, Qt::AlignTop);
        ShowHex(byte);
        ++row;
    }
    auto* buttons = new QVBoxLayout;
    auto* write = new QPushButton(writeText);
    buttons->addWidget(write);
    const bool lock = title == QStringLiteral("Lockbits");
    connect(write, &QPushButton::clicked, this,
            lock ? &CLockFuseDialog::OnWriteLockbits : &CLockFuseDialog::OnWriteFuses);
    if (readShown) {
        auto* read = new QPushButton(readText);
        buttons->addWidget(read);
        connect(read, &QPushButton::clicked, this,
                lock ? &CLockFuseDialog::OnReadLockbits : &CLockFuseDialog::OnReadFuses);
    }
    buttons->addStretch();
    grid->addLayout(buttons, 0, 2, std::max(row, 1), 1);
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
    if (const std::optional<std::uint8_t> lock = ReadLockByte(programmer, ui, layout)) {
        SetTicks(LockFuseByte::Lock, layout.TicksFromChip(LockFuseByte::Lock, *lock));
    }
}

void CLockFuseDialog::OnReadFuses() {
    if (const std::optional<FuseBytes> fuses = ReadFuseBytes(programmer, ui, layout)) {
        chipFuses = *fuses;
        ShowFuses(*fuses);
    }
}

// The write reads the byte back and reports a difference itself; the boxes then show what
// the chip holds, whatever the write did.
void CLockFuseDialog::OnWriteLockbits() {
    const std::uint8_t sent = layout.ChipFromTicks(LockFuseByte::Lock, Ticks(LockFuseByte::Lock));
    WriteLockByte(programmer, ui, sent);
    if (layout.readLockBitsShown) {
        OnReadLockbits();
    }
}

void CLockFuseDialog::OnWriteFuses() {
    const FuseBytes sent = FusesFromBoxes();
    if (const std::string question = guard.Question(chipFuses, sent); !question.empty()) {
        if (!dialogs.Confirm(question)) {
            return;
        }
    }
    WriteFuseBytes(programmer, ui, layout, sent);
    OnReadFuses();
}

} // namespace zelk
