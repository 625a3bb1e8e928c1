#include "file/wholefile.h"
#include "support/cli_run.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <sys/stat.h>

using clitest::TempDir;

namespace {
int readError(const std::string& path, uint64_t maxBytes = 1 << 20) {
    WholeFile file;
    int ok = ReadWholeFile(path.c_str(), maxBytes, &file);
    EXPECT_EQ(ok == 1, file.data != nullptr);
    std::free(file.data);
    return file.error;
}
} // namespace

TEST(WholeFile, RefusesWhatIsNotARegularFileWithoutOpeningIt) {
    TempDir dir;
    std::filesystem::create_directory(dir.file("d.txt"));
    ASSERT_EQ(::mkfifo(dir.file("pipe.txt").c_str(), 0600), 0);
    std::filesystem::create_symlink("/dev/zero", dir.file("zero.txt"));
    EXPECT_EQ(readError(dir.file("d.txt")), WHOLE_FILE_DIRECTORY);
    // Opening a pipe would wait for a writer: this would hang if it were opened.
    EXPECT_EQ(readError(dir.file("pipe.txt")), WHOLE_FILE_NOT_REGULAR);
    EXPECT_EQ(readError(dir.file("zero.txt")), WHOLE_FILE_NOT_REGULAR);
    EXPECT_EQ(readError("/dev/null"), WHOLE_FILE_NOT_REGULAR);
    EXPECT_EQ(readError(dir.file("missing.txt")), WHOLE_FILE_MISSING);
    EXPECT_EQ(readError(""), WHOLE_FILE_MISSING);
    EXPECT_STREQ(WholeFileErrorText(WHOLE_FILE_DIRECTORY), "is a directory");
}

TEST(WholeFile, ReadsToTheRealEndWithinTheLimit) {
    // /proc files report a size of 0 but have content.
    WholeFile status;
    ASSERT_EQ(ReadWholeFile("/proc/self/status", 1 << 20, &status), 1);
    EXPECT_GT(status.size, 0u);
    EXPECT_NE(std::string(reinterpret_cast<char*>(status.data)).find("Name:"), std::string::npos);
    std::free(status.data);

    TempDir dir;
    std::string bytes(200000, 'x');
    bytes[1234] = '\0';
    WholeFile exact;
    ASSERT_EQ(ReadWholeFile(dir.write("exact.bin", bytes).c_str(), bytes.size(), &exact), 1);
    ASSERT_EQ(exact.size, bytes.size());
    EXPECT_EQ(std::string(reinterpret_cast<char*>(exact.data), exact.size), bytes);
    EXPECT_EQ(exact.data[exact.size], 0);
    std::free(exact.data);
    EXPECT_EQ(readError(dir.file("exact.bin"), bytes.size() - 1), WHOLE_FILE_TOO_LARGE);

    WholeFile empty;
    ASSERT_EQ(ReadWholeFile(dir.write("empty.txt", "").c_str(), 10, &empty), 1);
    EXPECT_EQ(empty.size, 0u);
    EXPECT_EQ(empty.data[0], 0);
    std::free(empty.data);
}

namespace {
// Bytes this process has read so far (/proc/self/io counts every read call).
uint64_t bytesReadSoFar() {
    std::string io = clitest::slurp("/proc/self/io");
    size_t at = io.find("rchar: ");
    return at == std::string::npos ? 0 : std::strtoull(io.c_str() + at + 7, nullptr, 10);
}
} // namespace

TEST(WholeFile, AFileReportingMoreThanTheLimitIsRefusedUnread) {
    TempDir dir;
    std::string big = dir.file("big.bin");
    std::filesystem::resize_file(dir.write("big.bin", ""), (uint64_t(1) << 30) + 1); // sparse
    const uint64_t before = bytesReadSoFar();
    ASSERT_GT(before, 0u);
    EXPECT_EQ(readError(big, uint64_t(1) << 30), WHOLE_FILE_TOO_LARGE);
    EXPECT_LT(bytesReadSoFar() - before, uint64_t(1) << 20);
}
