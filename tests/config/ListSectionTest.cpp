#include "config/ListSection.h"
#include "config/ProfileFile.h"

#include "ConfigTestFiles.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

using Items = std::vector<std::string>;

namespace {

class ListSectionTest : public ::testing::Test {
protected:
    std::string PathOf(const char *name) const { return dir_.filePath(name).toStdString(); }
    Items Read(const std::string &text, const char *section)
    {
        WriteWholeFile(PathOf("list"), text);
        Items items{"stale"};
        ReadListSectionFromPath(PathOf("list"), section, items);
        return items;
    }
    QTemporaryDir dir_;
};

} // namespace

TEST_F(ListSectionTest, LineRules)
{
    EXPECT_EQ(Read("[Before]\nx=0\n\n[Ignore Files]\nimages=0\ncgi-bin=1\nno equals\nk=v=w\n",
                   "ignore files"),
              (Items{"images", "cgi-bin", "no equals", "k"}));
    // Only an empty line or the end stops; a later header is read as an item.
    EXPECT_EQ(Read("[ignore lead]\n_=0\n[other]\ny=1\n\nafter=2\n", "ignore lead"),
              (Items{"_", "[other]", "y"}));
    // The header must match as a whole line; blanks around it are not part of it.
    EXPECT_EQ(Read("[ignore lead] \na=0\n", "ignore lead"), Items{"a"});
    EXPECT_EQ(Read(" [ignore lead]\na=0\n", "ignore lead"), Items{"a"});
    EXPECT_EQ(Read("[ignore lead]x\na=0\n", "ignore lead"), Items{});
    // Lines ending CR LF read as the same items; keys are not trimmed.
    EXPECT_EQ(Read("[conversion]\r\n12htm=1\r\n 0txt =2\r\n\r\nlost=3\r\n", "CONVERSION"),
              (Items{"12htm", " 0txt "}));
    EXPECT_EQ(Read("[other]\na=0\n", "ignore files"), Items{});
    // A CR LF file copied once more as text ends its lines CR CR LF: it reads as its original,
    // and so does a file that starts with a byte order mark.
    EXPECT_EQ(Read("[conversion]\r\r\n12htm=1\r\r\n 0txt =2\r\r\n\r\r\nlost=3\r\r\n", "conversion"),
              (Items{"12htm", " 0txt "}));
    EXPECT_EQ(Read("[ignore files]\r\r\r\nimages\r\r\n", "ignore files"), Items{"images"});
    EXPECT_EQ(Read("\xEF\xBB\xBF[ignore files]\r\nimages=0\r\n", "ignore files"), Items{"images"});

    Items items{"stale"};
    ReadListSectionFromPath(PathOf("absent"), "ignore files", items);
    EXPECT_TRUE(items.empty());
}

// The list files as the save writes them (erase, then one key per item) and as the load reads them.
TEST_F(ListSectionTest, RoundTripThroughProfileFile)
{
    const std::string path = PathOf("FERNHOP.IGN");
    auto save = [&](const Items &items) {
        ProfileFile file(path);
        file.EraseSection("ignore files");
        for (size_t i = 0; i < items.size(); ++i)
            file.WriteString("ignore files", items[i], std::to_string(i));
        ASSERT_TRUE(file.Save());
    };
    Items read;

    save({"images", "a=b", "cgi-bin", "images"});
    ReadListSectionFromPath(path, "ignore files", read);
    EXPECT_EQ(read, (Items{"images", "a", "cgi-bin"})); // duplicate stored once, "=" cuts

    save({});
    ReadListSectionFromPath(path, "ignore files", read);
    EXPECT_TRUE(read.empty());
}

TEST_F(ListSectionTest, BareNameIsLookedUpInTheSettingsDirectory)
{
    EnvironmentGuard home("FERNHOP_HOME", dir_.path().toStdString().c_str());
    WriteWholeFile(PathOf("FERNHOP.EXT"), "[ignore extensions]\nbak=0\ntmp=1\n");
    Items items;
    ReadListSection("FERNHOP.EXT", "ignore extensions", items);
    EXPECT_EQ(items, (Items{"bak", "tmp"}));
}
