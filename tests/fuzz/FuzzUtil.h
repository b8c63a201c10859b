// Shared by the fuzz targets: scratch files and a check that stops the run with a
// message (libFuzzer reports an abort as a crash and keeps the input).
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <unistd.h>

#define FUZZ_CHECK(cond)                                                                                               \
    do {                                                                                                               \
        if (!(cond)) {                                                                                                 \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond);                              \
            std::abort();                                                                                              \
        }                                                                                                              \
    } while (0)

namespace fuzzutil {

// A path in the temporary directory that belongs to this process; the file is removed
// when the process ends normally.
class ScratchFile {
public:
    explicit ScratchFile(const char* name);
    ~ScratchFile();
    ScratchFile(const ScratchFile&) = delete;
    ScratchFile& operator=(const ScratchFile&) = delete;

    const std::string& path() const { return m_path; }
    void write(const uint8_t* data, size_t size) const;
    std::string read() const;

private:
    std::string m_path;
};

} // namespace fuzzutil
