// Text from servers shown to people: controls made visible, everything else (UTF-8 names, a
// backslash, a tab) as it came, and a text shown twice no different.
#include "base/VisibleText.h"

#include <gtest/gtest.h>

TEST(VisibleControls, ControlsShowAndUtf8Stays)
{
    EXPECT_EQ(VisibleControls("r\xc3\xa9sum\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80\tC:\\x"),
              "r\xc3\xa9sum\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80\tC:\\x");
    EXPECT_EQ(VisibleControls("\x1b]0;title\x07 a\x7f\r\n"), "\\x1b]0;title\\x07 a\\x7f\\x0d\\x0a");
    EXPECT_EQ(VisibleControls("one\r\ntwo", true), "one\r\ntwo");
    // C1 controls: CSI as UTF-8 (U+009B) and as the lone byte an 8-bit terminal acts on; a Latin-1
    // letter that is no UTF-8 stays.
    EXPECT_EQ(VisibleControls("\xc2\x9b" "31m \x9b" "31m caf\xe9"), "\\u009b31m \\x9b31m caf\xe9");
    const std::string once = VisibleControls("\x1b[2J\xc2\x85");
    EXPECT_EQ(VisibleControls(once), once);
}
