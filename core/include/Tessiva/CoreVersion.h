#pragma once

#include "Tessiva/TessivaExport.h"

// The library's version text, "2017.07.14". Both are exported by name (C linkage)
// and return constant text that lives as long as the library is loaded.
extern "C" {
TESSIVA_EXPORT const char* GetCoreVersionA();
TESSIVA_EXPORT const wchar_t* GetCoreVersionW();
}
