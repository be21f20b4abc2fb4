#include "MainWindowLists.h"

#include "FixiTunes.h"

namespace repair {

std::vector<std::wstring> MainWindowOccupiedFiles() {
    const FixiTunes* window = FixiTunes::GetInstance();
    if (!window) return {};
    return window->m_vecOccupiedFile;
}

}  // namespace repair
