// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/qt_user_dialogs.h"
#include "memory/file_dialogs.h"
#include "memory/memory_view.h"
#include "station/app_state.h"

#include <gtest/gtest.h>
#include <QCoreApplication>
#include <QFile>
#include <QKeyEvent>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <tuple>
#include <vector>

namespace zelk {
namespace {

// Answers the view's questions the way a test script says.
struct ScriptedPrompts : CMemoryView::Prompts {
    QString openPath;
    QString savePath;
    QString saveFilter;
    QString folderAsked;
    QString address;
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
    QString AskAddress(QWidget*) override { return address; }
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
        for (CMemoryView* view : {&flash, &eeprom}) {
            view->resize(view->sizeHint());
            view->show();
        }
    }
    QString Path(const char* name) const { return dir.filePath(QString::fromLatin1(name)); }
};

// Sixteen bytes a row once a whole row of them fits in the font (4 pixels of margin each side).
TEST_F(ViewFixture, RowWidthFollowsTheInnerWidthAndKeepsTheTopRow) {
    flash.Grid().verticalScrollBar()->triggerAction(QAbstractSlider::SliderPageStepAdd);
    const int top = flash.Grid().Model().TopIndex();
    ASSERT_GT(top, 0);
    const int wide = flash.Grid().WidthFor(16) + 8;
    struct Case {
        int width;
        int bytesPerRow;
    };
    for (const Case c :
         {Case{wide - 1, 8}, Case{wide, 16}, Case{wide / 2, 8}, Case{wide * 2, 16}}) {
        flash.resize(c.width, 300);
        QCoreApplication::processEvents();
        EXPECT_EQ(flash.Grid().Model().BytesPerRow(), c.bytesPerRow) << c.width;
        EXPECT_EQ(flash.Grid().Model().TopIndex(), top) << c.width;
        EXPECT_EQ(flash.Grid().geometry(), QRect(4, 4, c.width - 8, 292)) << c.width;
    }
}

// Load File erases the shown bytes, fills them from the file and keeps the bytes beyond; it
// asks in the folder of the last file, tells what it loaded and shows the first byte it held.
TEST_F(ViewFixture, LoadFileFillsTheShownBytesAndShowsTheFirst) {
    QStringList status;
    QObject::connect(&flash, &CMemoryView::StatusMessage,
                     [&status](const QString& text) { status << text; });
    app.flashFile = "/somewhere/else/old.hex";
    flash.SetImage(app.images.flashImage.data(), 0x2000);
    app.images.flashImage[0x10] = 0x34;
    app.images.flashImage[0x2000] = 0x12;
    prompts.openPath = Path("Board.hex");
    // Three bytes at 0x1200 (one of them 0xFF) and one at 0x1300.
    WriteText(prompts.openPath, ":03120000AAFFBB87\n:011300005597\n:00000001FF\n");
    flash.OnLoadFile();
    EXPECT_TRUE(prompts.messages.isEmpty()) << prompts.messages.join(" ").toStdString();
    EXPECT_EQ(prompts.folderAsked, "/somewhere/else");
    EXPECT_EQ(app.flashFile, prompts.openPath.toStdString());
    EXPECT_EQ(app.images.flashImage[0x1202], 0xBB);
    EXPECT_EQ(app.images.flashImage[0x1300], 0x55);
    EXPECT_EQ(app.images.flashImage[0x10], 0xFF);
    EXPECT_EQ(app.images.flashImage[0x2000], 0x12);
    EXPECT_EQ(status, QStringList{"Loaded Board.hex: 4 bytes, 0x1200 to 0x1300"});
    EXPECT_EQ(flash.Grid().Model().Position(), 0x1200);
    EXPECT_TRUE(flash.Grid().Model().CaretVisible());
    EXPECT_EQ(flash.CurrentByteText(), "0x1200: 0xAA = 170");

    // The program avr-gcc links loads as it would from the command line: .text and .data in
    // flash, .eeprom in the EEPROM.
    prompts.openPath = QString::fromStdString(std::string(ZELK_TEST_DATA_DIR) + "/avr_program.elf");
    flash.OnLoadFile();
    ASSERT_EQ(status.size(), 2);
    EXPECT_EQ(status[1], "Loaded avr_program.elf: 10 bytes, 0x0000 to 0x0009");
    EXPECT_EQ(flash.CurrentByteText(), "0x0000: 0x02 = 2");
    eeprom.OnLoadFile();
    EXPECT_EQ(app.images.eepromImage[2], 0xE3);
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
    EXPECT_TRUE(prompts.messages[0].contains("bad.hex:3: checksum"))
        << prompts.messages[0].toStdString();
}

// The writers and reader are tested on their own; this checks the view saves the shown bytes
// and adds the chosen format's extension.
TEST_F(ViewFixture, SavedFileReadsBack) {
    eeprom.SetImage(app.images.eepromImage.data(), 0x200);
    for (std::size_t i = 0; i < app.images.eepromImage.size(); ++i) {
        app.images.eepromImage[i] = static_cast<std::uint8_t>(i * 7 + 3);
    }
    const std::vector<std::uint8_t> saved = app.images.eepromImage;
    prompts.saveFilter = "S-Record Files (*.srec *.s19 *.s28 *.s37)";
    prompts.savePath = Path("motorola");
    eeprom.OnSaveFile();
    EXPECT_TRUE(prompts.messages.isEmpty()) << prompts.messages.join(" ").toStdString();

    // Read back over the whole image: the bytes past the shown length were not written, so
    // they stay erased.
    eeprom.SetImage(app.images.eepromImage.data(), EepromImageSize);
    ASSERT_TRUE(eeprom.LoadFile(Path("motorola.srec")));
    EXPECT_TRUE(std::equal(saved.begin(), saved.begin() + 0x200, app.images.eepromImage.begin()));
    EXPECT_EQ(app.images.eepromImage[0x200], 0xFF);
}

// Keys that are no characters leave the byte alone in the character column; a typed
// character replaces it and marks the image as edited until it is saved or replaced.
TEST_F(ViewFixture, OnlyCharactersChangeBytesAndAnEditMarksTheImage) {
    CHexGrid& grid = eeprom.Grid();
    QTest::keyClick(&grid, Qt::Key_Tab); // to the character column
    ASSERT_EQ(grid.Model().Mode(), HexGridMode::ModeChar);
    const std::tuple<Qt::Key, const char*, std::uint8_t> cases[] = {
        {Qt::Key_Delete, "\x7f", 0xFF}, {Qt::Key_Backspace, "\b", 0xFF},
        {Qt::Key_Escape, "\x1b", 0xFF}, {Qt::Key_Return, "\r", 0xFF},
        {Qt::Key_F2, "", 0xFF},         {Qt::Key_Z, "Z", 'Z'},
    };
    for (const auto& [key, text, after] : cases) {
        app.images.eepromImage[0] = 0xFF;
        grid.GoTo(0);
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, QString::fromLatin1(text));
        QCoreApplication::sendEvent(&grid, &press);
        EXPECT_EQ(app.images.eepromImage[0], after) << key;
        EXPECT_EQ(eeprom.IsModified(), after != 0xFF) << key;
    }
    // Upper-case hex digits count like lower case.
    QTest::keyClick(&grid, Qt::Key_Tab);
    grid.GoTo(1);
    QTest::keyClicks(&grid, "Bc");
    EXPECT_EQ(app.images.eepromImage[1], 0xBC);

    // A read from the chip binds the image again: no edit of the user's any more.
    eeprom.SetImage(app.images.eepromImage.data(), 0x400);
    EXPECT_FALSE(eeprom.IsModified());
}

TEST_F(ViewFixture, GoToAddressMovesToTheTypedByte) {
    struct Case {
        const char* typed;
        int position;
        bool refused;
    };
    for (const Case c : {Case{"1a0", 0x1A0, false}, Case{" 0x7FFF ", 0x7FFF, false},
                         Case{"8000", 0x7FFF, true}, Case{"zz", 0x7FFF, true}}) {
        prompts.messages.clear();
        prompts.address = c.typed;
        QTest::keyClick(&eeprom.Grid(), Qt::Key_G, Qt::ControlModifier);
        EXPECT_EQ(eeprom.Grid().Model().Position(), c.position) << c.typed;
        EXPECT_EQ(prompts.messages.size(), c.refused ? 1 : 0) << c.typed;
        EXPECT_TRUE(eeprom.Grid().Model().CaretVisible()) << c.typed;
    }
}

// Load File, Save File and the project dialogs are all the same kind: the desktop's own.
TEST(FileDialogs, AllAreThePlatformsDialogs) {
    const std::unique_ptr<QFileDialog> dialogs[] = {
        MakeImageOpenDialog(nullptr, {}), MakeImageSaveDialog(nullptr, {}),
        MakeProjectOpenDialog(nullptr), MakeProjectSaveDialog(nullptr, "/tmp/a.prj")};
    for (const auto& dialog : dialogs) {
        EXPECT_FALSE(dialog->testOption(QFileDialog::DontUseNativeDialog))
            << dialog->windowTitle().toStdString();
    }
}

} // namespace
} // namespace zelk
