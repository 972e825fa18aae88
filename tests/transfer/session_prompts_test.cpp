// What a modal prompt may meet when it closes: the connection ended under it (the remote tree
// cleared), and what the window's commands commit before they start: a typed remote directory.
#include "SessionFixture.h"

#include "support/FtpServers.h"

#include <gtest/gtest.h>

using fernhop::test::RealFtpServer;

namespace {

class PromptUnderDisconnect : public ::testing::TestWithParam<PromptAnswer>, public SessionFixture {
protected:
    void SetUp() override
    {
        server = RealFtpServer::start(RealFtpServer::Kind::Pyftpdlib);
        ASSERT_TRUE(server);
        // Two remote files the local side lacks: the run asks before deleting each.
        ASSERT_TRUE(server->writeFile("www/old1.html", "old"));
        ASSERT_TRUE(server->writeFile("www/old2.html", "old"));
        const std::string local = Directory("local");
        ASSERT_TRUE(WriteFile(local + "/index.html", "new"));
        app.options.confirmDelete = true;
        app.options.reconnectTries = 0; // the session ends with the server
        SiteSpec site;
        site.nickName = "web";
        site.port = server->port();
        site.user = server->user();
        site.password = server->password();
        site.localDir = local;
        site.remoteDir = "/www";
        site.savedServerTime = 1; // no clock check
        UseSite(site);
    }

    std::unique_ptr<RealFtpServer> server;
};

} // namespace

TEST_P(PromptUnderDisconnect, TheAnswerTouchesNothingOfTheEndedRun)
{
    app.session.ConnectButtonClick();
    ASSERT_TRUE(WaitForSession());
    app.CompareClick();
    ASSERT_TRUE(RunUntil([&] { return Settled(); }));
    ASSERT_EQ(app.ws.remoteTree.Count(), 2);

    // The server goes while the first deletion prompt is open, as a dialog's event loop would see.
    size_t statusesAtAnswer = 0;
    int keepInViewAtAnswer = 0;
    view.beforeAnswer = [&] {
        const int before = DisconnectionsSeen();
        server->stop();
        ASSERT_TRUE(RunUntil([&] { return DisconnectionsSeen() > before; }));
        EXPECT_EQ(app.ws.remoteTree.Count(), 0);
        statusesAtAnswer = view.statuses.size();
        keepInViewAtAnswer = view.keepInViewCalls;
    };
    view.askAnswers = {GetParam()};
    app.UpdateClick();
    ASSERT_TRUE(RunUntil([&] { return Settled(); }));

    ASSERT_EQ(view.prompts.size(), 1u) << "no second deletion is asked about";
    EXPECT_EQ(view.promptButtons.front(), 3);
    // The answer neither scrolled to a node of the cleared tree nor reported a run that had ended.
    EXPECT_EQ(view.keepInViewCalls, keepInViewAtAnswer);
    EXPECT_EQ(view.statuses.size(), statusesAtAnswer);
    EXPECT_FALSE(app.sequencer.Running());
    EXPECT_TRUE(server->exists("www/old1.html"));
}

INSTANTIATE_TEST_SUITE_P(Answers, PromptUnderDisconnect,
                         ::testing::Values(PromptAnswer::Yes, PromptAnswer::No, PromptAnswer::Cancel),
                         [](const auto &info) {
                             return std::string(info.param == PromptAnswer::Yes  ? "Yes"
                                                : info.param == PromptAnswer::No ? "No"
                                                                                 : "Cancel");
                         });

namespace {
class TypedRemoteDirectory : public ::testing::Test, public SessionFixture {
protected:
    void SetUp() override
    {
        SiteSpec site;
        site.nickName = "web";
        site.localDir = Directory("local");
        site.remoteDir = "/old";
        site.port = 1; // nothing listens: Connect fails after its commit
        UseSite(site);
        keyOfOld = app.sites.CurrentCacheKey();
        app.session.RemoteDirEditChanged("/new"); // typed, focus still in the box
    }
    void ExpectCommitted()
    {
        EXPECT_EQ(app.sites.Current().RemoteDir, "/new");
        EXPECT_NE(app.sites.CurrentCacheKey(), keyOfOld) << "the old directory's cache would be used";
        EXPECT_FALSE(app.session.RemoteDirEditPending());
    }
    std::string keyOfOld;
};
} // namespace

TEST_F(TypedRemoteDirectory, EachCommandCommitsItFirst)
{
    app.CompareClick();
    ExpectCommitted();

    app.session.RemoteDirEditChanged("/old");
    app.UpdateClick();
    EXPECT_EQ(app.sites.Current().RemoteDir, "/old");

    app.session.RemoteDirEditChanged("/new");
    app.session.RefreshRemoteButtonClick();
    ExpectCommitted();

    app.session.RemoteDirEditChanged("/old");
    app.session.ConnectButtonClick();
    EXPECT_EQ(app.sites.Current().RemoteDir, "/old");
    EXPECT_EQ(app.sites.CurrentCacheKey(), keyOfOld);
    RunUntil([&] { return Settled(); });
}

TEST_F(TypedRemoteDirectory, ACommittedOrShownTextIsNotCommittedAgain)
{
    app.session.RemoteDirEditCommit();
    EXPECT_EQ(view.Count("Remote Directory Path Updated"), 1);
    app.CompareClick();
    EXPECT_EQ(view.Count("Remote Directory Path Updated"), 1);
    app.session.SetRemoteDirEdit("/shown");
    app.CompareClick();
    EXPECT_EQ(view.Count("Remote Directory Path Updated"), 1);
}
