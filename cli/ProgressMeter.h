#pragma once
// The text of the progress bar on stderr: bar, percentage, amount, rate and time left. Pure
// formatting over a start sample, so that it can be checked without a terminal or a clock.
#include <cstdint>
#include <string>

#include "engine/DownloaderView.h"
#include "engine/ProgressText.h"

namespace zrk::cli {

class ProgressMeter {
  public:
    void begin(std::uint64_t total, ProgressUnit unit, double now);
    // The whole line, at most width characters (a narrow terminal drops the bar first).
    // The rate counts from the first position reported after begin, so that the set-up time
    // before the first block does not drag the estimate down.
    std::string line(std::uint64_t position, double now, int width);
    std::uint64_t total() const { return m_Total; }
    // A figure the position cannot tell ("3/12 files"), shown after the percentage; kept
    // across begin, empty for none.
    void setNote(std::string note) { m_Note = std::move(note); }

  private:
    std::uint64_t m_Total = 0;
    ProgressUnit m_Unit = ProgressUnit::Bytes;
    bool m_HaveStart = false;
    std::uint64_t m_StartPosition = 0;
    double m_StartTime = 0;
    std::string m_Note;
};

}  // namespace zrk::cli
