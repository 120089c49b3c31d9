// SPDX-License-Identifier: GPL-3.0-or-later
// The window of one target memory image: a hex editor over the image, Load File and Save
// File.
#pragma once

#include "memory/hex_grid.h"
#include "memory/target_images.h"

#include <cstdint>
#include <QString>
#include <QWidget>
#include <string>

namespace zelk {

class CMemoryView : public QWidget {
    Q_OBJECT

public:
    // What the view asks of the user. The default answers with the desktop's file dialogs
    // and message boxes captioned "zelk"; tests answer without a screen.
    class Prompts {
    public:
        virtual ~Prompts() = default;
        // Empty when the user cancels.
        virtual QString AskOpenPath(QWidget* parent, const QString& folder) = 0;
        virtual QString AskSavePath(QWidget* parent, const QString& folder,
                                    QString& selectedFilter) = 0;
        // The address typed for Go to address; empty when cancelled.
        virtual QString AskAddress(QWidget* parent) = 0;
        virtual void ShowMessage(QWidget* parent, const QString& text) = 0;
    };

    static constexpr int Margin = 4;

    // `file` is the name this view's image was last loaded from; Load File sets it.
    CMemoryView(TargetImages& images, MemoryKind kind, std::string& file,
                QWidget* parent = nullptr);

    // Shows the first `length` bytes of `image`, which is the application's image of this
    // view's kind, and records that length as the shown length of that image. The image now
    // holds no edits of the user. Does not repaint: call Redraw.
    void SetImage(std::uint8_t* image, std::uint32_t length);
    void Redraw();

    // Fills the shown bytes with 0xFF and reads the file into the image, which then defines
    // the file's addresses, shows its first byte and says in the status bar what was loaded. A
    // file that fails, defines nothing or holds data beyond the device limit leaves the image
    // exactly as it was and tells the user why.
    bool LoadFile(const QString& path);
    // The memory of the identified device; a file beyond it is refused. Without one (length
    // 0) any file that fits the image loads, and the commands refuse what the device lacks.
    void SetDeviceLimit(const std::string& device, std::uint32_t length);
    // Writes the shown bytes as HEX, S-records or binary, by the file's extension. A failed
    // write tells the user why and leaves an existing file untouched.
    bool SaveToFile(const QString& path);

    // nullptr restores the dialogs. The view does not own the prompts.
    void SetPrompts(Prompts* prompts);

    // While on, keys that would edit the image are ignored (the flash write worker reads the
    // flash image in place).
    void SetReadOnly(bool on);
    bool IsReadOnly() const { return readOnly; }

    bool IsFlashView() const { return isFlashView; }
    CHexGrid& Grid() { return grid; }
    // True after the user typed into the image, until it is saved, loaded or replaced.
    bool IsModified() const { return modified; }
    // The current byte for the status bar; empty when nothing is shown.
    QString CurrentByteText() const;
    // Room for 16 rows of 16 bytes in the user's font.
    QSize sizeHint() const override;

public slots:
    void OnLoadFile();
    // True when the image was written to a file.
    bool OnSaveFile();
    void OnGoToAddress();

signals:
    void ModifiedChanged(bool modified);
    void CurrentByteChanged(const QString& text);
    // A message for the status bar, such as what Load File loaded.
    void StatusMessage(const QString& text);

protected:
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::string& CurrentFile();
    QString CurrentFolder();
    void SetModified(bool modified);

    TargetImages& images;
    const MemoryKind memory;
    std::string& currentFile;
    std::string limitDevice;
    std::uint32_t limitLength = 0;
    const bool isFlashView;
    bool readOnly = false;
    Prompts* prompts;
    CHexGrid grid;
    bool modified = false;
};

} // namespace zelk
