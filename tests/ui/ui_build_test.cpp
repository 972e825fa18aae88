#include <QApplication>
#include <gtest/gtest.h>

TEST(UiBuild, RunsOnTheOffscreenPlatform)
{
    EXPECT_EQ(QGuiApplication::platformName(), "offscreen");
}
