#include <gtest/gtest.h>

#include "platform/PeFixture.h"
#include "platform/ProgramIcons.h"
#include "support/ScratchDir.h"
#include "support/TestFiles.h"

namespace {

using namespace pe_fixture;

class ProgramIconsTest : public ::testing::Test {
protected:
    std::vector<QImage> IconsOf(const std::string& bytes) {
        const auto file = scratch_.path() / "program.exe";
        test_files::Write(file, bytes);
        return win::ProgramIcons(file);
    }

    testing_support::ScratchDir scratch_;
};

TEST_F(ProgramIconsTest, ReadsBitmapAndPngImagesOfTheFirstGroup) {
    const auto images = IconsOf(ProgramWithIcon());
    ASSERT_EQ(images.size(), 2u);
    EXPECT_EQ(images[0].size(), QSize(16, 16));
    EXPECT_EQ(images[0].pixel(3, 5), 0xFFFF0000);
    EXPECT_EQ(images[1].size(), QSize(32, 32));
    EXPECT_EQ(images[1].pixel(30, 1), 0xFF0000FF);
}

TEST_F(ProgramIconsTest, KeepsTheImageWithTheMostColoursOfEachSize) {
    const std::string red = BitmapIcon(16, 0xFFFF0000);
    const std::string green = PngIcon(16, 0xFF00FF00);
    const auto bytes = static_cast<std::uint32_t>(red.size());
    for (const auto& [redBits, greenBits, expected] :
         {std::tuple{32, 8, 0xFFFF0000u}, std::tuple{8, 32, 0xFF00FF00u}}) {
        const auto images = IconsOf(Program(
            {{kIcon, 1, red},
             {kIcon, 2, green},
             {kIconGroup, 1, IconGroup({{16, redBits, 1, bytes}, {16, greenBits, 2, bytes}})}}));
        ASSERT_EQ(images.size(), 1u);
        EXPECT_EQ(images[0].pixel(0, 0), expected) << redBits << " against " << greenBits;
    }
}

TEST_F(ProgramIconsTest, NoIconsFromFilesWithoutAnIconGroup) {
    EXPECT_TRUE(win::ProgramIcons(scratch_.path() / "missing.exe").empty());
    EXPECT_TRUE(IconsOf("Placeholder: not a program\n").empty());
    EXPECT_TRUE(IconsOf(Program({{kIcon, 1, BitmapIcon(16, 0xFFFF0000)}})).empty());
    // A group naming an icon that is not there gives the images that are.
    const std::string red = BitmapIcon(16, 0xFFFF0000);
    const auto images = IconsOf(Program(
        {{kIcon, 1, red},
         {kIconGroup, 1,
          IconGroup({{16, 32, 1, static_cast<std::uint32_t>(red.size())}, {32, 32, 9, 100}})}}));
    EXPECT_EQ(images.size(), 1u);
}

// A damaged file never makes the reader look outside it: every cut gives some of the images
// or none (the sanitizers watch the reads).
TEST_F(ProgramIconsTest, DamagedFilesGiveFewerImages) {
    const std::string whole = ProgramWithIcon();
    for (size_t cut = 0; cut < whole.size(); cut += 7) {
        EXPECT_LE(IconsOf(whole.substr(0, cut)).size(), 2u) << "cut at " << cut;
    }
    // Offsets pointing anywhere: every byte of the resource directory overwritten in turn.
    for (size_t at = kSectionOffset; at < kSectionOffset + 0x100 && at < whole.size(); ++at) {
        std::string damaged = whole;
        damaged[at] = '\xFF';
        EXPECT_LE(IconsOf(damaged).size(), 2u) << "byte " << at;
    }
}

}  // namespace
