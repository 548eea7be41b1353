// Feeds arbitrary bytes to the own XML tokenizer and tree builder and checks what must hold for any
// input: the tree does not depend on where the input is cut, a copy equals its original, and a
// parser refilled after an earlier document builds the same tree as a fresh one.
//
// Input: bytes 0-1 give the split point, the rest is the document.

#include <cstdint>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "formats/xml_tree_parser.h"

namespace {

// The whole tree as text, walked without recursion.
std::string Describe(XMLElementPL* root) {
    if (root == nullptr) return "none";
    std::string text;
    std::vector<XMLElementPL*> pending{root};
    while (!pending.empty()) {
        XMLElementPL* element = pending.back();
        pending.pop_back();
        text += "<" + element->Name();
        for (const auto& [name, value] : element->Attributes()) text += " " + name + "=" + value;
        text += ">" + element->Text() + "|" + std::to_string(element->Children().size()) + "\n";
        for (auto child = element->Children().rbegin(); child != element->Children().rend(); ++child)
            pending.push_back(&*child);
    }
    return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    const char* document = reinterpret_cast<const char*>(data + 2);
    std::size_t length = size - 2;
    std::size_t split = (data[0] | (data[1] << 8)) % (length + 1);

    XMLTreeParserPL whole;
    whole.Receive(document, length);
    std::string expected = Describe(whole.Root());

    XMLTreeParserPL cut;
    cut.Receive(document, split);
    cut.Receive(document + split, length - split);
    if (Describe(cut.Root()) != expected) std::abort();

    if (whole.Root() != nullptr) {
        XMLElementPL copy = *whole.Root();
        if (Describe(&copy) != expected) std::abort();

        const std::string earlier = "<x a='1'>t<y>1<z></z></y><y>2</y>u</x>";
        XMLTreeParserPL refilled;
        refilled.Receive(earlier.data(), earlier.size());
        refilled.Receive(document, length);
        if (Describe(refilled.Root()) != expected) std::abort();
    }
    return 0;
}
