#include "http/plugin_path_table.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/temporary_registry.h"

namespace {

class NamedPlugIn : public HTTPPlugIn {
  public:
    NamedPlugIn(const char* name, std::vector<std::string>* starts = nullptr)
        : HTTPPlugIn(name, true), m_starts(starts) {}
    void Start() override {
        if (m_starts) m_starts->push_back(Name());
    }
    void HandleRequest(std::unique_ptr<HTTPPlugInInterface>) override {}

  private:
    std::vector<std::string>* m_starts;
};

HTTPPlugIn* Find(const PlugInPathTable& table, const char* path) {
    return FindPlugIn(table, ConstData(std::string_view(path)));
}

}  // namespace

TEST(PlugInPathTable, FindsThePlugInOfTheLongestRegisteredPrefix) {
    TemporaryRegistry registry;
    NamedPlugIn client("cgi-bin/vtdaruravidu/ClientRegister.exe");
    NamedPlugIn download("cgi-bin/DownloadRequest");
    NamedPlugIn ab("a/b");
    PlugInPathTable table;
    for (HTTPPlugIn* plugIn : std::initializer_list<HTTPPlugIn*>{&client, &download, &ab})
        RegisterPlugInNames(table, *plugIn);

    const std::pair<const char*, HTTPPlugIn*> cases[] = {
        {"/cgi-bin/vtdaruravidu/ClientRegister.exe", &client},
        {"cgi-bin/vtdaruravidu/clientregister.exe", &client},
        {"/cgi-bin/vtdaruravidu/ClientRegister.exe/extra/more", &client},
        {"/CGI-BIN/DownloadRequest", &download},
        {"/cgi-bin/Download%52equest", &download},
        {"/cgi%2Dbin%2fDownloadRequest", &download},
        {"//cgi-bin/DownloadRequest", nullptr},
        {"/a/b", &ab},
        {"/a/b/", &ab},
        {"/a/bc", nullptr},
        {"/a", nullptr},
        {"", nullptr},
        {"/", nullptr},
    };
    for (const auto& [path, expected] : cases) EXPECT_EQ(Find(table, path), expected) << path;

    NamedPlugIn root("");
    RegisterPlugInNames(table, root);
    EXPECT_EQ(Find(table, "/"), &root);
    EXPECT_EQ(Find(table, ""), &root);
    EXPECT_EQ(Find(table, "/nothing"), nullptr);  // keys are cut at a "/", never down to the empty key
}

TEST(PlugInPathTable, RegistersEveryNameAndStartsEachPlugInOnce) {
    TemporaryRegistry registry;
    std::vector<std::string> starts;
    NamedPlugIn first("Zeta", &starts);
    first.AddName("alpha");
    NamedPlugIn second("ZETA", &starts);
    PlugInPathTable table;
    RegisterPlugInNames(table, first);
    RegisterPlugInNames(table, second);

    EXPECT_EQ(Find(table, "/zeta"), &second);  // the later registration takes the key over
    EXPECT_EQ(Find(table, "/ALPHA"), &first);
    StartPlugIns(table);
    EXPECT_EQ(starts, (std::vector<std::string>{"Zeta", "ZETA"}));
}
