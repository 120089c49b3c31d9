#include "app/app_state.h"
#include "memory/memory_view.h"

#include <gtest/gtest.h>
#include <QCoreApplication>
#include <QFile>
#include <QScrollBar>
#include <QTemporaryDir>
#include <vector>

namespace zelk {
namespace {

// Answers the view's questions the way a test script says.
struct ScriptedPrompts : CMemoryView::Prompts {
    QString openPath;
    QString savePath;
    QString saveFilter;
    QString folderAsked;
    QStringList messages;

    QString AskOpenPath(QWidget*, const QString& folder) override {
        folderAsked = folder;
        return openPath;
    }
    QString AskSavePath(QWidget*, const QString& folder, QString& selectedFilter) override {
        folderAsked = folder;
        selectedFilter = saveFilter;
        return savePath;
    }
    void ShowMessage(QWidget*, const QString& text) override { messages << text; }
};

void WriteText(const QString& path, const char* text) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(text);
}

struct ViewFixture : ::testing::Test {
    AppState app;
    ScriptedPrompts prompts;
    CMemoryView flash{app.images, MemoryKind::Flash, app.flashFile};
    CMemoryView eeprom{app.images, MemoryKind::Eeprom, app.eepromFile};
    QTemporaryDir dir;

    void SetUp() override {
        flash.SetPrompts(&prompts);
        eeprom.SetPrompts(&prompts);
        flash.SetImage(app.images.flashImage.data(), FlashImageSize);
        eeprom.SetImage(app.images.eepromImage.data(), EepromImageSize);
    }
    QString Path(const char* name) const { return dir.filePath(QString::fromLatin1(name)); }
};

// Sixteen bytes a row from an inner width of 400 pixels (4 pixels of margin each side).
TEST_F(ViewFixture, RowWidthFollowsTheInnerWidthAndKeepsTheTopRow) {
    flash.resize(600, 300);
    flash.show();
    flash.Grid().verticalScrollBar()->triggerAction(QAbstractSlider::SliderPageStepAdd);
    const int top = flash.Grid().Model().TopIndex();
    ASSERT_GT(top, 0);
    struct Case {
        int width;
        int bytesPerRow;
    };
    for (const Case c : {Case{407, 8}, Case{408, 16}, Case{300, 8}, Case{1000, 16}}) {
        flash.resize(c.width, 300);
        QCoreApplication::processEvents();
        EXPECT_EQ(flash.Grid().Model().BytesPerRow(), c.bytesPerRow) << c.width;
        EXPECT_EQ(flash.Grid().Model().TopIndex(), top) << c.width;
        EXPECT_EQ(flash.Grid().geometry(), QRect(4, 4, c.width - 8, 292)) << c.width;
    }
}

TEST_F(ViewFixture, LoadFileFillsTheShownBytesAndRemembersThePath) {
    app.flashFile = "/somewhere/else/old.hex";
    flash.SetImage(app.images.flashImage.data(), 0x2000);
    app.images.flashImage[0x10] = 0x34;   // shown: erased before the file is read
    app.images.flashImage[0x2000] = 0x12; // beyond the shown bytes: kept
    prompts.openPath = Path("good.hex");
    WriteText(prompts.openPath, ":0300000001020AF0\n:00000001FF\n");

    flash.OnLoadFile();
    EXPECT_TRUE(prompts.messages.isEmpty()) << prompts.messages.join(" ").toStdString();
    EXPECT_EQ(prompts.folderAsked, "/somewhere/else");
    EXPECT_EQ(app.flashFile, prompts.openPath.toStdString());
    EXPECT_EQ(app.images.flashImage[0], 0x01);
    EXPECT_EQ(app.images.flashImage[2], 0x0A);
    EXPECT_EQ(app.images.flashImage[0x10], 0xFF);
    EXPECT_EQ(app.images.flashImage[0x2000], 0x12);
}

TEST_F(ViewFixture, FailedLoadChangesNothingAndSaysWhere) {
    app.eepromFile = "old.hex";
    app.images.eepromImage[0] = 0x55;
    const std::vector<std::uint8_t> before = app.images.eepromImage;
    prompts.openPath = Path("bad.hex");
    WriteText(prompts.openPath, ":0100000011EE\n:0100010022DC\n:0100020033CC\n:00000001FF\n");

    eeprom.OnLoadFile();
    EXPECT_EQ(app.images.eepromImage, before);
    EXPECT_EQ(app.eepromFile, "old.hex");
    ASSERT_EQ(prompts.messages.size(), 1);
    EXPECT_TRUE(prompts.messages[0].startsWith("Urrrk, can't load that file\n"));
    EXPECT_TRUE(prompts.messages[0].contains("bad.hex, line 3"))
        << prompts.messages[0].toStdString();
}

// The writers and reader are tested on their own; this checks the view saves the shown bytes
// and adds the chosen format's extension.
TEST_F(ViewFixture, SavedFileReadsBack) {
    eeprom.SetImage(app.images.eepromImage.data(), 0x200);
    for (std::size_t i = 0; i < app.images.eepromImage.size(); ++i) {
        app.images.eepromImage[i] = static_cast<std::uint8_t>(i * 7 + 3);
    }
    prompts.saveFilter = "S-Record Files (*.srec *.s19 *.s28 *.s37)";
    prompts.savePath = Path("motorola");
    eeprom.OnSaveFile();
    EXPECT_TRUE(prompts.messages.isEmpty()) << prompts.messages.join(" ").toStdString();

    TargetImages reader;
    std::string readerFile;
    reader.eepromImage.assign(EepromImageSize, 0);
    CMemoryView view(reader, MemoryKind::Eeprom, readerFile);
    view.SetPrompts(&prompts);
    view.SetImage(reader.eepromImage.data(), EepromImageSize);
    ASSERT_TRUE(view.LoadFile(Path("motorola.srec")));
    EXPECT_TRUE(std::equal(app.images.eepromImage.begin(), app.images.eepromImage.begin() + 0x200,
                           reader.eepromImage.begin()));
    // Bytes past the shown length are not written, so the reader's erased value stays.
    EXPECT_EQ(reader.eepromImage[0x200], 0xFF);
}

} // namespace
} // namespace zelk
