#include "MainWindowLists.h"

// The one include of the tree that runs up a layer (docs/ARCHITECTURE.md,
// "Layers"): the result page reads the main window's occupied-file list.
#include "app/FixiTunes.h"

namespace repair {

std::vector<std::wstring> MainWindowOccupiedFiles() {
    const FixiTunes* window = FixiTunes::GetInstance();
    if (!window) return {};
    return window->m_vecOccupiedFile;
}

}  // namespace repair
