#include "Tessiva/CoreVersion.h"

extern "C" {

const char* GetCoreVersionA() { return "2017.07.14"; }

const wchar_t* GetCoreVersionW() { return L"2017.07.14"; }
}
