#include "memory/memory_view.h"

#include "memory/hex_file.h"

#include <algorithm>
#include <filesystem>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMessageBox>
#include <QRegularExpression>
#include <span>
#include <string>

namespace zelk {

namespace {

const QString OpenFilters = QStringLiteral("HEX Files (*.hex *.rom);;"
                                           "S-Record Files (*.srec *.s19 *.s28 *.s37 *.mot);;"
                                           "All Files (*)");
const QString SaveFilters = QStringLiteral("HEX Files (*.hex);;"
                                           "S-Record Files (*.srec *.s19 *.s28 *.s37);;"
                                           "Binary Files (*.bin)");

// "S-Record Files (*.srec *.s19)" gives "srec"; a filter without a pattern gives "hex".
QString FilterExtension(const QString& filter) {
    static const QRegularExpression pattern(QStringLiteral(R"(\*\.(\w+))"));
    const QRegularExpressionMatch match = pattern.match(filter);
    return match.hasMatch() ? match.captured(1) : QStringLiteral("hex");
}

std::filesystem::path FileSystemPath(const QString& path) {
    return std::filesystem::path(QFile::encodeName(path).toStdString());
}

class DialogPrompts : public CMemoryView::Prompts {
public:
    QString AskOpenPath(QWidget* parent, const QString& folder) override {
        return QFileDialog::getOpenFileName(parent, QStringLiteral("Load File"), folder,
                                            OpenFilters);
    }

    QString AskSavePath(QWidget* parent, const QString& folder, QString& selectedFilter) override {
        QFileDialog dialog(parent, QStringLiteral("Save File"), folder, SaveFilters);
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setOption(QFileDialog::DontUseNativeDialog);
        // The dialog adds the chosen type's extension before it asks about overwriting.
        dialog.setDefaultSuffix(FilterExtension(dialog.selectedNameFilter()));
        QObject::connect(
            &dialog, &QFileDialog::filterSelected, &dialog,
            [&dialog](const QString& filter) { dialog.setDefaultSuffix(FilterExtension(filter)); });
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
            return {};
        }
        selectedFilter = dialog.selectedNameFilter();
        return dialog.selectedFiles().constFirst();
    }

    void ShowMessage(QWidget* parent, const QString& text) override {
        QMessageBox::warning(parent, QStringLiteral("zelk"), text);
    }
};

DialogPrompts dialogPrompts;

} // namespace

CMemoryView::CMemoryView(TargetImages& targetImages, MemoryKind kind, std::string& file,
                         QWidget* parent)
    : QWidget(parent), images(targetImages), currentFile(file),
      isFlashView(kind == MemoryKind::Flash), prompts(&dialogPrompts), grid(this) {
    setFocusProxy(&grid);
    grid.installEventFilter(this);
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
}

void CMemoryView::Redraw() {
    grid.Redraw();
}

void CMemoryView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    const QRect inner = rect().adjusted(Margin, Margin, -Margin, -Margin);
    grid.SetBytesPerRow(inner.width() >= WideRowWidth ? 16 : 8);
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

bool CMemoryView::LoadFile(const QString& path) {
    std::vector<std::uint8_t>& image = isFlashView ? images.flashImage : images.eepromImage;
    HexFileError error;
    if (!LoadImageFile(FileSystemPath(path), image, grid.Model().Length(), error)) {
        QString where = QDir::toNativeSeparators(path);
        if (error.line > 0) {
            where += QStringLiteral(", line %1").arg(error.line);
        }
        prompts->ShowMessage(this, QStringLiteral("Urrrk, can't load that file\n%1: %2")
                                       .arg(where, QString::fromStdString(error.reason)));
        return false;
    }
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
    return true;
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

void CMemoryView::OnSaveFile() {
    QString selectedFilter;
    QString path = prompts->AskSavePath(this, CurrentFolder(), selectedFilter);
    if (path.isEmpty()) {
        return;
    }
    if (QFileInfo(path).suffix().isEmpty()) {
        path += QLatin1Char('.') + FilterExtension(selectedFilter);
    }
    SaveToFile(path);
}

} // namespace zelk
