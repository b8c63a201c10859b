#include "tools/ToolProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace testsignal {

namespace {
std::vector<std::string> environmentWith(const std::map<std::string, std::string>& changes)
{
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        const std::string entry = *e;
        const std::string name = entry.substr(0, entry.find('='));
        if (!changes.count(name))
            env.push_back(entry);
    }
    for (const auto& [name, value] : changes)
        if (!value.empty())
            env.push_back(name + "=" + value);
    return env;
}
} // namespace

ToolProcess::ToolProcess(const std::string& program, const std::vector<std::string>& args,
                         const std::map<std::string, std::string>& env)
{
    const std::string outPath = m_dir.file("out");
    const std::string errPath = m_dir.file("err");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);

    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const auto& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    const auto entries = environmentWith(env);
    std::vector<char*> envp;
    for (const auto& e : entries)
        envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);

    const int rc = posix_spawn(&m_pid, program.c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0)
        throw std::runtime_error("cannot start " + program + ": " + std::strerror(rc));
}

std::string ToolProcess::readHead(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::string text(1 << 20, '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<size_t>(in.gcount()));
    return text;
}

std::string ToolProcess::errTail() const
{
    std::ifstream in(m_dir.file("err"), std::ios::binary | std::ios::ate);
    const std::streamoff size = in.tellg();
    const std::streamoff from = std::max<std::streamoff>(0, size - (64 << 10));
    in.seekg(from);
    std::string text(static_cast<size_t>(size - from), '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    return text;
}

ToolProcess::~ToolProcess()
{
    if (running()) {
        kill(m_pid, SIGKILL);
        waitpid(m_pid, nullptr, 0);
    }
}

bool ToolProcess::running()
{
    if (m_pid <= 0 || m_status >= 0)
        return false;
    int status = 0;
    if (waitpid(m_pid, &status, WNOHANG) == m_pid) {
        m_status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        return false;
    }
    return true;
}

bool ToolProcess::waitForErr(const std::string& text, std::chrono::milliseconds limit)
{
    const auto end = std::chrono::steady_clock::now() + limit;
    for (;;) {
        if (err().find(text) != std::string::npos)
            return true;
        if (!running() || std::chrono::steady_clock::now() > end)
            return err().find(text) != std::string::npos;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

void ToolProcess::signal(int number)
{
    if (running())
        kill(m_pid, number);
}

int ToolProcess::wait(std::chrono::milliseconds limit)
{
    const auto end = std::chrono::steady_clock::now() + limit;
    while (running()) {
        if (std::chrono::steady_clock::now() > end) {
            kill(m_pid, SIGKILL);
            int status = 0;
            waitpid(m_pid, &status, 0);
            m_status = 128 + SIGKILL;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return m_status;
}

ToolResult runToolWithEnv(const std::string& program, const std::vector<std::string>& args,
                          const std::map<std::string, std::string>& env, std::chrono::milliseconds limit)
{
    ToolProcess process(program, args, env);
    ToolResult result;
    result.status = process.wait(limit);
    result.out = process.out();
    result.err = process.err();
    return result;
}

} // namespace testsignal
