#pragma once
// Mounting and listing: the mount (D9h, DAh echoed), then a directory's listing, entry by
// entry, each acknowledged with its type; and the listing again after a delete, which must no
// longer hold the deleted name.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "filesystem/explorer/ExplorerLine.h"
#include "filesystem/explorer/ExplorerTree.h"

namespace zrk {

class ListingExchange : public ExplorerExchange {
  public:
    explicit ListingExchange(ExplorerLine& line) : ExplorerExchange(line, "list the folder") {}

    void setBounds(std::size_t entries, std::size_t bytes) {
        m_MaxEntries = entries;
        m_MaxBytes = bytes;
    }
    // A fresh mount: the tree is forgotten and the root listing follows the mount's echo.
    void reset();
    void mount();
    void list(const std::string& path);
    // After a delete: the file's directory listed again, looking for the name (UTF-8).
    void refreshAfterDelete(const std::string& directory, const std::string& deletedUtf8Name);
    void forgetDelete() { m_DeletedUtf8Name.clear(); }

    const std::string& currentDirectory() const { return m_CurrentDir; }
    bool nodeHasChildren(const std::string& path) const { return m_Tree.hasChildren(path); }
    const std::vector<ListedEntry>& entries() const { return m_Listed; }

  private:
    using Reply = Exchange::Reply;
    static constexpr const char* kMount = "mount";

    void startAnswered();
    void mounted();
    void begin();
    void sendListing(std::span<const std::uint8_t> path);
    // What waits for the length of the next entry, or for the phone's error in its place.
    Exchange entryLength();
    void lengthRead(std::uint8_t length);
    void entryComplete(Reply entry);
    void entryStatus(std::uint8_t status);
    void listed();
    bool tooLong();
    void listingError();
    void failedListingEnded();

    ExplorerTree m_Tree;
    std::string m_CurrentDir = "/";
    std::string m_CurrentNode = "/";
    bool m_CurrentHasChildren = false;
    bool m_FailureReported = false;
    std::optional<std::uint8_t> m_ErrorCode;  // the code after E6h, once it came
    std::vector<ListedEntry> m_Listed;
    std::size_t m_Entries = 0;
    std::size_t m_Bytes = 0;
    std::size_t m_MaxEntries = 0;
    std::size_t m_MaxBytes = 0;
    std::string m_DeletedUtf8Name;  // empty: the listing is no delete's refresh
};

}  // namespace zrk
