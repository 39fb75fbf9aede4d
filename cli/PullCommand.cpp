#include "cli/PullCommand.h"

#include <filesystem>
#include <system_error>

#include "cli/ExitCodes.h"
#include "cli/OutcomeExit.h"
#include "cli/PhoneSession.h"
#include "cli/ProgressMeter.h"
#include "cli/TerminalOutput.h"
#include "files/FileStatus.h"
#include "files/PathText.h"
#include "filesystem/CodePage.h"
#include "filesystem/QixConfig.h"
#include "filesystem/QixWriter.h"
#include "filesystem/explorer/FolderPull.h"

namespace zrk::cli {

namespace {

namespace fs = std::filesystem;

std::string withoutTrailingSlashes(std::string path) {
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

std::optional<CodePage> openCodePage(const std::string& name) {
    return CodePage::open(name.empty() ? localeCodePageName() : name, nullptr);
}

// The folder, or the nearest folder above it that exists, takes new entries.
bool writableFolder(const std::string& folder, std::error_code* why) {
    fs::path at = fs::absolute(pathOfText(folder));
    std::error_code error;
    while (!fs::exists(at, error) && at.has_parent_path() && at != at.parent_path())
        at = at.parent_path();
    return mayCreateIn(textOfPath(at), why);
}

}  // namespace

std::string backupImagePath(const std::string& folder) {
    return withoutTrailingSlashes(folder) + ".qix";
}

int checkCopyTarget(Command command, const CopyRequest& request, const std::string& codePage,
                    TerminalOutput& output) {
    std::error_code error;
    const fs::path folder = pathOfText(request.folder);
    const fs::file_status status = fs::status(folder, error);
    if (fs::exists(status) && !fs::is_directory(status)) {
        output.diagnostic(request.folder + ": exists and is not a folder");
        return EXIT_USAGE;
    }
    if (command == Command::FsBackup) {
        // A backup's image is made from the whole folder: anything already in it would be put
        // on the phone with the rest.
        if (fs::exists(status) && !fs::is_empty(folder, error)) {
            output.diagnostic(request.folder +
                              ": not empty; a backup goes into a new or empty folder");
            return EXIT_USAGE;
        }
        const std::string image = backupImagePath(request.folder);
        for (const std::string& path : {image, configPathFor(image)}) {
            if (fs::exists(fs::symlink_status(pathOfText(path), error))) {
                output.diagnostic(path + ": exists already; move it away or choose another folder");
                return EXIT_USAGE;
            }
        }
        const auto names = openCodePage(codePage);
        const std::string version = request.version
                                        ? *request.version
                                        : (names ? defaultQixVersion(request.folder, *names) : "");
        if (names) {
            if (std::string problem = qixTextProblem(version, request.release, *names);
                !problem.empty()) {
                output.diagnostic(problem);
                return EXIT_USAGE;
            }
        }
    }
    if (std::error_code why; !writableFolder(request.folder, &why)) {
        output.diagnostic("cannot write " + request.folder + ": " + why.message());
        return EXIT_PORT_OR_FILE;
    }
    return EXIT_OK;
}

void startFolderCopy(FolderPull& copy, const PhoneJob& job, TerminalOutput& output) {
    copy.onProgress = [&output](const FolderCopyProgress& progress) {
        output.progressNote(std::to_string(progress.filesDone) + "/" +
                            std::to_string(progress.filesTotal) + " files");
    };
    copy.start(job.command == Command::FsBackup ? std::string("/") : job.fsPath, job.copy.folder);
}

int finishFolderCopy(const PhoneJob& job, const FolderCopySummary& summary,
                     const OperationOutcome& outcome, TerminalOutput& output) {
    output.progressNote({});
    if (outcome.cause == FailureCause::NotOnPhone)
        return exitFor(outcome, output);
    if (summary.stopped || outcome.kind == OutcomeKind::LinkLost ||
        outcome.kind == OutcomeKind::Stopped) {
        output.diagnostic("the copy into " + job.copy.folder + " is incomplete");
        return exitFor(outcome, output);
    }
    output.startNewLine();
    for (const auto& failure : summary.failures)
        output.diagnostic("could not copy " + failure.phonePath + ": " + failure.reason);
    output.line("Copied " + std::to_string(summary.files) + " files (" +
                std::to_string(summary.bytes) + " bytes) and " +
                std::to_string(summary.directories) + " folders to " + job.copy.folder + " in " +
                formatDuration(static_cast<double>(summary.elapsedSeconds)));
    int result = EXIT_OK;
    if (!summary.failures.empty())
        result = outcome.cause == FailureCause::File ? EXIT_PORT_OR_FILE : EXIT_PHONE_FAILED;
    if (job.command != Command::FsBackup)
        return result;

    const auto codePage = openCodePage(job.choices.codePage);
    if (!codePage) {
        output.diagnostic("cannot use the code page " + job.choices.codePage);
        return EXIT_USAGE;
    }
    QixWriteRequest request;
    request.folder = job.copy.folder;
    request.imagePath = backupImagePath(job.copy.folder);
    request.version =
        job.copy.version ? *job.copy.version : defaultQixVersion(job.copy.folder, *codePage);
    request.release = job.copy.release;
    const QixWriteResult image = writeQixImage(request, *codePage);
    if (!image.ok()) {
        output.diagnostic("the files are in " + job.copy.folder +
                          ", but no image could be made of them: " + image.error);
        return result == EXIT_OK ? EXIT_PORT_OR_FILE : result;
    }
    output.line(request.imagePath + " and " + configPathFor(request.imagePath) + ": " +
                std::to_string(image.directories) + " folders, " + std::to_string(image.files) +
                " files, " + std::to_string(image.bytes) + " bytes");
    if (!summary.failures.empty())
        output.diagnostic("the backup is incomplete: " + std::to_string(summary.failures.size()) +
                          " files or folders could not be copied");
    return result;
}

}  // namespace zrk::cli
