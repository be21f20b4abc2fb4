#include "startup/CrashDump.h"

#include <atomic>
#include <cwchar>

#include <unistd.h>

namespace {

// The first crashing thread writes the report; lock-free, so usable in a
// signal handler.
std::atomic_flag g_crashing = ATOMIC_FLAG_INIT;

wchar_t lowerAscii(wchar_t c) { return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c - L'A' + L'a') : c; }

}  // namespace

void SetCrashDumpHandler() {
    platform::installCrashHandler(&CrashDumpFilter);
    DisableSetUnhandledExceptionFilter();
}

void CrashDumpFilter(int signalNumber, siginfo_t* info, void* context) {
    if (g_crashing.test_and_set()) {
        for (;;) ::pause();
    }
    const platform::CrashSignal crash{signalNumber, info, context};
    WriteCrashDump(&crash, "crashcore.dmp");
    platform::endCrashedProcess(signalNumber);
}

void WriteCrashDump(const platform::CrashSignal* exceptionPointers, const char* fileName) {
    platform::writeCrashReport(fileName, exceptionPointers);
}

bool IsNtdllModule(const wchar_t* fullPath) {
    if (!fullPath) return false;
    // The file-name part: after a drive ("C:") and the last folder separator, up
    // to the last dot.
    const wchar_t* name = (fullPath[0] && fullPath[1] == L':') ? fullPath + 2 : fullPath;
    for (const wchar_t* p = name; *p; ++p)
        if (*p == L'\\' || *p == L'/') name = p + 1;
    const wchar_t* stop = name + std::wcslen(name);
    for (const wchar_t* p = name; *p; ++p)
        if (*p == L'.') stop = p;

    const wchar_t* expected = L"ntdll";
    for (const wchar_t* p = name; p != stop; ++p, ++expected)
        if (!*expected || lowerAscii(*p) != *expected) return false;
    return *expected == L'\0';
}

void DisableSetUnhandledExceptionFilter() { platform::lockCrashHandlers(); }
