// Shared by the dialog tests: each test runs in a scratch directory of its own, which is
// the working directory while it runs (velkor.ini and addrbook.ini are named relative
// to it), and the message boxes it would show are captured.
#pragma once

#include "fixtures/ScratchFixture.h"

#include <QElapsedTimer>
#include <QString>
#include <QTest>

#include <gtest/gtest.h>

#include <functional>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

// Readable failure messages for Qt strings.
inline void PrintTo(const QString& s, std::ostream* os)
{
    *os << '"' << s.toStdString() << '"';
}

// Runs the event loop until done() holds or the time is up; false on time-out.
inline bool waitFor(const std::function<bool()>& done, int milliseconds = 5000)
{
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > milliseconds)
            return false;
        QTest::qWait(10);
    }
    return true;
}

class AppFixture : public ScratchFixture {
protected:
    AppFixture() : ScratchFixture("velkor-app-") {}

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
