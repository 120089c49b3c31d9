#include "shell/mdi_client.h"

#include <gtest/gtest.h>
#include <QImage>

namespace zelk {
namespace {

TEST(MdiClient, TilesCoverTheAreaFromTheTopLeftCorner) {
    CMdiClient client;
    ASSERT_TRUE(client.HasBitmap());
    const QImage tile = client.Bitmap().toImage();
    ASSERT_EQ(tile.size(), QSize(135, 94));
    client.setFrameShape(QFrame::NoFrame);
    client.resize(300, 200);
    const QImage shown = client.grab().toImage();
    struct Sample {
        int x, y;
    };
    // Three columns and three rows; the last of each is cut by the edge.
    for (const Sample s : {Sample{0, 0}, Sample{40, 30}, Sample{135 + 40, 30},
                           Sample{270 + 20, 188 + 5}, Sample{135 + 134, 94 + 93}}) {
        EXPECT_EQ(shown.pixel(s.x, s.y), tile.pixel(s.x % 135, s.y % 94)) << s.x << "," << s.y;
    }
}

TEST(MdiClient, MissingPictureLeavesBlack) {
    CMdiClient client;
    EXPECT_FALSE(client.LoadBackgroundBitmap(":/no-such-picture.png"));
    client.resize(200, 100);
    const QImage shown = client.grab().toImage();
    EXPECT_EQ(shown.pixelColor(100, 50), QColor(Qt::black));
    EXPECT_EQ(client.SetBackgroundColor(Qt::red), QColor(Qt::black));
}

} // namespace
} // namespace zelk
