#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <thread>

#include "platform/HostFile.h"
#include "support/ScratchDir.h"
#include "support/TestFiles.h"

namespace fs = std::filesystem;
using testing_support::ScratchDir;

namespace {

// Bytes that show a chunk out of place; size is a few chunks and a bit.
std::string Pattern(std::size_t size) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(i * 7919 >> 5);
    return bytes;
}

// The hidden sibling a file is made under and the one it is deleted under are recognised by
// the one rule that names them; nothing else is.
TEST(HostFile, HiddenSiblingNamesAreKnownForTheFileTheyStandFor) {
    ScratchDir scratch;
    std::string made = win::HiddenSiblingPattern(scratch.path() / "数据.qdb");
    const int fd = mkostemp(made.data(), O_CLOEXEC);
    ASSERT_GE(fd, 0);
    close(fd);
    EXPECT_EQ(win::NameBehindHiddenSibling(fs::path(made).filename().string()), "数据.qdb");
    EXPECT_EQ(win::NameBehindHiddenSibling(
                  win::DeletingSibling(scratch.path() / "a.qdb").filename().string()),
              "a.qdb");

    for (const char* other : {"a.qdb", ".a.qdb", ".a.ab-def", ".a.abcdefg", "..abcdef", ".abcdef",
                              ".deleting", "..deleting", "."}) {
        EXPECT_EQ(win::NameBehindHiddenSibling(other), "") << other;
    }
}

TEST(HostFile, HiddenSiblingIsRemovedUnlessPlaced) {
    ScratchDir scratch;
    const fs::path target = scratch.path() / "target";
    test_files::Write(target, "old");
    {
        win::HiddenSibling unplaced(target);
        ASSERT_GE(unplaced.fd(), 0);
        ASSERT_EQ(win::WriteAll(unplaced.fd(), "new", 3), 0);
        win::HiddenSibling refused(target);
        EXPECT_EQ(refused.Place(false), EEXIST);
    }
    EXPECT_EQ(test_files::Read(target), "old");
    EXPECT_EQ(std::distance(fs::directory_iterator(scratch.path()), fs::directory_iterator()), 1);

    win::HiddenSibling placed(target);
    ASSERT_EQ(win::WriteAll(placed.fd(), "new", 3), 0);
    EXPECT_EQ(placed.Place(true), 0);
    EXPECT_EQ(test_files::Read(target), "new");
    EXPECT_EQ(std::distance(fs::directory_iterator(scratch.path()), fs::directory_iterator()), 1);
}

// Between two files the kernel copies; from a pipe it declines, and the bytes go through a
// buffer. Either way the copy is exact and the hook runs once after each chunk.
TEST(HostFile, CopyGoesInChunksByTheKernelOrThroughABuffer) {
    const std::string content = Pattern(3 * win::kCopyChunk + 17);
    const int chunks = 4;
    ScratchDir scratch;
    test_files::Write(scratch.path() / "source", content);

    const win::FileDescriptor source(open((scratch.path() / "source").c_str(), O_RDONLY));
    const win::FileDescriptor byKernel(
        open((scratch.path() / "by-kernel").c_str(), O_WRONLY | O_CREAT, 0644));
    int calls = 0;
    EXPECT_EQ(win::CopyContents(source.get(), byKernel.get(), [&] { ++calls; }), 0);
    EXPECT_EQ(calls, chunks);
    EXPECT_TRUE(test_files::Read(scratch.path() / "by-kernel") == content);

    int pipeEnds[2];
    ASSERT_EQ(pipe(pipeEnds), 0);
    const win::FileDescriptor pipeOut(pipeEnds[0]);
    std::thread writer([&, in = pipeEnds[1]] {
        win::WriteAll(in, content.data(), content.size());
        close(in);
    });
    const win::FileDescriptor buffered(
        open((scratch.path() / "buffered").c_str(), O_WRONLY | O_CREAT, 0644));
    calls = 0;
    EXPECT_EQ(win::CopyContents(pipeOut.get(), buffered.get(), [&] { ++calls; }), 0);
    writer.join();
    EXPECT_EQ(calls, chunks);
    EXPECT_TRUE(test_files::Read(scratch.path() / "buffered") == content);
}

// A failure is the errno of the step that failed, whichever way the bytes go.
TEST(HostFile, CopyReportsTheFailure) {
    ScratchDir scratch;
    test_files::Write(scratch.path() / "source", "bytes");
    const win::FileDescriptor source(open((scratch.path() / "source").c_str(), O_RDONLY));
    const win::FileDescriptor readOnly(open((scratch.path() / "source").c_str(), O_RDONLY));
    EXPECT_EQ(win::CopyContents(source.get(), readOnly.get(), {}), EBADF);
    const win::FileDescriptor full(open("/dev/full", O_WRONLY));
    ASSERT_TRUE(full.valid());
    EXPECT_EQ(win::CopyContents(source.get(), full.get(), {}), ENOSPC);
}

}  // namespace
