#pragma once

// Marks what the library exports. Everything else in libTessiva.so is built with
// hidden visibility, and the linker's version script keeps it local as well.
#define TESSIVA_EXPORT __attribute__((visibility("default")))
