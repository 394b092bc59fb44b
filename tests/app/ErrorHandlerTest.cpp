#include <gtest/gtest.h>

#include "app/ErrorHandler.h"
#include "platform/CodePage.h"

namespace {

TEST(ErrorBoxText, AppendsAFullStopAfterCharactersThatSortAfterIt) {
    EXPECT_EQ(ErrorBoxText("Cannot open"), "Cannot open.");
    EXPECT_EQ(ErrorBoxText("Done."), "Done.");
    EXPECT_EQ(ErrorBoxText("Is it?"), "Is it?.");  // "?" sorts after "."
    EXPECT_EQ(ErrorBoxText("x!"), "x!");
    EXPECT_EQ(ErrorBoxText(""), "");
    const std::string zhong = cp936::FromUtf8("中");
    EXPECT_EQ(ErrorBoxText(zhong), zhong + ".");
}

}  // namespace
