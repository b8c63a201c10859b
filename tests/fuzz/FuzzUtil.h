// Shared by the fuzz targets: scratch files and a check that stops the run with a
// message (libFuzzer reports an abort as a crash and keeps the input).
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

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

// Takes values one after another from the input; past its end every value is zero or
// empty, so that any input gives some values.
class Input {
public:
    Input(const uint8_t* data, size_t size)
        : m_data(data)
        , m_size(size)
    {
    }
    bool empty() const { return m_at >= m_size; }
    uint8_t byte() { return m_at < m_size ? m_data[m_at++] : 0; }
    uint32_t u32();
    uint64_t u64();
    // Text up to the next NUL byte (not included) or the end of the input.
    std::string text();

private:
    const uint8_t* m_data;
    size_t m_size;
    size_t m_at = 0;
};

} // namespace fuzzutil
