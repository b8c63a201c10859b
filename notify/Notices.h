// Where code without a window of its own tells the user something. Every class that
// has something to say takes a Notices& from whoever builds it: the dialog shows an
// alert as a message box (on the GUI thread) and a note as a log line; the tools print
// both to standard error or their log; tests collect them. There is no global one.
#pragma once

#include <string>
#include <vector>

namespace velkor {

class Notices {
public:
    virtual ~Notices() = default;
    // Something the user must see now (a message box in the dialog). Thread-safe.
    virtual void alert(const std::string& text) = 0;
    // Something worth a line in the log (8-bit Windows-1252, as log lines are). Thread-safe.
    virtual void note(const std::string& line) = 0;
};

// Prints alerts and notes to standard error, each after a prefix ("velkor-decode: ").
class StderrNotices final : public Notices {
public:
    explicit StderrNotices(std::string prefix = {})
        : m_prefix(std::move(prefix))
    {
    }
    void alert(const std::string& text) override;
    void note(const std::string& line) override;

private:
    std::string m_prefix;
};

// Says nothing: for callers that have nobody to tell (benchmarks, fuzz targets).
class SilentNotices final : public Notices {
public:
    void alert(const std::string&) override { }
    void note(const std::string&) override { }
};

// Notices to standard error unless a program set up others; for defaults only.
Notices& stderrNotices();

} // namespace velkor
