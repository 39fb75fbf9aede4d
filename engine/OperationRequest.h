#pragma once
// What the user chose for the running operation, taken when its button was pressed, and the
// questions asked before the operation's first byte: answered by the request where it carries
// the answer (the command line's), otherwise by the view.
#include <cstdint>
#include <string>
#include <vector>

#include "engine/DownloaderView.h"

namespace zrk {

class SectorMap;

class OperationRequest {
  public:
    explicit OperationRequest(DownloaderView& view);

    const UserChoices& choices() const { return m_Choices; }
    void take(const UserChoices& choices) { m_Choices = choices; }
    // A question asked before the first byte changed the code page of this request.
    void useCodePage(const std::string& codePage) { m_Choices.codePage = codePage; }

    // The sector flags over map land in sectorChoice (cleared first); false when the choice was
    // cancelled.
    bool chooseSectors(const SectorMap& map);
    // One flag per sector of the map, set for those the running erase or dump goes over.
    const std::vector<std::int32_t>& sectorChoice() const { return m_SectorChoice; }
    std::string chooseSaveFile(const SaveFileRequest& request);
    bool confirmFormat(const std::string& question);

  private:
    DownloaderView& m_View;
    UserChoices m_Choices;
    std::vector<std::int32_t> m_SectorChoice;
};

}  // namespace zrk
