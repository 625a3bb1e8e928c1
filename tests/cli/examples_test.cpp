// Every example command file runs cleanly on every model and checks clean
// on the panel its header names.
#include "support/cli_run.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
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

namespace {
// The model and orientation an example's header runs it with ("-m KP350 -a 90").
std::string headerPanel(const fs::path& example) {
    std::ifstream in(example);
    for (std::string line; std::getline(in, line) && line.rfind(";", 0) == 0;) {
        size_t at = line.find("vantorix-cli ");
        if (at == std::string::npos) continue;
        std::istringstream words(line.substr(at));
        std::string panel;
        for (std::string word; words >> word;)
            if (word == "-m" || word == "-a") {
                std::string value;
                words >> value;
                panel += " " + word + " " + value;
            }
        return panel;
    }
    return "";
}
} // namespace

TEST(Examples, EveryExampleChecksCleanOnItsOwnPanel) {
    fs::path examples = fs::path(VANTORIX_SOURCE_DIR) / "examples";
    for (const auto& entry : fs::directory_iterator(examples)) {
        if (entry.path().extension() != ".txt") continue;
        const std::string panel = headerPanel(entry.path());
        EXPECT_NE(panel.find("-m "), std::string::npos) << entry.path() << " names no model";
        clitest::CliRun run = clitest::runCli("--check" + panel + " " + entry.path().string());
        EXPECT_EQ(run.status, 0) << entry.path() << panel << "\n" << run.out << run.err;
    }
}
