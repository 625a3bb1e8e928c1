// Outputs against what may already stand at their names: regular files,
// links, pipes, devices and folders; and which entries a folder listing
// counts as files.
#include "file/fsys.h"
#include "file/output.h"
#include "support/cli_run.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <sys/stat.h>

using clitest::drainPipe;
using clitest::openPipeReader;
using clitest::slurp;
using clitest::TempDir;
namespace fs = std::filesystem;

namespace {
std::string writeText(const std::string& path, const std::string& text) {
    return writeOutputBytes(path, text.data(), text.size());
}
} // namespace

TEST(Outputs, RegularFilesAreReplacedWholeOrNotAtAll) {
    TempDir dir;
    std::string file = dir.write("out.bin", "old");
    ::chmod(file.c_str(), 0600);
    std::string error = writeOutputFile(file, [](const char* path) -> std::string {
        std::FILE* half = std::fopen(path, "wb");
        std::fputs("ha", half);
        std::fclose(half);
        return "disk full";
    });
    EXPECT_EQ(error, "disk full");
    EXPECT_EQ(slurp(file), "old");
    EXPECT_FALSE(fs::exists(file + ".tmp"));

    EXPECT_EQ(writeText(file, "new"), "");
    EXPECT_EQ(slurp(file), "new");
    EXPECT_EQ(fs::status(file).permissions(), fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(writeText(dir.file("fresh.bin"), ""), "");
    EXPECT_TRUE(fs::is_regular_file(dir.file("fresh.bin")));
    EXPECT_EQ(writeText(dir.path.string(), "x"), "is a directory");
}

TEST(Outputs, LinksStayAndTheFilesTheyLeadToAreReplaced) {
    TempDir dir;
    std::string target = dir.write("target.bin", "old");
    fs::create_symlink("target.bin", dir.file("near"));
    fs::create_symlink(dir.file("near"), dir.file("far"));
    EXPECT_EQ(writeText(dir.file("far"), "new"), "");
    EXPECT_TRUE(fs::is_symlink(dir.file("far")));
    EXPECT_TRUE(fs::is_symlink(dir.file("near")));
    EXPECT_EQ(slurp(target), "new");

    fs::create_symlink("later.bin", dir.file("dangling"));
    EXPECT_EQ(writeText(dir.file("dangling"), "made"), "");
    EXPECT_TRUE(fs::is_symlink(dir.file("dangling")));
    EXPECT_EQ(slurp(dir.file("later.bin")), "made");

    fs::create_symlink("loop", dir.file("loop"));
    EXPECT_NE(writeText(dir.file("loop"), "x"), "");
}

TEST(Outputs, PipesAndDevicesAreWrittenInPlace) {
    TempDir dir;
    std::string pipe = dir.file("pipe");
    int reader = openPipeReader(pipe);
    ASSERT_GE(reader, 0);
    EXPECT_EQ(writeText(pipe, "through"), "");
    EXPECT_EQ(drainPipe(reader), "through");
    EXPECT_EQ(fs::status(pipe).type(), fs::file_type::fifo);

    fs::create_symlink("/dev/null", dir.file("null"));
    EXPECT_EQ(writeText(dir.file("null"), "gone"), "");
    EXPECT_TRUE(fs::is_symlink(dir.file("null")));

    // Something other than a leftover in the temporary file's place is kept.
    std::string busy = dir.file("busy.bin");
    int held = openPipeReader(busy + ".tmp");
    ASSERT_GE(held, 0);
    EXPECT_EQ(writeText(busy, "x"), busy + ".tmp is in the way");
    EXPECT_EQ(fs::status(busy + ".tmp").type(), fs::file_type::fifo);
    EXPECT_EQ(drainPipe(held), "");
}

TEST(Outputs, FileSinksAreMadeOnlyAsPlainFiles) {
    TempDir dir;
    std::string pipe = dir.file("pipe.uf2");
    int reader = openPipeReader(pipe);
    ASSERT_GE(reader, 0);
    EXPECT_EQ(createFileSink(pipe.c_str()), nullptr);
    EXPECT_EQ(drainPipe(reader), "");
    EXPECT_FALSE(isPlainFile(pipe.c_str()));
    fs::create_symlink("/dev/null", dir.file("null.uf2"));
    EXPECT_EQ(createFileSink(dir.file("null.uf2").c_str()), nullptr);

    FileSink* sink = createFileSink(dir.file("plain.uf2").c_str());
    ASSERT_NE(sink, nullptr);
    EXPECT_EQ(writeFileSink(sink, "abc", 3), 1);
    EXPECT_EQ(closeFileSink(sink), 1);
    EXPECT_EQ(slurp(dir.file("plain.uf2")), "abc");
    EXPECT_TRUE(isPlainFile(dir.file("plain.uf2").c_str()));
}

TEST(FolderListing, NamesPlainFilesAndTheLinksThatLeadToThem) {
    TempDir dir;
    dir.write("plain.uf2", "x");
    fs::create_directory(dir.file("folder.uf2"));
    fs::create_symlink(dir.file("plain.uf2"), dir.file("link.uf2"));
    fs::create_symlink(dir.file("folder.uf2"), dir.file("folderlink.uf2"));
    fs::create_symlink(dir.file("gone.uf2"), dir.file("dangling.uf2"));
    ASSERT_EQ(::mkfifo(dir.file("pipe.uf2").c_str(), 0600), 0);
    std::vector<std::string> names;
    ASSERT_TRUE(listFolderFiles(dir.file("").c_str(), names));
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"link.uf2", "plain.uf2"}));
}
