#pragma once
// What the repair pages read from the main window. Kept in one unit so that
// only it knows the main window's class.
#include <string>
#include <vector>

namespace repair {

// The main window's repair occupied-file list; empty while there is no main
// window (a page used on its own).
std::vector<std::wstring> MainWindowOccupiedFiles();

}  // namespace repair
