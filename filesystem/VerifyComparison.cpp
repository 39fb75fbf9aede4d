#include "filesystem/VerifyComparison.h"

#include <filesystem>

#include "engine/PhaseContext.h"
#include "engine/SafeText.h"
#include "engine/TextFormat.h"
#include "files/OutputFolder.h"
#include "files/PathText.h"
#include "filesystem/explorer/TreeWalk.h"

namespace zrk {

VerifyComparison::VerifyComparison(PhaseContext& context, TreeWalk& walk, OpenFile& image,
                                   const std::vector<std::string>& directories,
                                   const std::vector<VerifyPlan::File>& files,
                                   const std::shared_ptr<OutputFolder>& readBackFolder,
                                   const std::string& readBackPath)
    : m_Context(context),
      m_Walk(walk),
      m_Image(image),
      m_Directories(directories),
      m_Files(files),
      m_ReadBackFolder(readBackFolder),
      m_ReadBackPath(readBackPath) {}

void VerifyComparison::mount() {
    m_Context.log("Mounting QIX system... ");
    m_Step = Step::Mounting;
    m_Walk.mount();
}

void VerifyComparison::handle(const TreeWalkResult& result) {
    const bool ok = result.completed();
    switch (m_Step) {
        case Step::Mounting:
            if (!ok) {
                m_Context.log("Fail!\r\n");
                fail(FailureCause::PhoneReply,
                     "\r\n** The file system could not be mounted and listed; nothing was "
                     "compared.\r\n",
                     "the file system could not be mounted for the verify");
                return;
            }
            m_Context.log("OK!\r\n");
            m_Next = 0;
            nextDirectory();
            return;
        case Step::Listing:
            if (ok) {
                m_Context.log("OK!\r\n");
            } else {
                m_Context.log("missing!\r\n");
                m_Missing.push_back(m_Directories[m_Next]);
            }
            ++m_Next;
            nextDirectory();
            return;
        case Step::Status:
            status(result);
            return;
        case Step::Reading:
            if (!ok) {
                m_Context.log("Fail!\r\n");
                const std::string what =
                    formatText("\"%s\" could not be read back", m_Files[m_Next].path.c_str());
                fail(result.outcome.cause == FailureCause::File ? FailureCause::File
                                                                : FailureCause::PhoneReply,
                     "\r\n** " + what + "; the verify is stopped.\r\n", what);
                return;
            }
            compareReadBack();
            return;
        case Step::Idle:
        case Step::Closing:
            return;
    }
}

void VerifyComparison::status(const TreeWalkResult& result) {
    const VerifyPlan::File& file = m_Files[m_Next];
    if (!result.completed() || !result.status) {
        m_Context.log("missing!\r\n");
        const std::string line =
            formatText("Verify FAILED: \"%s\" is missing", printableName(file.path).c_str());
        fail(FailureCause::Verify, line + "\r\n", line);
        return;
    }
    const std::int32_t size = result.status->size;
    if (size < 0 || static_cast<std::uint32_t>(size) != file.size) {
        m_Context.log("Fail!\r\n");
        const std::string line =
            formatText("Verify FAILED: \"%s\" holds %lld bytes, expected %u",
                       printableName(file.path).c_str(), static_cast<long long>(size), file.size);
        fail(FailureCause::Verify, line + "\r\n", line);
        return;
    }
    if (file.size == 0) {
        // Nothing to read: the phone may answer the read-out of an empty file with nothing at
        // all, and its status already said everything.
        m_Context.log("OK!\r\n");
        ++m_Next;
        nextFile();
        return;
    }
    m_Step = Step::Reading;
    // Over the last file's read-back, which was compared and removed.
    m_Walk.read(file.path, m_ReadBackFolder, kReadBackName, OutputFile::Existing::Replace);
}
void VerifyComparison::nextDirectory() {
    if (m_Next >= m_Directories.size()) {
        m_Next = 0;
        nextFile();
        return;
    }
    m_Context.log(formatLine("Checking a directory \"%s\"... ",
                             printableName(m_Directories[m_Next]).c_str()));
    m_Step = Step::Listing;
    m_Walk.list(m_Directories[m_Next]);
}

void VerifyComparison::nextFile() {
    if (m_Next >= m_Files.size()) {
        if (m_Missing.empty()) {
            m_Verdict = VerifyVerdict{};
            close();
        } else {
            fail(FailureCause::Verify, {}, {});
        }
        return;
    }
    const VerifyPlan::File& file = m_Files[m_Next];
    m_Context.log(formatLine("Verifying a file \"%s\" (%u bytes)... ",
                             printableName(file.path).c_str(), file.size));
    m_Step = Step::Status;
    m_Walk.stat(file.path);
}

void VerifyComparison::compareReadBack() {
    using Kind = ReadBackComparison::Kind;
    const VerifyPlan::File& file = m_Files[m_Next];
    const ReadBackComparison result = zrk::compareReadBack(m_Image, m_ReadBackPath, file.size);
    if (result.kind != Kind::Same)
        m_Context.log("Fail!\r\n");
    switch (result.kind) {
        case Kind::Unreadable:
            fail(FailureCause::File,
                 "\r\n** The file read back could not be read; the verify is stopped.\r\n",
                 "the file read back could not be read");
            return;
        case Kind::SizeDiffers: {
            const std::string line =
                formatText("Verify FAILED: \"%s\" holds %llu bytes, expected %u",
                           printableName(file.path).c_str(),
                           static_cast<unsigned long long>(result.readSize), file.size);
            fail(FailureCause::Verify, line + "\r\n", line);
            return;
        }
        case Kind::ImageShort:
            fail(FailureCause::File,
                 "\r\n** The QIX image could not be read to its end; the verify is stopped.\r\n",
                 "the QIX image could not be read to its end");
            return;
        case Kind::Differs: {
            const std::string line = formatText(
                "Verify FAILED at offset %u of \"%s\": expected %02X, read %02X", result.offset,
                printableName(file.path).c_str(), result.expected, result.read);
            fail(FailureCause::Verify, line + "\r\n", line);
            return;
        }
        case Kind::Same:
            break;
    }
    std::error_code error;
    std::filesystem::remove(pathOfText(m_ReadBackPath), error);
    m_Verified += file.size;
    m_Context.view().setProgressPos(static_cast<std::uint32_t>(m_Verified));
    m_Context.log("OK!\r\n");
    ++m_Next;
    nextFile();
}

void VerifyComparison::readProgress(std::uint32_t position) {
    if (m_Step == Step::Reading)
        m_Context.view().setProgressPos(static_cast<std::uint32_t>(m_Verified + position));
}

void VerifyComparison::fail(FailureCause cause, const std::string& logText,
                            const std::string& detail) {
    // Every missing directory is named, before the file that ended the comparison; the first
    // fault found is the one the outcome carries.
    for (const auto& dir : m_Missing)
        m_Context.log(formatLine("Verify FAILED: directory \"%s\" is missing\r\n",
                                 printableName(dir).c_str()));
    m_Context.log(logText);
    if (m_Missing.empty())
        m_Verdict = VerifyVerdict{cause, detail};
    else
        m_Verdict = VerifyVerdict{FailureCause::Verify,
                                  formatText("Verify FAILED: directory \"%s\" is missing",
                                             printableName(m_Missing.front()).c_str())};
    close();
}

void VerifyComparison::close() {
    m_Step = Step::Closing;
    // The phone unmounts and the link comes back to the main engine; the verdict follows then.
    m_Walk.exit();
}

}  // namespace zrk
