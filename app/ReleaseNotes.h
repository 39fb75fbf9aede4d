#pragma once
// The release history shown by the About window: three text blocks (3.2 and 3.1; 3.0 back to
// 1.9; 1.8 back to 1.0 beta) kept as resources and held for the whole run.
#include <QString>
#include <array>

namespace zrk {

class ReleaseNotes {
  public:
    // The three blocks, each with its lines ended by "\r\n"; the very last line has no end.
    static const std::array<QString, 3>& blocks();
    // The blocks one after the other, without separators.
    static QString text();
};

}  // namespace zrk
