// How the window ends: a logout or shutdown (SIGTERM, the session manager's request) keeps the
// session's changes as a close does, and the debug trace's dump is written at shutdown.
#include "WindowFixture.h"

#include <QLabel>
#include <QTest>

#include <gtest/gtest.h>

#include <csignal>

namespace {

class WindowEndTest : public ::testing::Test, public WindowFixture {
protected:
    std::string Ini() const { return ReadWholeFile((SettingsDir() + "/FERNHOP.INI").toStdString()); }
};

} // namespace

TEST_F(WindowEndTest, SigtermSavesTheSettingsAsACloseDoes)
{
    Open();
    window->resize(701, 433);
    std::raise(SIGTERM); // handled through the event loop, as a desktop logout sends it
    ASSERT_TRUE(RunUntil([&] { return App().Closed(); }));
    EXPECT_FALSE(window->isVisible());
    const std::string ini = Ini();
    EXPECT_NE(ini.find("width=701"), std::string::npos) << ini;
    EXPECT_NE(ini.find("height=433"), std::string::npos) << ini;
}

TEST_F(WindowEndTest, TheSessionManagersRequestSavesAndTheWindowGoesOn)
{
    Open();
    window->resize(702, 434);
    window->CommitData(); // what QGuiApplication::commitDataRequest calls
    EXPECT_NE(Ini().find("width=702"), std::string::npos) << Ini();
    EXPECT_FALSE(App().Closed());

    // The logout was cancelled: a later close saves what changed since.
    window->resize(703, 435);
    window->close();
    EXPECT_TRUE(App().Closed());
    EXPECT_NE(Ini().find("width=703"), std::string::npos) << Ini();
}

TEST_F(WindowEndTest, TheDebugTracesDumpHoldsTheLogAtShutdown)
{
    Open();
    auto *version = window->findChild<QLabel *>("versLabelGraphic");
    ASSERT_TRUE(version);
    QTest::mouseClick(version, Qt::LeftButton); // the debug trace on
    App().ws.LogLine("220 a line of the session");
    window->close();
    ASSERT_TRUE(App().Closed());
    const std::string dump = ReadWholeFile((SettingsDir() + "/fernhop.log").toStdString());
    EXPECT_NE(dump.find("220 a line of the session\r\n"), std::string::npos) << dump;
    EXPECT_NE(dump.find("DEBUG: Fernhop shutdown. End of log.\r\n"), std::string::npos) << dump;
}
