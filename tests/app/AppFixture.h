// Shared by the dialog tests: each test runs in a scratch directory of its own, which is
// the working directory while it runs (velkor.ini and addrbook.ini are named relative
// to it), and the message boxes it would show are captured.
#pragma once

#include "cmdwnd/MessageBox.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

class AppFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        dir = std::filesystem::temp_directory_path()
            / ("velkor-app-" + std::string(info->test_suite_name()) + "-" + info->name() + "-" + std::to_string(::getpid()));
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
        oldCwd = std::filesystem::current_path();
        std::filesystem::current_path(dir);
        previous = setMessageBoxFunction([this](const std::string& t) { messages.push_back(t); });
    }
    void TearDown() override
    {
        setMessageBoxFunction(std::move(previous));
        std::filesystem::current_path(oldCwd);
        std::filesystem::remove_all(dir);
    }

    static void writeFile(const std::string& p, const std::string& text)
    {
        std::ofstream out(p, std::ios::binary | std::ios::trunc);
        out << text;
    }
    static std::string readFile(const std::string& p)
    {
        std::ifstream in(p, std::ios::binary);
        std::ostringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }
    static bool exists(const std::string& p) { return std::filesystem::exists(p); }

    std::filesystem::path dir;
    std::filesystem::path oldCwd;
    std::vector<std::string> messages;
    MessageBoxFn previous;
};
