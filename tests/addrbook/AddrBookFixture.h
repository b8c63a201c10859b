// Shared by the address book tests: a scratch directory, captured message boxes and a
// fixed clock.
#pragma once

#include "addrbook/CAddrBook.h"
#include "cmdwnd/MessageBox.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

class AddrBookFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        dir = std::filesystem::temp_directory_path()
            / ("velkor-ab-" + std::string(info->test_suite_name()) + "-" + info->name() + "-" + std::to_string(::getpid()));
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
        previous = setMessageBoxFunction([this](const std::string& t) { messages.push_back(t); });
    }
    void TearDown() override
    {
        setMessageBoxFunction(std::move(previous));
        std::filesystem::remove_all(dir);
    }

    std::string path(const std::string& name = "addrbook.ini") const { return (dir / name).string(); }

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
    // A book whose clock stands still and whose log is kept.
    void prepare(CAddrBook& book)
    {
        book.SetClock([] { return std::time_t {1700000000}; });
        book.SetLogFunction([this](const std::string& t) { logLines.push_back(t); });
    }
    static std::string name(const CTreeItem* n) { return n && n->data ? n->data->GetItemText() : "<none>"; }
    static std::string cell(const CTreeItem* n, int column) { return n && n->data ? n->data->GetCellText(column) : "<none>"; }
    static bool checked(const CTreeItem* n) { return n && n->data && n->data->GetCheck(); }

    std::filesystem::path dir;
    std::vector<std::string> messages;
    std::vector<std::string> logLines;
    MessageBoxFn previous;
};
