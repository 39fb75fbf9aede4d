#pragma once
// A directory of the phone as the explorer's exchanges name it: absolute, no trailing slash
// (except the root itself).
#include <string>

namespace zrk {

inline std::string phoneDirectory(std::string path) {
    if (path.empty() || path.front() != '/')
        path.insert(path.begin(), '/');
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

}  // namespace zrk
