#include "http/plugin_path_table.h"

#include <set>

#include "base/character_classes.h"
#include "formats/url_codec.h"

namespace {

std::string LowerCased(std::string text) {
    const Ascii::CaseTable& lower = Ascii::LowerCaseTable();
    for (char& c : text) c = static_cast<char>(lower[static_cast<Byte>(c)]);
    return text;
}

}  // namespace

void RegisterPlugInNames(PlugInPathTable& table, HTTPPlugIn& plugIn) {
    for (const std::string& name : plugIn.Names()) table[LowerCased(name)] = &plugIn;
}

void StartPlugIns(PlugInPathTable& table) {
    std::set<HTTPPlugIn*> started;
    for (auto& [key, plugIn] : table)
        if (started.insert(plugIn).second) plugIn->Start();
}

HTTPPlugIn* FindPlugIn(const PlugInPathTable& table, ConstData path) {
    if (!path.IsEmpty() && path.begin[0] == '/') ++path.begin;
    std::string key = LowerCased(URLDecodeText(path));
    for (;;) {
        const auto entry = table.find(key);
        if (entry != table.end()) return entry->second;
        const std::size_t slash = key.rfind('/');
        if (slash == std::string::npos) return nullptr;
        key.resize(slash);
    }
}
