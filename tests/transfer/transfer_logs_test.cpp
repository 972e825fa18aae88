#include "transfer/TransferLogs.h"

#include <QTemporaryDir>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>

namespace {
std::string Read(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}
} // namespace

TEST(TransferLogFile, AppendsLinesAndReportsAMissingDirectoryOncePerRun)
{
    QTemporaryDir dir;
    std::vector<std::string> reports;
    TransferLogFile log(kUploadLogName, [&](const std::string &text) { reports.push_back(text); });
    log.StartRun();
    ASSERT_TRUE(log.Append(dir.path().toStdString() + "/", "/www/a.html"));
    ASSERT_TRUE(log.Append(dir.path().toStdString(), "/www/b.html"));
    EXPECT_EQ(Read(dir.path().toStdString() + "/fernhopUpload.log"), "/www/a.html\r\n/www/b.html\r\n");

    const std::string missing = dir.path().toStdString() + "/missing";
    EXPECT_FALSE(log.Append(missing, "x"));
    EXPECT_FALSE(log.Append(missing, "y"));
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_NE(reports[0].find("missing/fernhopUpload.log"), std::string::npos);
    log.StartRun();
    EXPECT_FALSE(log.Append(missing, "z"));
    EXPECT_EQ(reports.size(), 2u);
}

TEST(TransferLogFile, TraceLinesGoToTheSettingsDirectory)
{
    QTemporaryDir dir;
    qputenv("FERNHOP_HOME", (dir.path() + "/home").toUtf8());
    ASSERT_TRUE(AppendSettingsFileLine(kTraceFileName, "220 ready"));
    ASSERT_TRUE(AppendSettingsFileLine(kTraceFileName, "USER x"));
    EXPECT_EQ(Read(dir.path().toStdString() + "/home/fernopDebug.txt"), "220 ready\r\nUSER x\r\n");
    qunsetenv("FERNHOP_HOME");
}
