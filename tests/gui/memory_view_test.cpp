#include "app/app_state.h"
#include "memory/memory_view.h"

#include <gtest/gtest.h>
#include <QFile>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QWheelEvent>
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
    CMemoryView flash{app, MemoryKind::Flash};
    CMemoryView eeprom{app, MemoryKind::Eeprom};
    QTemporaryDir dir;

    void SetUp() override {
        flash.SetPrompts(&prompts);
        eeprom.SetPrompts(&prompts);
        flash.SetImage(app.flashImage.data(), FlashImageSize);
        eeprom.SetImage(app.eepromImage.data(), EepromImageSize);
    }
    QString Path(const char* name) const { return dir.filePath(QString::fromLatin1(name)); }
};

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

TEST_F(ViewFixture, BindingRecordsTheShownLength) {
    flash.SetImage(app.flashImage.data(), 0x2000);
    eeprom.SetImage(app.eepromImage.data(), 0x100000); // more than the image holds
    EXPECT_EQ(app.flashShownLength, 0x2000u);
    EXPECT_EQ(app.eepromShownLength, EepromImageSize);
    EXPECT_EQ(eeprom.Grid().Model().Length(), EepromImageSize);
}

TEST_F(ViewFixture, LoadFileFillsTheShownBytesAndRemembersThePath) {
    app.flashFile = "/somewhere/else/old.hex";
    flash.SetImage(app.flashImage.data(), 0x2000);
    app.flashImage[0x10] = 0x34;   // shown: erased before the file is read
    app.flashImage[0x2000] = 0x12; // beyond the shown bytes: kept
    prompts.openPath = Path("good.hex");
    WriteText(prompts.openPath, ":0300000001020AF0\n:00000001FF\n");

    flash.OnLoadFile();
    EXPECT_TRUE(prompts.messages.isEmpty()) << prompts.messages.join(" ").toStdString();
    EXPECT_EQ(prompts.folderAsked, "/somewhere/else");
    EXPECT_EQ(app.flashFile, prompts.openPath.toStdString());
    EXPECT_EQ(app.flashImage[0], 0x01);
    EXPECT_EQ(app.flashImage[2], 0x0A);
    EXPECT_EQ(app.flashImage[0x10], 0xFF);
    EXPECT_EQ(app.flashImage[0x2000], 0x12);
}

TEST_F(ViewFixture, FailedLoadChangesNothingAndSaysWhere) {
    app.eepromFile = "old.hex"; // no folder: the dialog's own default
    app.eepromImage[0] = 0x55;
    const std::vector<std::uint8_t> before = app.eepromImage;
    prompts.openPath = Path("bad.hex");
    WriteText(prompts.openPath, ":0100000011EE\n:0100010022DC\n:0100020033CC\n:00000001FF\n");

    eeprom.OnLoadFile();
    EXPECT_EQ(prompts.folderAsked, "");
    EXPECT_EQ(app.eepromImage, before);
    EXPECT_EQ(app.eepromFile, "old.hex");
    ASSERT_EQ(prompts.messages.size(), 1);
    EXPECT_TRUE(prompts.messages[0].startsWith("Urrrk, can't load that file\n"));
    EXPECT_TRUE(prompts.messages[0].contains("bad.hex, line 3"))
        << prompts.messages[0].toStdString();
}

TEST_F(ViewFixture, SavedFilesReadBackInEveryFormat) {
    eeprom.SetImage(app.eepromImage.data(), 0x200);
    for (std::size_t i = 0; i < app.eepromImage.size(); ++i) {
        app.eepromImage[i] = static_cast<std::uint8_t>(i * 7 + 3);
    }
    const std::vector<std::uint8_t> shown(app.eepromImage.begin(), app.eepromImage.begin() + 0x200);
    struct Case {
        const char* filter;
        const char* name;
        const char* written;
    };
    const Case cases[] = {
        {"HEX Files (*.hex)", "plain", "plain.hex"},
        {"S-Record Files (*.srec *.s19 *.s28 *.s37)", "motorola", "motorola.srec"},
        {"S-Record Files (*.srec *.s19 *.s28 *.s37)", "given.s19", "given.s19"},
        {"Binary Files (*.bin)", "raw", "raw.bin"},
    };
    for (const Case& c : cases) {
        prompts.saveFilter = QString::fromLatin1(c.filter);
        prompts.savePath = Path(c.name);
        eeprom.OnSaveFile();
        const QString written = Path(c.written);
        ASSERT_TRUE(QFile::exists(written)) << c.written;
        if (written.endsWith(".bin")) {
            QFile file(written);
            ASSERT_TRUE(file.open(QIODevice::ReadOnly));
            const QByteArray bytes = file.readAll();
            EXPECT_EQ(std::vector<std::uint8_t>(bytes.begin(), bytes.end()), shown);
            continue;
        }
        AppState reader;
        reader.eepromImage.assign(EepromImageSize, 0);
        CMemoryView view(reader, MemoryKind::Eeprom);
        view.SetPrompts(&prompts);
        view.SetImage(reader.eepromImage.data(), 0x200);
        ASSERT_TRUE(view.LoadFile(written)) << c.written;
        EXPECT_TRUE(std::equal(shown.begin(), shown.end(), reader.eepromImage.begin()))
            << c.written;
    }
    EXPECT_TRUE(prompts.messages.isEmpty()) << prompts.messages.join(" ").toStdString();
}

TEST_F(ViewFixture, FailedSaveSaysWhyAndKeepsTheOldFile) {
    const QString existing = Path("notes.txt");
    WriteText(existing, "keep me");
    EXPECT_FALSE(flash.SaveToFile(existing));
    EXPECT_FALSE(flash.SaveToFile(Path("missing/folder/out.hex")));
    ASSERT_EQ(prompts.messages.size(), 2);
    EXPECT_TRUE(prompts.messages[1].startsWith("Urrrk, can't save that file\n"));
    QFile file(existing);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), "keep me");
}

TEST_F(ViewFixture, GridTakesKeysClicksAndTheWheel) {
    eeprom.SetImage(app.eepromImage.data(), 0x400);
    eeprom.resize(600, 20 * eeprom.Grid().Model().LineHeight() + 20);
    eeprom.show();
    eeprom.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&eeprom));
    CHexGrid& grid = eeprom.Grid();
    const HexGridModel& model = grid.Model();
    QWidget* surface = grid.viewport();

    QTest::keyClick(&grid, Qt::Key_Down);
    QTest::keyClicks(&grid, "a5");
    EXPECT_EQ(app.eepromImage[16], 0xA5);
    QTest::keyClick(&grid, Qt::Key_Tab); // stays in the grid, switches to characters
    EXPECT_EQ(model.Mode(), HexGridMode::ModeChar);
    QTest::keyClicks(&grid, "Z");
    EXPECT_EQ(app.eepromImage[17], 'Z');

    const QPoint thirdByteChar(model.AsciiColumnX() + 2 * model.CharWidth() + 1, 1);
    QTest::mouseClick(surface, Qt::LeftButton, {}, thirdByteChar);
    EXPECT_EQ(model.Position(), 2);
    EXPECT_TRUE(grid.hasFocus());

    QWheelEvent wheel(QPointF(10, 10), surface->mapToGlobal(QPointF(10, 10)), {}, {0, -120},
                      Qt::NoButton, {}, Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(surface, &wheel);
    const int page = model.LinesPerPage() * 16;
    EXPECT_EQ(model.TopIndex(), page);
    EXPECT_EQ(model.Position(), 2 + page);
    EXPECT_EQ(grid.verticalScrollBar()->value(), model.LinesPerPage());
}

} // namespace
} // namespace zelk
