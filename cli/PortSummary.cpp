#include "cli/PortSummary.h"

#include <algorithm>
#include <chrono>

#include "cli/ExitRanking.h"
#include "engine/ProgressText.h"

namespace zrk::cli {

namespace {

std::string column(std::string text, std::size_t width) {
    text.resize(std::max(width, text.size() + 1), ' ');
    return text;
}

// The result column: why a port failed, or how its phones went.
std::string resultOf(const PortTask& task, bool loop) {
    const report::PortRecord& record = task.recorder->record();
    const auto served = record.phones.size();
    if (!record.note.empty() && (served == 0 || task.worst != EXIT_OK))
        return phoneResultFor(task.worst) + ": " + record.note;
    if (served == 0)
        return loop ? "no phone came" : phoneResultFor(task.worst);
    if (task.worst == EXIT_OK)
        return "passed";
    if (loop)
        return "last failure: " + task.lastReason;
    return record.phones.back().result +
           (task.lastReason.empty() ? std::string() : ": " + task.lastReason);
}

}  // namespace

void printPortSummary(PortScreen& screen, const std::vector<std::unique_ptr<PortTask>>& tasks,
                      bool loop) {
    std::size_t nameWidth = 4;
    for (const auto& task : tasks)
        nameWidth = std::max(nameWidth, task->name.size());
    std::string head = column("port", nameWidth + 2) + column("flash", 14);
    if (loop)
        head += column("phones", 8) + column("passed", 8) + column("failed", 8);
    head += column("bytes", 12) + column("time", 9) + "result";
    screen.plainLine("");
    screen.plainLine(head);
    int phones = 0, passed = 0;
    for (const auto& task : tasks) {
        const report::PortRecord& record = task->recorder->record();
        std::string flash;
        std::uint64_t bytes = 0;
        double seconds = 0;
        for (const auto& phone : record.phones) {
            if (!phone.flashName.empty())
                flash = phone.flashName;
            for (const auto& op : phone.operations)
                bytes += op.bytes;
            seconds += std::chrono::duration<double>(phone.ended - phone.started).count();
        }
        const int served = static_cast<int>(record.phones.size());
        phones += served;
        passed += task->recorder->passed();
        std::string row =
            column(task->name, nameWidth + 2) + column(flash.empty() ? "-" : flash, 14);
        if (loop)
            row += column(std::to_string(served), 8) +
                   column(std::to_string(task->recorder->passed()), 8) +
                   column(std::to_string(task->recorder->failed()), 8);
        row += column(std::to_string(bytes), 12) + column(formatDuration(seconds), 9) +
               resultOf(*task, loop);
        screen.plainLine(row);
    }
    screen.plainLine(std::to_string(phones) + (phones == 1 ? " phone: " : " phones: ") +
                     std::to_string(passed) + " passed, " + std::to_string(phones - passed) +
                     " failed");
}

}  // namespace zrk::cli
