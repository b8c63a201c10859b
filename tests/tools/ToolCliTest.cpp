// What every command-line program answers the same way: --version with the project's
// version, --help that ends with the exit statuses.
#include "tools/ToolRunner.h"

#include <gtest/gtest.h>

namespace {

const struct {
    const char* name;
    const char* path;
} kTools[] = {
    {"velkor-decode", VELKOR_DECODE_PATH},
    {"velkor-track", VELKOR_TRACK_PATH},
    {"velkor-scanner", VELKOR_SCANNER_PATH},
    {"velkor-addrbook", VELKOR_ADDRBOOK_PATH},
};

TEST(ToolCli, VersionIsTheProjectsVersion)
{
    for (const auto& tool : kTools) {
        const auto r = testsignal::runTool(tool.path, {"--version"});
        EXPECT_EQ(r.status, 0) << tool.name;
        EXPECT_EQ(r.out, std::string(tool.name) + " " + VELKOR_VERSION + "\n");
    }
}

TEST(ToolCli, HelpEndsWithExamplesAndExitStatuses)
{
    for (const auto& tool : kTools) {
        const auto r = testsignal::runTool(tool.path, {"--help"});
        EXPECT_EQ(r.status, 0) << tool.name;
        const size_t examples = r.out.find("\nExamples:\n  " + std::string(tool.name));
        const size_t statuses = r.out.find("\nExit status:\n  0  ");
        EXPECT_NE(examples, std::string::npos) << r.out;
        EXPECT_NE(statuses, std::string::npos) << r.out;
        EXPECT_LT(examples, statuses) << tool.name;
    }
}

} // namespace
