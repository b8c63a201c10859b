// A program of the project running in the background, as a user starts it in a
// terminal: its output goes to files that can be read while it runs, and it can be
// sent a signal. Used where a program runs until interrupted (live capture).
#pragma once

#include "tools/ToolRunner.h"

#include <sys/types.h>

#include <chrono>
#include <map>
#include <string>
#include <vector>

namespace testsignal {

class ToolProcess {
public:
    // env entries are set (or, with an empty value, removed) for the program only.
    ToolProcess(const std::string& program, const std::vector<std::string>& args,
                const std::map<std::string, std::string>& env = {});
    // Kills the program if it still runs.
    ~ToolProcess();
    ToolProcess(const ToolProcess&) = delete;
    ToolProcess& operator=(const ToolProcess&) = delete;

    // What the program printed so far, at most the first megabyte of each: a program
    // gone wrong must not take the test's memory with it.
    std::string out() const { return readHead(m_dir.file("out")); }
    std::string err() const { return readHead(m_dir.file("err")); }
    // The last 64 KiB of the standard error: what a program said last, after whatever
    // a library may have flooded it with.
    std::string errTail() const;

    // Waits until the standard error holds text, or the program ended, or the time is
    // up; true when the text is there.
    bool waitForErr(const std::string& text, std::chrono::milliseconds limit);
    void signal(int number);
    // Waits for the program to end; kills it when it has not ended within limit and
    // returns what ToolResult::status would say (128 + 9 for a kill).
    int wait(std::chrono::milliseconds limit);

private:
    static std::string readHead(const std::string& path);
    bool running();

    TempDir m_dir;
    pid_t m_pid = -1;
    int m_status = -1;
};

// Runs program with args and env to its end, with standard input from /dev/null.
ToolResult runToolWithEnv(const std::string& program, const std::vector<std::string>& args,
                          const std::map<std::string, std::string>& env,
                          std::chrono::milliseconds limit = std::chrono::seconds(30));

} // namespace testsignal
