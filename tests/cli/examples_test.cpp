// Every example command file runs cleanly on every model.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <sys/wait.h>

namespace fs = std::filesystem;

TEST(Examples, EveryExampleRunsOnEveryModel) {
    fs::path examples = fs::path(VANTORIX_SOURCE_DIR) / "examples";
    int files = 0;
    for (const auto& entry : fs::directory_iterator(examples)) {
        if (entry.path().extension() != ".txt") continue;
        ++files;
        for (int model = 1; model <= 6; ++model) {
            std::string command = std::string(VANTORIX_CLI_PATH) + " -m " + std::to_string(model) +
                                  " " + entry.path().string() + " >/dev/null 2>&1";
            int raw = std::system(command.c_str());
            ASSERT_TRUE(WIFEXITED(raw));
            EXPECT_EQ(WEXITSTATUS(raw), 0) << entry.path() << " on model " << model;
        }
    }
    EXPECT_GE(files, 2);
}
