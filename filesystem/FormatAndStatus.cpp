#include "filesystem/FormatAndStatus.h"

#include <algorithm>
#include <utility>

#include "engine/PhaseContext.h"
#include "engine/TextFormat.h"
#include "filesystem/FileSystemExchange.h"

namespace zrk {

using namespace fs;

namespace {

std::int32_t littleEndian32(const std::uint8_t* p) {
    return static_cast<std::int32_t>(std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 |
                                     std::uint32_t{p[2]} << 16 | std::uint32_t{p[3]} << 24);
}

std::string twice(const char* label, std::int32_t value) {
    return formatText("%s : %d (0x%X)\r\n", label, value, static_cast<unsigned>(value));
}

}  // namespace

std::string FormatAndStatus::describeStatusRecord(std::span<const std::uint8_t, 44> r) {
    const std::uint8_t* p = r.data();
    const auto nameLength =
        static_cast<std::int16_t>(std::uint16_t{p[40]} | std::uint16_t{p[41]} << 8);
    std::string out;
    out += formatText("1. FileSystem Type( f_type ) : %X\r\n",
                      static_cast<unsigned>(littleEndian32(p)));
    out += twice("2. Optimal transfer block size( f_bsize )", littleEndian32(p + 4));
    out += twice("3. block size in bits( f_bsizebits )", littleEndian32(p + 8));
    out += twice("4. total data blocks in file system( f_blocks )", littleEndian32(p + 12));
    out += twice("5. free blocks in file system( f_bfree )", littleEndian32(p + 16));
    out += twice("6. free blocks avail to non-superuser( f_bavail )", littleEndian32(p + 20));
    out += twice("7. total file nodes in file system( f_files )", littleEndian32(p + 24));
    out += twice("8. free file nodes in file system( f_ffree )", littleEndian32(p + 28));
    out += formatText("9. file system id( f_fsid ) : %c%c%c%c\r\n", p[35], p[34], p[33], p[32]);
    out += twice("10. maximum file size( f_maxfilesize )", littleEndian32(p + 36));
    out += twice("11. maximum length of filenames( f_namelen )", std::int32_t{nameLength});
    return out;
}

std::string FormatAndStatus::describeErrorReport(const char* what,
                                                 std::span<const std::uint8_t, 5> report) {
    const int function = static_cast<std::int8_t>(report[0]);
    const unsigned error = std::uint32_t{report[1]} << 24 | std::uint32_t{report[2]} << 16 |
                           std::uint32_t{report[3]} << 8 | report[4];
    return formatText("\n %s Error!\n Funccode(0x%x)->Errorcode (0x%x)\r\n", what,
                      static_cast<unsigned>(function), error);
}

void FormatAndStatus::pressFormat() {
    m_Context.view().setProgressPos(0);
    if (!m_Context.confirmFormat("Sure to FORMAT?")) {
        m_Context.refuse(Operation::Format, FailureCause::Refused, "the format was not confirmed");
        return;
    }
    m_Context.beginOperation(OP_FORMAT);
    m_Context.view().setLogText(" \r\n");
    m_Context.log("** Formatting QIX system (NAND Flash)... ");
}

void FormatAndStatus::pressStatus() {
    m_StatusRecord.reset();
    m_Context.view().setProgressPos(0);
    m_Context.beginOperation(OP_STATUS);
    m_Context.view().setLogText(" \r\n");
    m_Context.log("** Checking QIX system (NAND Flash)... ");
}

void FormatAndStatus::onStartReply() {
    if (m_Context.operationKind() == OP_FORMAT) {
        m_Context.begin(std::move(fileSystemExchange(FileSystemState::WAIT_FORMAT)
                                      .send({CMD_FORMAT})
                                      .expectOneOf({FORMAT_OK, FORMAT_FAILED})
                                      .then([this](Exchange::Reply reply) { onFormat(reply[0]); })
                                      .otherwise(notAReply)));
        return;
    }
    m_Context.begin(std::move(fileSystemExchange(FileSystemState::WAIT_FS_STATUS)
                                  .send({CMD_FS_STATUS})
                                  .expectOneOf({FS_STATUS_OK, FS_STATUS_OK_TOO, FS_INIT_FAILED})
                                  .then([this](Exchange::Reply reply) { onStatus(reply[0]); })
                                  .otherwise(notAReply)));
}

void FormatAndStatus::notAReply(std::uint8_t) {
    // Anything but the codes is not an answer to the command: the phone may still give one.
}

void FormatAndStatus::onFormat(std::uint8_t code) {
    if (code == FORMAT_FAILED) {
        readErrorReport(FileSystemState::READ_FORMAT_ERROR, "Format");
        return;
    }
    m_Context.log("Success!\r\n");
    m_Context.setState(IDLE);
    m_Context.view().messageBox("NAND-Formatting Completed!", MessageIcon::Information);
    m_Context.reportCompleted(0);
    m_Context.finishOperation();
}

void FormatAndStatus::onStatus(std::uint8_t code) {
    if (code == FS_INIT_FAILED) {
        readErrorReport(FileSystemState::READ_INIT_ERROR, "Init,mount");
        return;
    }
    m_Context.begin(std::move(fileSystemExchange(FileSystemState::READ_FS_STATUS_RECORD)
                                  .expectBytes(kStatusRecordSize)
                                  .then([this](Exchange::Reply record) { onRecord(record); })));
}

void FormatAndStatus::readErrorReport(FileSystemState state, const char* what) {
    m_Context.begin(std::move(
        fileSystemExchange(state)
            .expectBytes(kErrorReportSize)
            .then([this, what](Exchange::Reply report) { onErrorReport(what, report); })));
}

void FormatAndStatus::onErrorReport(const char* what, Exchange::Reply report) {
    const std::string line = describeErrorReport(
        what, std::span<const std::uint8_t, kErrorReportSize>(report.data(), kErrorReportSize));
    m_Context.log(line);
    m_Context.setState(IDLE);
    m_Context.reportFailure(FailureCause::PhoneReply, line);
    m_Context.finishOperation();
}

void FormatAndStatus::onRecord(Exchange::Reply reply) {
    StatusRecord record{};
    std::copy_n(reply.begin(), kStatusRecordSize, record.begin());
    m_Context.log("OK!\r\n\r\n< Result >\r\n");
    m_Context.log(describeStatusRecord(record));
    m_StatusRecord = record;
    m_Context.setState(IDLE);
    m_Context.reportCompleted(kStatusRecordSize);
    m_Context.finishOperation();
}

}  // namespace zrk
