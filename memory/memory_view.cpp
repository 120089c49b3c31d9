// SPDX-License-Identifier: GPL-3.0-or-later
#include "memory/memory_view.h"

#include "memory/file_dialogs.h"
#include "memory/hex_file.h"
#include "memory/image_file.h"

#include <algorithm>
#include <filesystem>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QKeyEvent>
#include <QMessageBox>
#include <span>
#include <string>

namespace zelk {

namespace {

std::filesystem::path FileSystemPath(const QString& path) {
    return std::filesystem::path(QFile::encodeName(path).toStdString());
}

QString RunDialog(QFileDialog& dialog) {
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return {};
    }
    return dialog.selectedFiles().constFirst();
}

class DialogPrompts : public CMemoryView::Prompts {
public:
    QString AskOpenPath(QWidget* parent, const QString& folder) override {
        return RunDialog(*MakeImageOpenDialog(parent, folder));
    }

    QString AskSavePath(QWidget* parent, const QString& folder, QString& selectedFilter) override {
        const auto dialog = MakeImageSaveDialog(parent, folder);
        const QString path = RunDialog(*dialog);
        selectedFilter = dialog->selectedNameFilter();
        return path;
    }

    QString AskAddress(QWidget* parent) override {
        return QInputDialog::getText(parent, QStringLiteral("Go to Address"),
                                     QStringLiteral("Address (hexadecimal):"));
    }

    void ShowMessage(QWidget* parent, const QString& text) override {
        QMessageBox::warning(parent, QStringLiteral("zelk"), text);
    }
};

DialogPrompts dialogPrompts;

} // namespace

CMemoryView::CMemoryView(TargetImages& targetImages, MemoryKind kind, std::string& file,
                         QWidget* parent)
    : QWidget(parent), images(targetImages), memory(kind), currentFile(file),
      isFlashView(kind == MemoryKind::Flash), prompts(&dialogPrompts), grid(this) {
    setFocusProxy(&grid);
    grid.setAccessibleName(isFlashView ? QStringLiteral("Flash bytes")
                                       : QStringLiteral("EEPROM bytes"));
    // A byte the user types is one the writes and verifies must reach, 0xFF included.
    grid.OnEdit([this](std::uint32_t offset) { images.Defined(memory).Add(offset, offset + 1); });
    connect(&grid, &CHexGrid::Edited, this, [this] { SetModified(true); });
    connect(&grid, &CHexGrid::GoToRequested, this, &CMemoryView::OnGoToAddress);
    connect(&grid, &CHexGrid::CurrentByteChanged, this,
            [this] { emit CurrentByteChanged(CurrentByteText()); });
    grid.installEventFilter(this);
}

void CMemoryView::SetModified(bool newModified) {
    if (modified != newModified) {
        modified = newModified;
        emit ModifiedChanged(modified);
    }
}

QSize CMemoryView::sizeHint() const {
    return {grid.WidthFor(16) + 2 * Margin, grid.HeightFor(16) + 2 * Margin};
}

QString CMemoryView::CurrentByteText() const {
    return QString::fromStdString(grid.Model().DescribeCurrentByte());
}

void CMemoryView::SetReadOnly(bool on) {
    readOnly = on;
}

bool CMemoryView::eventFilter(QObject* watched, QEvent* event) {
    // A key that types text edits the image; moving around stays possible.
    if (readOnly && watched == &grid && event->type() == QEvent::KeyPress &&
        !static_cast<QKeyEvent*>(event)->text().isEmpty()) {
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void CMemoryView::SetPrompts(Prompts* newPrompts) {
    prompts = newPrompts != nullptr ? newPrompts : &dialogPrompts;
}

void CMemoryView::SetImage(std::uint8_t* image, std::uint32_t length) {
    // Never more than the image holds, so that nothing reads or writes past it.
    const std::size_t imageSize = isFlashView ? FlashImageSize : EepromImageSize;
    grid.SetData(image, static_cast<std::uint32_t>(std::min<std::size_t>(length, imageSize)));
    // The core's loaders fill as many bytes as the view shows.
    (isFlashView ? images.flashShownLength : images.eepromShownLength) = grid.Model().Length();
    SetModified(false);
    emit CurrentByteChanged(CurrentByteText());
}

void CMemoryView::Redraw() {
    grid.Redraw();
}

void CMemoryView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    const QRect inner = rect().adjusted(Margin, Margin, -Margin, -Margin);
    // 16 bytes a row once they fit whole in the user's font, else 8.
    grid.SetBytesPerRow(inner.width() >= grid.WidthFor(16) ? 16 : 8);
    grid.setGeometry(inner);
    grid.Redraw();
}

std::string& CMemoryView::CurrentFile() {
    return currentFile;
}

QString CMemoryView::CurrentFolder() {
    const QString file = QFile::decodeName(CurrentFile().c_str());
    const qsizetype slash = file.lastIndexOf(QLatin1Char('/'));
    if (slash < 0) {
        return {};
    }
    return slash == 0 ? QStringLiteral("/") : file.left(slash);
}

void CMemoryView::SetDeviceLimit(const std::string& device, std::uint32_t length) {
    limitDevice = device;
    limitLength = length;
}

bool CMemoryView::LoadFile(const QString& path) {
    std::vector<std::uint8_t> loadedImage = images.Image(memory);
    HexFileError error;
    LoadedImage loaded;
    const std::filesystem::path file = FileSystemPath(path);
    std::string refusal;
    if (!LoadImageForChip(file, memory, loadedImage, grid.Model().Length(), loaded, error)) {
        refusal = LoadFailureText(QDir::toNativeSeparators(path).toStdString(), error);
    } else if (const auto beyond =
                   limitLength == 0 ? std::nullopt : BeyondDevice(loaded.defined, limitLength)) {
        refusal = BeyondMemoryMessage(QFileInfo(path).fileName().toStdString(), *beyond,
                                      limitDevice, limitLength);
    }
    if (!refusal.empty()) {
        prompts->ShowMessage(this, QStringLiteral("Urrrk, can't load that file\n") +
                                       QString::fromStdString(refusal));
        return false;
    }
    std::ranges::copy(loadedImage, images.Image(memory).begin());
    images.Defined(memory) = AddressSet(loaded.defined);
    SetModified(false);
    const int digits = grid.Model().AddressDigits();
    const auto hex = [digits](std::uint32_t address) {
        return QStringLiteral("0x") +
               QStringLiteral("%1").arg(address, digits, 16, QLatin1Char('0')).toUpper();
    };
    std::size_t bytes = 0;
    for (const AddressRange& range : loaded.defined) {
        bytes += range.end - range.begin;
    }
    emit StatusMessage(QStringLiteral("Loaded %1: %2 bytes, %3 to %4")
                           .arg(QFileInfo(path).fileName())
                           .arg(bytes)
                           .arg(hex(static_cast<std::uint32_t>(loaded.Lowest())),
                                hex(static_cast<std::uint32_t>(loaded.Highest()))));
    grid.GoTo(static_cast<std::uint32_t>(loaded.Lowest()));
    grid.RedrawNow();
    return true;
}

bool CMemoryView::SaveToFile(const QString& path) {
    const HexGridModel& model = grid.Model();
    const std::uint8_t* bytes = (isFlashView ? images.flashImage : images.eepromImage).data();
    std::string error;
    if (!WriteImageFile(FileSystemPath(path), std::span(bytes, model.Length()), error)) {
        prompts->ShowMessage(
            this, QStringLiteral("Urrrk, can't save that file\n%1: %2")
                      .arg(QDir::toNativeSeparators(path), QString::fromStdString(error)));
        return false;
    }
    SetModified(false);
    return true;
}

void CMemoryView::OnGoToAddress() {
    if (!grid.Model().IsBound()) {
        return;
    }
    const QString typed = prompts->AskAddress(this);
    if (typed.isEmpty()) {
        return;
    }
    const std::optional<std::uint32_t> address = ParseHexAddress(typed.toStdString());
    if (!address || !grid.GoTo(*address)) {
        prompts->ShowMessage(this, QStringLiteral("There is no address %1 here: the image shows "
                                                  "0 to %2 (hexadecimal).")
                                       .arg(typed.trimmed())
                                       .arg(grid.Model().Length() - 1, 0, 16));
    }
}

void CMemoryView::OnLoadFile() {
    const QString path = prompts->AskOpenPath(this, CurrentFolder());
    if (path.isEmpty()) {
        return;
    }
    if (LoadFile(path)) {
        CurrentFile() = QFile::encodeName(path).toStdString();
    }
}

bool CMemoryView::OnSaveFile() {
    QString selectedFilter;
    QString path = prompts->AskSavePath(this, CurrentFolder(), selectedFilter);
    if (path.isEmpty()) {
        return false;
    }
    if (QFileInfo(path).suffix().isEmpty()) {
        path += QLatin1Char('.') + FilterExtension(selectedFilter);
    }
    return SaveToFile(path);
}

} // namespace zelk
