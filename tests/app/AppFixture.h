// Shared by the dialog tests: each test runs in a scratch directory of its own, which is
// the working directory while it runs (velkor.ini and addrbook.ini are named relative
// to it), and the message boxes it would show are captured.
#pragma once

#include "fixtures/ScratchFixture.h"
#include "fixtures/WaitFor.h"

#include <QString>
#include <QTest>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

// Readable failure messages for Qt strings.
inline void PrintTo(const QString& s, std::ostream* os)
{
    *os << '"' << s.toStdString() << '"';
}

class AppFixture : public ScratchFixture {
protected:
    void SetUp() override
    {
        ScratchFixture::SetUp();
        oldCwd = std::filesystem::current_path();
        std::filesystem::current_path(dir);
    }
    void TearDown() override
    {
        std::filesystem::current_path(oldCwd);
        ScratchFixture::TearDown();
    }

    static bool exists(const std::string& p) { return std::filesystem::exists(p); }

    std::filesystem::path oldCwd;
};
