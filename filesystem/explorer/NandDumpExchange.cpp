#include "filesystem/explorer/NandDumpExchange.h"

#include "engine/Checksums.h"
#include "engine/ElapsedTime.h"
#include "engine/TextFormat.h"
#include "filesystem/explorer/ReadOutExchange.h"

namespace zrk {

using namespace explorer;
using State = ExplorerState;

namespace {

// The log and the progress bar follow the NAND dump every this many pages (1 MB), so a front
// end keeps up at any line speed.
constexpr std::uint32_t kDumpReportPages = 512;

}  // namespace

void NandDumpExchange::begin() {
    m_Line.beginExchange();
    ExplorerView* view = m_Line.shown();
    const std::string target =
        view ? view->chooseSaveFile({".hex", "Save File (*.hex)|*.hex|All Files (*.*)|*.*||"})
             : std::string();
    if (target.empty()) {
        m_Line.message("No file selected", MessageIcon::Warning);
        m_Line.fail({name(), static_cast<std::int32_t>(m_Line.state), std::nullopt, std::nullopt,
                     FailureCause::Refused, "no file chosen"});
        return;
    }
    std::string whyNot;
    if (!m_File.create(target, OutputFile::Existing::Replace, &whyNot)) {
        m_Line.log("** " + whyNot + "\r\n");
        m_Line.message("File Open Error!", MessageIcon::Error);
        m_Line.fail({name(), static_cast<std::int32_t>(m_Line.state), std::nullopt, std::nullopt,
                     FailureCause::File, whyNot});
        return;
    }
    m_Target = target;
    m_Start = m_Line.clock.nowSeconds();
    // Off before the request: a second click before the phone answers would start the dump
    // again over the same file.
    m_Line.setControls(false);
    ask(std::move(exchange(State::WAIT_DUMP_START)
                      .send({CMD_NAND_DUMP})
                      .expect(DUMP_OK)
                      .then([this] { started(); })
                      .failing([](std::uint8_t got) {
                          return formatText(" DUMP ERROR Fail!(0x%X)\r\n", got);
                      })
                      .failureDetail([](std::uint8_t got) {
                          return formatText("NAND dump answered with 0x%02X", got);
                      })));
}

std::string NandDumpExchange::abandonFile(bool remove) {
    return abandonOutput(m_Line, m_File, !remove, "pages");
}

void NandDumpExchange::beforeFailing(Failure& failure) {
    (void)failure;
    // Refused at the start, nothing came worth keeping; at the end, every page did.
    if (m_Line.state == State::WAIT_DUMP_END) {
        abandonFile(false);
        return;
    }
    abandonFile(true);
    m_Line.setControls(true);
}

void NandDumpExchange::started() {
    m_Line.setControls(false);
    m_Line.setLogText("** Start Dump!\n  Wait!!!!!!! Long time \n");
    m_Line.state = State::WAIT_DUMP_PAGE;
    m_Line.done = 0;
    m_Line.progressRange(m_Line.nandPages * static_cast<std::uint32_t>(kNandPageSize));
    // The first page follows without a request, perhaps in this very drain.
    m_Line.expectFrame(kNandPageSize + 1);
}

void NandDumpExchange::onFrame(std::span<const std::uint8_t> frame) {
    const std::size_t n = frame.size() - 1;
    const std::uint8_t sum = sum8(frame.first(n));
    if (sum != frame[n]) {
        m_Line.state = State::EXPLORER_IDLE;
        m_Line.send({PAGE_REJECTED});
        m_Line.log("Dump Checksum mismatched!\r\n");
        abandonFile(false);
        m_Line.message("Dump Checksum Mismatched!", MessageIcon::Error);
        m_Line.fail({name(), static_cast<std::int32_t>(State::WAIT_DUMP_PAGE), sum, frame[n],
                     FailureCause::PhoneReply, "page checksum mismatched"});
        return;
    }
    m_Line.done += static_cast<std::uint32_t>(n);
    const std::uint32_t total = m_Line.nandPages * static_cast<std::uint32_t>(kNandPageSize);
    const std::uint32_t pages = m_Line.done / static_cast<std::uint32_t>(kNandPageSize);
    if (pages % kDumpReportPages == 0 || m_Line.done == total) {
        m_Line.setLogText(formatText("** Dump!( %d Byte)\n ", static_cast<int>(m_Line.done)));
        m_Line.progress(m_Line.done);
    }
    if (!m_File.write(frame.data(), n)) {
        const std::string why = "cannot write " + m_Target + ": " + m_File.writeError();
        m_Line.state = State::EXPLORER_IDLE;
        m_Line.send({PAGE_REJECTED});
        m_Line.log("** " + why + " **\r\n");
        abandonFile(false);
        m_Line.fail({name(), static_cast<std::int32_t>(State::WAIT_DUMP_PAGE), std::nullopt,
                     std::nullopt, FailureCause::File, why});
        return;
    }
    if (m_Line.done >= total) {
        ask(std::move(exchange(State::WAIT_DUMP_END)
                          .expect(DUMP_END)
                          .then([this] { ended(); })
                          .failing("** NAND FULL DUMP ERROR! **\r\n")
                          .failureDetail([](std::uint8_t got) {
                              return formatText("0x%02X instead of the dump's end", got);
                          })));
        m_Line.expectFrame(0);
        return;
    }
    m_Line.expectFrame(kNandPageSize + 1);
    m_Line.send({PAGE_ACCEPTED});
}

void NandDumpExchange::ended() {
    m_Line.state = State::EXPLORER_IDLE;
    std::string whyNot;
    if (!m_File.commit(&whyNot)) {
        m_Line.log("** " + whyNot + " **\r\n");
        abandonFile(false);
        m_Line.setControls(true);
        m_Line.fail({name(), static_cast<std::int32_t>(State::WAIT_DUMP_END), std::nullopt,
                     std::nullopt, FailureCause::File, whyNot});
        return;
    }
    m_Line.log("** NAND FULL DUMP Completed! **\r\n");
    m_Line.log(formatElapsed("\r\n** Dump Time %M:%S **\r\n", m_Line.clock.nowSeconds() - m_Start));
    m_Line.log(formatLine("** (Total %d bytes) **\r\n", static_cast<int>(m_Line.done)));
    m_Line.setControls(true);
    m_Line.end(OutcomeKind::Completed);
}

}  // namespace zrk
