// Any bytes as addrbook.ini: the book loads without a crash, saves, and the saved file
// loads to the same book (every stored field); saving that book again writes the same
// bytes.
#include "FuzzUtil.h"
#include "addrbook/AddrBook.h"
#include "notify/Notices.h"

#include <cstdlib>
#include <string>

using namespace velkor;

namespace {

void dumpNode(const TreeItem& node, int depth, std::string& out)
{
    out += std::string(static_cast<size_t>(depth), ' ');
    const velkor::AddrEntry& e = node.entry;
    // The file stores only the units' check marks; a fleet's and a system's are worked
    // out from their units at load, and a damaged file's unit without an Id still
    // counts there (as it always has), so those two may differ after a save.
    const bool unit = node.indent == 3;
    out += std::to_string(node.indent) + (!unit ? " ." : e.checked ? " x" : " -");
    for (const std::string* text : {&e.name, &e.ident, &e.comment, &e.lastSeen})
        out += " |" + *text;
    out += "\n";
    for (const auto& child : node.children)
        dumpNode(*child, depth + 1, out);
}

std::string dump(const AddrBook& book)
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
    // FUZZ_VERBOSE=1 shows the alerts when a failing input is looked at.
    static velkor::StderrNotices verbose("message box: ");
    static velkor::SilentNotices silent;
    velkor::Notices& notices = std::getenv("FUZZ_VERBOSE") ? static_cast<velkor::Notices&>(verbose) : silent;
    input.write(data, size);

    AddrBook first(notices);
    FUZZ_CHECK(first.LoadData(input.path()).ok());
    FUZZ_CHECK(first.SaveData(saved.path()).ok());

    AddrBook second(notices);
    FUZZ_CHECK(second.LoadData(saved.path()).ok());
    if (std::getenv("FUZZ_VERBOSE") && dump(second) != dump(first))
        std::fprintf(stderr, "first load:\n%s\nsecond load:\n%s\n", dump(first).c_str(), dump(second).c_str());
    FUZZ_CHECK(dump(second) == dump(first));

    FUZZ_CHECK(second.SaveData(resaved.path()).ok());
    FUZZ_CHECK(resaved.read() == saved.read());
    return 0;
}
