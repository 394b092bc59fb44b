#include <gtest/gtest.h>

#include "app/ErrorHandler.h"
#include "platform/CodePage.h"

using namespace cp936::literals;

namespace {

TEST(ErrorBoxText, AppendsAFullStopAfterCharactersThatSortAfterIt) {
    EXPECT_EQ(ErrorBoxText("Cannot open"), "Cannot open.");
    EXPECT_EQ(ErrorBoxText("Done."), "Done.");
    EXPECT_EQ(ErrorBoxText("Is it?"), "Is it?.");  // "?" sorts after "."
    EXPECT_EQ(ErrorBoxText("x!"), "x!");
    EXPECT_EQ(ErrorBoxText(""), "");
    EXPECT_EQ(ErrorBoxText("无法打开"_gbk), "无法打开."_gbk);  // a lead byte sorts after "."
}

}  // namespace
