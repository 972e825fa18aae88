#include "ui/Icons.h"

#include <QImage>
#include <gtest/gtest.h>

namespace {
// Enough opaque pixels at 16x16 that the picture is really there and drawn.
int InkedPixels(const QIcon &icon)
{
    QImage image = icon.pixmap(16, 16).toImage().convertToFormat(QImage::Format_ARGB32);
    int inked = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            inked += qAlpha(image.pixel(x, y)) > 128;
    return inked;
}
} // namespace

TEST(Icons, EveryNumberedPictureLoadsFromTheResource)
{
    for (int icon : {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 12, 13, 14, 15})
        EXPECT_GT(InkedPixels(StateIcon(icon)), 20) << "state icon " << icon;
    for (int icon : {-1, 0, 11, 16})
        EXPECT_TRUE(StateIcon(icon).isNull()) << "state icon " << icon;
    for (int page = 0; page < setupPageCount; ++page)
        EXPECT_GT(InkedPixels(SetupPageIcon(page)), 20) << "page " << page;
    EXPECT_TRUE(SetupPageIcon(setupPageCount).isNull());
    for (bool download : {false, true})
        for (bool selected : {false, true})
            EXPECT_GT(InkedPixels(DirectionIcon(download, selected)), 20);
    for (SpeedButton b : {SpeedButton::Connect, SpeedButton::Disconnect, SpeedButton::Compare, SpeedButton::Upload,
                          SpeedButton::Download, SpeedButton::Stop, SpeedButton::Refresh})
        EXPECT_GT(InkedPixels(SpeedButtonIcon(b)), 20);
}
