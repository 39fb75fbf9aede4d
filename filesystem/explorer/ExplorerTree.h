#pragma once
// The phone's directories as the explorer has seen them: for each listed directory, the
// subdirectories its first listing showed. The tree is filled once per node; later listings
// of the same node leave it as it is.
#include <map>
#include <set>
#include <string>

namespace zrk {

class ExplorerTree {
  public:
    void reset() {
        m_Children.clear();
        m_Children["/"];
    }
    bool hasChildren(const std::string& path) const {
        const auto it = m_Children.find(path);
        return it != m_Children.end() && !it->second.empty();
    }
    // False when the node already holds the name.
    bool add(const std::string& parent, const std::string& name) {
        return m_Children[parent].insert(name).second;
    }

  private:
    std::map<std::string, std::set<std::string>> m_Children;
};

}  // namespace zrk
