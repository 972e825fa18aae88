#include "config/SettingsDir.h"

#include "ConfigTestFiles.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <sys/stat.h>

TEST(SettingsDir, EnvironmentOrder)
{
    EnvironmentGuard own("FERNHOP_HOME", "/data/fh");
    EnvironmentGuard xdg("XDG_CONFIG_HOME", "/cfg");
    EnvironmentGuard home("HOME", "/home/u");
    EXPECT_EQ(SettingsDirectory(), "/data/fh");
    {
        EnvironmentGuard none("FERNHOP_HOME", nullptr);
        EXPECT_EQ(SettingsDirectory(), "/cfg/fernhop");
        EnvironmentGuard relative("XDG_CONFIG_HOME", "relative/cfg"); // ignored, as XDG says
        EXPECT_EQ(SettingsDirectory(), "/home/u/.config/fernhop");
        EnvironmentGuard empty("XDG_CONFIG_HOME", "");
        EXPECT_EQ(SettingsDirectory(), "/home/u/.config/fernhop");
    }
}

TEST(SettingsDir, FilePathStaysInsideTheDirectory)
{
    EnvironmentGuard own("FERNHOP_HOME", "/data/fh");
    EXPECT_EQ(SettingsFilePath(kMainSettingsFile), "/data/fh/FERNHOP.INI");
    EXPECT_EQ(SettingsFilePath("../../etc/FERNHOP.FTP"), "/data/fh/FERNHOP.FTP");
    EXPECT_EQ(SettingsFilePath(".."), "");
    EXPECT_EQ(SettingsFilePath("sub/"), "");
}

TEST(SettingsDir, CreatedPrivateOnDemand)
{
    QTemporaryDir base;
    const std::string parent = base.filePath("xdg").toStdString();
    EnvironmentGuard own("FERNHOP_HOME", nullptr);
    EnvironmentGuard xdg("XDG_CONFIG_HOME", parent.c_str());

    ASSERT_TRUE(EnsureSettingsDirectory());
    struct stat info {};
    ASSERT_EQ(stat((parent + "/fernhop").c_str(), &info), 0);
    EXPECT_TRUE(S_ISDIR(info.st_mode));
    EXPECT_EQ(info.st_mode & 0777, 0700u);
    EXPECT_TRUE(EnsureSettingsDirectory()); // already there

    WriteWholeFile(base.filePath("file").toStdString(), "x");
    EnvironmentGuard blocked("FERNHOP_HOME", base.filePath("file").toStdString().c_str());
    EXPECT_FALSE(EnsureSettingsDirectory());
}
