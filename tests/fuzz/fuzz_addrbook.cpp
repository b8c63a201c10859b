// Any bytes as addrbook.ini: the book loads without a crash, saves, and the saved file
// loads to the same book (every stored field); saving that book again writes the same
// bytes.
#include "FuzzUtil.h"
#include "addrbook/CAddrBook.h"
#include "notify/MessageBox.h"

#include <cstdlib>
#include <string>

namespace {

void dumpNode(const CTreeItem& node, int depth, std::string& out)
{
    out += std::string(static_cast<size_t>(depth), ' ');
    FUZZ_CHECK(node.data != nullptr);
    const CItemInfo& d = *node.data;
    // The file stores only the units' check marks; a fleet's and a system's are worked
    // out from their units at load, and a damaged file's unit without an Id still
    // counts there (as it always has), so those two may differ after a save.
    const bool unit = d.GetImage() == CAddrBook::kImageUnit;
    out += std::to_string(d.GetImage()) + (!unit ? " ." : d.GetCheck() ? " x" : " -");
    for (int column = 0; column < CAddrBook::kColumnCount; ++column)
        out += " |" + d.GetCellText(column);
    out += "\n";
    for (const auto& child : node.children)
        dumpNode(*child, depth + 1, out);
}

std::string dump(const CAddrBook& book)
{
    std::string out;
    for (const auto& root : book.Roots())
        dumpNode(*root, 0, out);
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const fuzzutil::ScratchFile input("addrbook-in.ini");
    static const fuzzutil::ScratchFile saved("addrbook-saved.ini");
    static const fuzzutil::ScratchFile resaved("addrbook-resaved.ini");
    static const bool quiet = [] {
        // FUZZ_VERBOSE=1 shows the messages when a failing input is looked at.
        const bool verbose = std::getenv("FUZZ_VERBOSE") != nullptr;
        setMessageBoxFunction([verbose](const std::string& text) {
            if (verbose)
                std::fprintf(stderr, "message box: %s\n", text.c_str());
        });
        return true;
    }();
    (void)quiet;
    input.write(data, size);

    CAddrBook first;
    first.SetLogFunction([](const std::string&) {});
    FUZZ_CHECK(first.LoadData(input.path()) == 1);
    FUZZ_CHECK(first.SaveData(saved.path()) == 1);

    CAddrBook second;
    second.SetLogFunction([](const std::string&) {});
    FUZZ_CHECK(second.LoadData(saved.path()) == 1);
    if (std::getenv("FUZZ_VERBOSE") && dump(second) != dump(first))
        std::fprintf(stderr, "first load:\n%s\nsecond load:\n%s\n", dump(first).c_str(), dump(second).c_str());
    FUZZ_CHECK(dump(second) == dump(first));

    FUZZ_CHECK(second.SaveData(resaved.path()) == 1);
    FUZZ_CHECK(resaved.read() == saved.read());
    return 0;
}
