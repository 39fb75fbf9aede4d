#pragma once
// Deleting a file (asked first): EEh with the full path, EEh back, and then the file's own
// directory listed again, where the name must be gone.
#include <cstdint>
#include <string>

#include "filesystem/explorer/ExplorerLine.h"

namespace zrk {

class ListingExchange;

class DeleteExchange : public ExplorerExchange {
  public:
    DeleteExchange(ExplorerLine& line, ListingExchange& listing)
        : ExplorerExchange(line, "delete the file"), m_Listing(listing) {}

    void begin(const std::string& fullPath);
    void beforeFailing(Failure& failure) override;

  private:
    void deleted();

    ListingExchange& m_Listing;
    std::string m_Directory;
    std::string m_Utf8Name;
};

}  // namespace zrk
