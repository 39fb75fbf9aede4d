#pragma once
// The NAND full dump: C0h, C1h back, then every page (2 KB and its sum8) unasked after the
// acknowledgement of the one before, and C3h at the end.
#include <cstdint>
#include <span>
#include <string>

#include "files/OutputFile.h"
#include "filesystem/explorer/ExplorerLine.h"

namespace zrk {

class NandDumpExchange : public ExplorerExchange {
  public:
    explicit NandDumpExchange(ExplorerLine& line) : ExplorerExchange(line, "dump the NAND") {}

    void begin();
    void beforeFailing(Failure& failure) override;
    void onFrame(std::span<const std::uint8_t> frame) override;

    bool fileOpen() const { return m_File.isOpen(); }
    std::string abandonFile(bool remove);

  private:
    void started();
    void ended();

    OutputFile m_File;
    std::string m_Target;
    std::int64_t m_Start = 0;
};

}  // namespace zrk
