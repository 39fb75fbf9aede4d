#include "engine/OperationRequest.h"

#include <algorithm>

#include "engine/SectorMap.h"

namespace zrk {

OperationRequest::OperationRequest(DownloaderView& view)
    : m_View(view), m_SectorChoice(SectorMap::kSectorCount, 0) {}

bool OperationRequest::chooseSectors(const SectorMap& map) {
    std::fill(m_SectorChoice.begin(), m_SectorChoice.end(), 0);
    if (!m_Choices.sectors)
        return m_View.selectSectors(map, m_SectorChoice);
    const std::size_t n = std::min(m_SectorChoice.size(), m_Choices.sectors->size());
    std::copy_n(m_Choices.sectors->begin(), n, m_SectorChoice.begin());
    return true;
}

std::string OperationRequest::chooseSaveFile(const SaveFileRequest& request) {
    return m_Choices.saveFile ? *m_Choices.saveFile : m_View.chooseSaveFile(request);
}

bool OperationRequest::confirmFormat(const std::string& question) {
    return m_Choices.formatConfirmed ? *m_Choices.formatConfirmed : m_View.askYesNo(question);
}

}  // namespace zrk
