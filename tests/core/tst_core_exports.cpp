// What libTessiva.so exports: exactly the three classes of the namespace KSB and
// the two version functions (nm -D --defined-only), the version functions
// resolvable by name with dlsym, and the classes usable through a freshly loaded
// copy of the library.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <string>
#include <vector>

namespace {

const std::string kLibrary = ZN_APP_DIR "/libTessiva.so";

// Demangled names of the library's defined dynamic symbols.
std::vector<std::string> exportedSymbols() {
    const std::string command =
        std::string("'") + ZN_NM + "' -D --defined-only -C --format=just-symbols '" + kLibrary + "'";
    std::vector<std::string> names;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return names;
    char line[4096];
    while (std::fgets(line, sizeof line, pipe) != nullptr) {
        std::string name(line);
        while (!name.empty() && name.back() == '\n') name.pop_back();
        if (!name.empty()) names.push_back(name);
    }
    EXPECT_EQ(pclose(pipe), 0) << command;
    return names;
}

bool startsWith(const std::string& text, const std::string& prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

TEST(CoreExports, OnlyTheClassesAndTheVersionFunctionsAreExported) {
    const std::vector<std::string> symbols = exportedSymbols();
    ASSERT_FALSE(symbols.empty());
    const std::vector<std::string> classes = {"KSB::CAesCrypt", "KSB::CFileOperator", "KSB::CStringConvert"};
    std::set<std::string> classesSeen;
    std::set<std::string> functionsSeen;
    for (const std::string& symbol : symbols) {
        if (symbol == "GetCoreVersionA" || symbol == "GetCoreVersionW") {
            functionsSeen.insert(symbol);
            continue;
        }
        bool known = false;
        for (const std::string& name : classes) {
            for (const std::string& prefix :
                 {name + "::", "vtable for " + name, "typeinfo for " + name, "typeinfo name for " + name}) {
                if (startsWith(symbol, prefix) && (symbol.size() == prefix.size() || prefix.back() == ':')) {
                    known = true;
                    classesSeen.insert(name);
                }
            }
        }
        EXPECT_TRUE(known) << "unexpected export: " << symbol;
    }
    EXPECT_EQ(functionsSeen.size(), 2u);
    EXPECT_EQ(classesSeen.size(), 3u);
    // The members a user links against, one of each kind.
    const std::set<std::string> all(symbols.begin(), symbols.end());
    for (const char* member : {"KSB::CAesCrypt::SetDecryptKey(unsigned char const*, KSB::CAesCrypt::SE_AES_TYPE)",
                               "KSB::CAesCrypt::CAesCrypt(KSB::CAesCrypt const&)", "vtable for KSB::CFileOperator",
                               "KSB::CFileOperator::GetFileSize(_IO_FILE*)", "typeinfo for KSB::CStringConvert"}) {
        EXPECT_EQ(all.count(member), 1u) << member;
    }
}

TEST(CoreExports, VersionFunctionsResolveByName) {
    void* library = dlopen(kLibrary.c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr) << dlerror();
    using VersionA = const char* (*)();
    using VersionW = const wchar_t* (*)();
    const auto versionA = reinterpret_cast<VersionA>(dlsym(library, "GetCoreVersionA"));
    const auto versionW = reinterpret_cast<VersionW>(dlsym(library, "GetCoreVersionW"));
    ASSERT_NE(versionA, nullptr);
    ASSERT_NE(versionW, nullptr);
    EXPECT_STREQ(versionA(), "2017.07.14");
    EXPECT_STREQ(versionW(), L"2017.07.14");
    // Internal helpers stay hidden.
    EXPECT_EQ(dlsym(library, "zn_embedded_version_block"), nullptr);
    dlclose(library);
}

}  // namespace
