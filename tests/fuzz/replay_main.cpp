// Runs a fuzz target over files and folders of inputs without libFuzzer: the seed
// corpus and every input that once crashed are replayed by the ordinary test build.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

void runFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
}

} // namespace

int main(int argc, char** argv)
{
    unsigned files = 0;
    for (int i = 1; i < argc; ++i) {
        const std::filesystem::path path(argv[i]);
        if (std::filesystem::is_directory(path)) {
            for (const auto& entry : std::filesystem::recursive_directory_iterator(path))
                if (entry.is_regular_file()) {
                    runFile(entry.path());
                    ++files;
                }
        } else if (std::filesystem::is_regular_file(path)) {
            runFile(path);
            ++files;
        }
    }
    std::printf("%u inputs ran\n", files);
    return files > 0 ? 0 : 1;
}
