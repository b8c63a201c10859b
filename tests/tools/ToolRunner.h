// Runs one of the project's programs as a user would and captures what it prints.
#pragma once

#include <string>
#include <vector>

namespace testsignal {

struct ToolResult {
    int status = -1; // exit status; 128 + signal number when killed
    std::string out;
    std::string err;
};

// Runs program with args; stdinPath (if not empty) becomes its standard input, and
// workDir (if not empty) its current directory.
ToolResult runTool(const std::string& program, const std::vector<std::string>& args,
                   const std::string& stdinPath = {}, const std::string& workDir = {});

// A fresh temporary directory, removed with the object.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return m_path; }
    std::string file(const std::string& name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

std::string readFile(const std::string& path);
void writeFile(const std::string& path, const std::string& bytes);

} // namespace testsignal
