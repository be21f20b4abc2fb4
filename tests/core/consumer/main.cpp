// Calls every export of the installed core library once and checks the results.
// Argument: the install prefix, under which the loaded library must lie.
// Exit code 0 when everything worked; every failed check is printed.
#include <Tessiva/Tessiva.h>
#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

int g_failures = 0;

void check(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "FAILED: %s\n", what);
        ++g_failures;
    }
}

int g_reports = 0;

void countReport(std::wstring, bool success, KSB::CFileOperator::SE_FILE_ATTRIBUTE kind, void* user) {
    if (success && kind == KSB::CFileOperator::SE_FILE_ATTRIBUTE_FILE && user == &g_reports) ++g_reports;
}

void aes() {
    const unsigned char key[16] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};
    const unsigned char plain[20] = {0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88, 0x99,
                                     0xaa, 0xbb, 0xcc, 0xdd, 0xee, 0xff, 1,    2,    3,    4};
    const unsigned char expected[16] = {0x69, 0xc4, 0xe0, 0xd8, 0x6a, 0x7b, 0x04, 0x30,
                                        0xd8, 0xcd, 0xb7, 0x80, 0x70, 0xb4, 0xc5, 0x5a};
    KSB::CAesCrypt encryptor;
    check(encryptor.SetEncryptKey(key, KSB::CAesCrypt::SE_AES_128), "SetEncryptKey");
    KSB::CAesCrypt copy(encryptor);
    KSB::CAesCrypt assigned;
    assigned = copy;
    unsigned char cipher[20];
    assigned.Encrypt(plain, cipher, sizeof cipher);
    check(std::memcmp(cipher, expected, 16) == 0 && std::memcmp(cipher + 16, plain + 16, 4) == 0, "Encrypt");
    KSB::CAesCrypt decryptor;
    check(decryptor.SetDecryptKey(key, KSB::CAesCrypt::SE_AES_128), "SetDecryptKey");
    decryptor.Decrypt(cipher, cipher, sizeof cipher);
    check(std::memcmp(cipher, plain, sizeof plain) == 0, "Decrypt");
}

std::wstring widen(const std::string& text) { return std::wstring(text.begin(), text.end()); }

void files() {
    char pattern[] = "/tmp/tessiva-consumer-files-XXXXXX";
    const char* folder = mkdtemp(pattern);
    check(folder != nullptr, "mkdtemp");
    if (folder == nullptr) return;
    const std::wstring dir = widen(folder);
    const std::wstring path = dir + L"/notes.txt";
    {
        KSB::CFileOperator file;
        check(file.OpenFile(path, L"wb"), "OpenFile for writing");
        check(file.WriteLine("first"), "WriteLine");
        check(file.WriteByte("tail", 4), "WriteByte");
        KSB::CFileOperator closedCopy(file);
        KSB::CFileOperator assigned;
        assigned = closedCopy;
        file.CloseFile();
    }
    KSB::CFileOperator file;
    check(file.OpenFile(path, L"rb"), "OpenFile for reading");
    std::string line;
    check(file.ReadLine(line) && line == "first\n", "ReadLine");
    char tail[4];
    check(file.ReadByte(tail, 4) && std::memcmp(tail, "tail", 4) == 0, "ReadByte");
    file.CloseFile();
    FILE* stream = std::fopen((std::string(folder) + "/notes.txt").c_str(), "rb");
    check(KSB::CFileOperator::GetFileSize(stream) == 10, "GetFileSize(FILE*)");
    if (stream != nullptr) std::fclose(stream);
    check(KSB::CFileOperator::GetFileSize(path) == 10, "GetFileSize(path)");
    check(KSB::CFileOperator::FullPathGetName(path) == L"notes", "FullPathGetName");
    check(KSB::CFileOperator::RemoveFile(path), "RemoveFile");
    KSB::CFileOperator writer;
    check(writer.OpenFile(dir + L"/again.txt", L"w"), "OpenFile again");
    writer.CloseFile();
    check(KSB::CFileOperator::RemoveDir(dir + L"/", countReport, &g_reports) && g_reports == 1, "RemoveDir");
}

void strings() {
    KSB::CStringConvert convert;
    KSB::CStringConvert copy(convert);
    copy = convert;
    check(KSB::CStringConvert::AsciiToUnicode("abc") == L"abc", "AsciiToUnicode");
    check(KSB::CStringConvert::UnicodeToAscii(L"abc") == "abc", "UnicodeToAscii");
    check(KSB::CStringConvert::Utf8ToUnicode("\xc3\xa4") == L"\u00e4", "Utf8ToUnicode");
    check(KSB::CStringConvert::UnicodeToUtf8(L"\u00e4") == "\xc3\xa4", "UnicodeToUtf8");
    check(KSB::CStringConvert::AsciiToUtf8("abc") == "abc", "AsciiToUtf8");
    check(KSB::CStringConvert::Utf8ToAscii("abc") == "abc", "Utf8ToAscii");
    check(KSB::CStringConvert::AsciiToUrlEncode2("a b\\") == "a%20b/", "AsciiToUrlEncode2");
    check(KSB::CStringConvert::Utf8ToUrlEncode3("\xc3\xa4&") == "%C3%A4&", "Utf8ToUrlEncode3");
}

void versions(const char* prefix) {
    check(std::strcmp(GetCoreVersionA(), "2017.07.14") == 0, "GetCoreVersionA");
    check(std::wcscmp(GetCoreVersionW(), L"2017.07.14") == 0, "GetCoreVersionW");
    void* byName = dlsym(RTLD_DEFAULT, "GetCoreVersionW");
    check(byName == reinterpret_cast<void*>(&GetCoreVersionW), "GetCoreVersionW by name");
    Dl_info info{};
    check(dladdr(reinterpret_cast<void*>(&GetCoreVersionA), &info) != 0 && info.dli_fname != nullptr &&
              std::strncmp(info.dli_fname, prefix, std::strlen(prefix)) == 0,
          "the library is loaded from the install prefix");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: tessiva_consumer PREFIX\n");
        return 2;
    }
    aes();
    files();
    strings();
    versions(argv[1]);
    if (g_failures == 0) std::printf("every export of the installed library works\n");
    return g_failures == 0 ? 0 : 1;
}
