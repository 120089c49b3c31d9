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
    // What the view asks of the user. The default answers with file dialogs and message
    // boxes captioned "zelk"; tests answer without a screen.
    class Prompts {
    public:
        virtual ~Prompts() = default;
        // Empty when the user cancels.
        virtual QString AskOpenPath(QWidget* parent, const QString& folder) = 0;
        virtual QString AskSavePath(QWidget* parent, const QString& folder,
                                    QString& selectedFilter) = 0;
        virtual void ShowMessage(QWidget* parent, const QString& text) = 0;
    };

    // Inner width from which a row holds 16 bytes instead of 8.
    static constexpr int WideRowWidth = 400;
    static constexpr int Margin = 4;

    // `file` is the name this view's image was last loaded from; Load File sets it.
    CMemoryView(TargetImages& images, MemoryKind kind, std::string& file,
                QWidget* parent = nullptr);

    // Shows the first `length` bytes of `image`, which is the application's image of this
    // view's kind, and records that length as the shown length of that image. Does not
    // repaint: call Redraw.
    void SetImage(std::uint8_t* image, std::uint32_t length);
    void Redraw();

    // Fills the shown bytes with 0xFF and reads the file into the image. A file that fails
    // leaves the image exactly as it was and tells the user why.
    bool LoadFile(const QString& path);
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

public slots:
    void OnLoadFile();
    void OnSaveFile();

protected:
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::string& CurrentFile();
    QString CurrentFolder();

    TargetImages& images;
    std::string& currentFile;
    const bool isFlashView;
    bool readOnly = false;
    Prompts* prompts;
    CHexGrid grid;
};

} // namespace zelk
