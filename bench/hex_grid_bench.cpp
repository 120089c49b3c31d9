// SPDX-License-Identifier: GPL-3.0-or-later
// How long the hex editor takes to paint a full screen, and to page through the flash image
// with Page Down held. Run with QT_QPA_PLATFORM=offscreen.
#include "memory/hex_grid.h"
#include "memory/target_images.h"

#include <numeric>
#include <QScrollBar>
#include <QTest>
#include <vector>

namespace zelk {

class HexGridBench : public QObject {
    Q_OBJECT

private:
    std::vector<std::uint8_t> image = std::vector<std::uint8_t>(FlashImageSize);
    CHexGrid grid;

    // 16 bytes a row and exactly 40 full rows.
    void ShowFlashScreen() {
        std::iota(image.begin(), image.end(), std::uint8_t{0});
        grid.SetBytesPerRow(16);
        grid.SetData(image.data(), static_cast<std::uint32_t>(image.size()));
        const HexGridModel& model = grid.Model();
        const int width = (model.AddressDigits() + 1 + 4 * 16) * model.CharWidth() +
                          grid.verticalScrollBar()->sizeHint().width() + 2 * grid.frameWidth();
        grid.resize(width, 40 * model.LineHeight() + 2 * grid.frameWidth());
        grid.show();
        QVERIFY(QTest::qWaitForWindowExposed(&grid));
        QCOMPARE(model.VisibleRows(), 40);
    }

private slots:
    void initTestCase() { ShowFlashScreen(); }

    void paintFullScreen() {
        QBENCHMARK {
            grid.RedrawNow();
        }
    }

    void holdPageDownThroughFlash() {
        QBENCHMARK {
            grid.SetData(image.data(), static_cast<std::uint32_t>(image.size()));
            grid.RedrawNow();
            // Page Down leaves the current byte behind, so the view stops one line short
            // of the last page.
            std::int32_t top = -1;
            while (grid.Model().TopIndex() != top) {
                top = grid.Model().TopIndex();
                QTest::keyPress(&grid, Qt::Key_PageDown, Qt::NoModifier);
                grid.viewport()->repaint();
            }
        }
    }
};

} // namespace zelk

QTEST_MAIN(zelk::HexGridBench)
#include "hex_grid_bench.moc"
