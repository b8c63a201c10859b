#include "FuzzUtil.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace fuzzutil {

ScratchFile::ScratchFile(const char* name)
{
    // Saves sync the file to disk; in memory that costs nothing, so runs stay fast.
    const char* dir = std::getenv("TMPDIR");
    std::error_code ec;
    const std::string base = dir && *dir ? dir : std::filesystem::is_directory("/dev/shm", ec) ? "/dev/shm" : "/tmp";
    m_path = base + "/velkor-fuzz-" + std::to_string(::getpid()) + "-" + name;
}

ScratchFile::~ScratchFile()
{
    std::error_code ec;
    std::filesystem::remove_all(m_path, ec); // a file, or a folder of files
}

void ScratchFile::write(const uint8_t* data, size_t size) const
{
    std::ofstream out(m_path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    FUZZ_CHECK(out.good());
}

std::string ScratchFile::read() const
{
    std::ifstream in(m_path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

uint32_t Input::u32()
{
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i)
        v = v << 8 | byte();
    return v;
}

uint64_t Input::u64()
{
    return static_cast<uint64_t>(u32()) << 32 | u32();
}

std::string Input::text()
{
    std::string out;
    while (m_at < m_size && m_data[m_at] != 0)
        out += static_cast<char>(m_data[m_at++]);
    if (m_at < m_size)
        ++m_at;
    return out;
}

} // namespace fuzzutil
