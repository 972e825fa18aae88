// Listings with hidden names ("LIST -a"), the fall-back to plain LIST for a server that refuses
// the option or takes it for a name, and listings whose final reply says they failed.
#include "ftp/ScriptedDataFixture.h"

namespace {

std::string ListRule(const std::string &match, const Lines &data, const std::string &extra = "")
{
    std::string lines;
    for (const std::string &line : data)
        lines += (lines.empty() ? "\"" : ", \"") + line + "\"";
    return R"({"match": ")" + match + R"(", "action": "send", "data": [)" + lines + "]" + extra + "}";
}

} // namespace

class ListHidden : public ScriptedData {
protected:
    // The commands of one listing in this test's mode, with the LIST command given.
    Lines Listing(const std::string &list) const
    {
        return Passive() ? Lines{"PASV", list} : Lines{"PWD", "TYPE A", "PORT", list};
    }
    // A later listing of the session: the type is set already.
    Lines NextListing(const std::string &list) const
    {
        return Passive() ? Lines{"PASV", list} : Lines{"PWD", "PORT", list};
    }
    // The same listing sent again plainly on a new data connection.
    Lines Again() const { return Passive() ? Lines{"PASV", "LIST"} : Lines{"PORT", "LIST"}; }
};

TEST_P(ListHidden, HiddenNamesAreAskedForAndAServerThatRefusesTheOptionIsListedPlainly)
{
    ASSERT_NO_FATAL_FAILURE(StartData(R"({"match": "^LIST -a$", "reply": "501 Illegal option."},)" +
                                      ListRule("^LIST$", {"plain"})));
    EXPECT_TRUE(client.HiddenListed());
    ASSERT_TRUE(Complete([&] { List(); }));
    EXPECT_TRUE(recorder.Has("OnListingDone ok"));
    EXPECT_EQ(client.Listing(), Lines{"plain"});
    EXPECT_FALSE(client.HiddenListed());
    ASSERT_TRUE(Complete([&] { List(); })); // the rest of the session lists plainly
    EXPECT_EQ(recorder.Count("OnListingDone ok"), 2);
    EXPECT_EQ(Commands(), Listing("LIST -a") + Again() + NextListing("LIST"));
    EXPECT_EQ(recorder.readies, 2);

    // A new session asks again.
    client.Quit();
    ASSERT_TRUE(WaitForQuit());
    client.Reset();
    ASSERT_TRUE(ConnectAndWait());
    EXPECT_TRUE(client.HiddenListed());
}

TEST_P(ListHidden, ADirectoryRefusedEitherWayFailsAndTheOptionStays)
{
    ASSERT_NO_FATAL_FAILURE(StartData(R"({"match": "^LIST", "reply": "550 Permission denied.", "times": 2},)" +
                                      ListRule("^LIST -a$", {".hidden", "a"})));
    ASSERT_TRUE(Complete([&] { List(); }));
    EXPECT_TRUE(recorder.Has("OnListingDone failed"));
    EXPECT_TRUE(client.HiddenListed());
    ASSERT_TRUE(Complete([&] { List(); }));
    EXPECT_TRUE(recorder.Has("OnListingDone ok"));
    EXPECT_EQ(client.Listing(), (Lines{".hidden", "a"}));
    EXPECT_EQ(Commands(), Listing("LIST -a") + Again() + NextListing("LIST -a"));
    EXPECT_EQ(recorder.quits, 0);
}

TEST_P(ListHidden, AnEmptyListingIsCheckedPlainlyUntilTheOptionHasShownLines)
{
    // This server takes "-a" for a name: nothing for every "LIST -a".
    ASSERT_NO_FATAL_FAILURE(StartData(ListRule("^LIST -a$", {}) + "," + ListRule("^LIST$", {"a", "b"})));
    ASSERT_TRUE(Complete([&] { List(); }));
    EXPECT_TRUE(recorder.Has("OnListingDone ok"));
    EXPECT_EQ(client.Listing(), (Lines{"a", "b"}));
    EXPECT_FALSE(client.HiddenListed());
    EXPECT_EQ(Commands(), Listing("LIST -a") + Again());
    EXPECT_EQ(recorder.readies, 1);
}

TEST_P(ListHidden, AnEmptyDirectoryStaysEmptyAndOnceConfirmedIsNotListedTwice)
{
    ASSERT_NO_FATAL_FAILURE(StartData(ListRule("^LIST", {}, R"(, "times": 2)") + "," +
                                      ListRule("^LIST -a$", {".", "..", ".htaccess"}, R"(, "times": 1)") + "," +
                                      ListRule("^LIST", {})));
    ASSERT_TRUE(Complete([&] { List(); })); // empty under -a and plainly
    EXPECT_TRUE(client.Listing().empty());
    EXPECT_TRUE(client.HiddenListed());
    ASSERT_TRUE(Complete([&] { List(); })); // lines under -a: the option works
    EXPECT_EQ(client.Listing(), (Lines{".", "..", ".htaccess"}));
    ASSERT_TRUE(Complete([&] { List(); })); // empty, and believed
    EXPECT_TRUE(client.Listing().empty());
    EXPECT_TRUE(client.HiddenListed());
    EXPECT_EQ(recorder.Count("OnListingDone ok"), 3);
    EXPECT_EQ(Commands(), Listing("LIST -a") + Again() + NextListing("LIST -a") + NextListing("LIST -a"));
}

TEST_P(ListHidden, OffListsPlainly)
{
    ASSERT_NO_FATAL_FAILURE(StartData(ListRule("^LIST$", {})));
    client.ListHidden = false;
    EXPECT_FALSE(client.HiddenListed());
    ASSERT_TRUE(Complete([&] { List(); }));
    EXPECT_TRUE(recorder.Has("OnListingDone ok"));
    EXPECT_EQ(Commands(), Listing("LIST"));
}

TEST_P(ListHidden, AFinalReplyThatSaysItFailedIsAFailedListing)
{
    // vsftpd's answer for a directory it may enter but not read, then a readable one.
    ASSERT_NO_FATAL_FAILURE(StartData(
        ListRule("^LIST", {}, R"(, "then": "226 Transfer done (but failed to open directory).", "times": 1)") + "," +
        ListRule("^LIST", {"a"})));
    ASSERT_TRUE(Complete([&] { List(); }));
    EXPECT_EQ(recorder.events.back(), "fiReady");
    EXPECT_TRUE(recorder.Has("OnListingDone failed"));
    EXPECT_TRUE(client.HiddenListed());
    recorder.Clear();
    ASSERT_TRUE(Complete([&] { List(); }));
    EXPECT_TRUE(recorder.Has("OnListingDone ok"));
    EXPECT_EQ(Commands(), Listing("LIST -a") + NextListing("LIST -a")); // a failure is not retried
    EXPECT_EQ(recorder.quits, 0);
}

INSTANTIATE_TEST_SUITE_P(Modes, ListHidden, ::testing::Values(false, true), ModeName);
