#include "report/ReportJson.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "engine/SafeText.h"
#include "files/CalendarTime.h"
#include "files/OutputFile.h"

namespace zrk::report {

namespace {

using nlohmann::json;

double secondsBetween(TimePoint from, TimePoint to) {
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(to - from).count();
    return static_cast<double>(ms < 0 ? 0 : ms) / 1000.0;
}

std::string hex32(std::uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08x", value);
    return text;
}

// JSON holds UTF-8 only, while a name the user typed or the phone sent may be any bytes: such
// a text is written as the command line shows it rather than the report being lost.
void makeUtf8(json& j) {
    if (j.is_string()) {
        auto& text = j.get_ref<std::string&>();
        if (!isValidUtf8(text))
            text = printableName(text);
    } else if (j.is_structured()) {
        for (auto& element : j)
            makeUtf8(element);
    }
}

json imageJson(const ImageRecord& image) {
    json j = {{"role", image.role}, {"path", image.path}};
    j["size"] = image.size ? json(*image.size) : json(nullptr);
    j["crc32"] = image.crc32 ? json(hex32(*image.crc32)) : json(nullptr);
    return j;
}

json operationJson(const OperationRecord& op) {
    json images = json::array();
    for (const auto& image : op.images)
        images.push_back(imageJson(image));
    return {
        {"operation", operationKey(op.operation)},
        {"outcome", outcomeKey(op.outcome)},
        {"cause", causeKey(op.cause)},
        {"detail", op.detail},
        {"started", isoTime(op.started)},
        {"ended", isoTime(op.ended)},
        {"elapsedSeconds", secondsBetween(op.started, op.ended)},
        {"bytes", op.bytes},
        {"images", images},
        {"startAddress", op.startAddress ? json(hex32(*op.startAddress)) : json(nullptr)},
        {"sectors", op.sectors},
        {"verify", verifyKey(op.verify)},
    };
}

json phoneJson(const PhoneRecord& phone) {
    json operations = json::array();
    for (const auto& op : phone.operations)
        operations.push_back(operationJson(op));
    json flash = nullptr;
    if (phone.flashId || !phone.flashName.empty()) {
        std::string id;
        if (phone.flashId) {
            for (const std::uint8_t b : *phone.flashId) {
                char two[4];
                std::snprintf(two, sizeof two, "%02X", b);
                id += two;
            }
        }
        flash = {{"name", phone.flashName}, {"id", phone.flashId ? json(id) : json(nullptr)}};
    }
    return {
        {"number", phone.number},
        {"flash", flash},
        {"started", isoTime(phone.started)},
        {"ended", isoTime(phone.ended)},
        {"elapsedSeconds", secondsBetween(phone.started, phone.ended)},
        {"result", phone.result},
        {"passed", phone.passed},
        {"exitCode", phone.exitCode ? json(*phone.exitCode) : json(nullptr)},
        {"reason", phone.reason},
        {"operations", operations},
    };
}

}  // namespace

const char* operationKey(Operation operation) {
    switch (operation) {
        case Operation::BringUp:
            return "bring-up";
        case Operation::Firmware:
            return "firmware-download";
        case Operation::FileSystem:
            return "file-system-download";
        case Operation::FirmwareAndFileSystem:
            return "firmware-and-file-system-download";
        case Operation::Erase:
            return "erase";
        case Operation::Dump:
            return "dump";
        case Operation::Format:
            return "format";
        case Operation::Status:
            return "status";
        case Operation::Explorer:
            return "file-system-exchange";
        case Operation::FirmwareVerify:
            return "firmware-verify";
        case Operation::FileSystemVerify:
            return "file-system-verify";
    }
    return "unknown";
}

const char* outcomeKey(OutcomeKind kind) {
    switch (kind) {
        case OutcomeKind::Completed:
            return "completed";
        case OutcomeKind::Failed:
            return "failed";
        case OutcomeKind::Abandoned:
            return "abandoned";
        case OutcomeKind::Stopped:
            return "stopped";
        case OutcomeKind::LinkLost:
            return "link-lost";
    }
    return "unknown";
}

const char* causeKey(FailureCause cause) {
    switch (cause) {
        case FailureCause::None:
            return "none";
        case FailureCause::PhoneReply:
            return "phone-reply";
        case FailureCause::File:
            return "file";
        case FailureCause::Port:
            return "port";
        case FailureCause::Refused:
            return "refused";
        case FailureCause::Verify:
            return "verify";
        case FailureCause::NotOnPhone:
            return "not-on-phone";
    }
    return "unknown";
}

const char* verifyKey(VerifyResult result) {
    switch (result) {
        case VerifyResult::NotRequested:
            return "not-requested";
        case VerifyResult::Passed:
            return "passed";
        case VerifyResult::Failed:
            return "failed";
        case VerifyResult::NotFinished:
            return "not-finished";
    }
    return "unknown";
}

std::string isoTime(TimePoint time) {
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(time.time_since_epoch()).count();
    const std::time_t seconds = static_cast<std::time_t>(ms / 1000);
    const std::tm utc = utcCalendarTime(seconds);
    char text[80];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", utc.tm_year + 1900,
                  utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec,
                  static_cast<int>(ms % 1000));
    return text;
}

nlohmann::json toJson(const RunReport& report) {
    json ports = json::array();
    int phones = 0, passed = 0;
    for (const auto& port : report.ports) {
        json served = json::array();
        int portPassed = 0;
        for (const auto& phone : port.phones) {
            served.push_back(phoneJson(phone));
            portPassed += phone.passed ? 1 : 0;
        }
        const int count = static_cast<int>(port.phones.size());
        phones += count;
        passed += portPassed;
        ports.push_back({{"port", port.port},
                         {"device", port.device},
                         {"passed", portPassed},
                         {"failed", count - portPassed},
                         {"note", port.note},
                         {"phones", served}});
    }
    json document = {
        {"report", "zrk410 run report"},
        {"formatVersion", 1},
        {"program", report.program},
        {"version", report.version},
        {"command", report.command},
        {"arguments", report.arguments},
        {"started", isoTime(report.started)},
        {"ended", isoTime(report.ended)},
        {"elapsedSeconds", secondsBetween(report.started, report.ended)},
        {"exitCode", report.exitCode ? json(*report.exitCode) : json(nullptr)},
        {"summary",
         {{"ports", report.ports.size()},
          {"phones", phones},
          {"passed", passed},
          {"failed", phones - passed}}},
        {"ports", ports},
    };
    makeUtf8(document);
    return document;
}

bool writeReport(const RunReport& report, const std::string& path, std::string* error) {
    const std::string text = toJson(report).dump(2) + "\n";
    // Whole or not at all: an uncommitted file is removed when it goes.
    OutputFile file;
    if (!file.create(path, OutputFile::Existing::Replace, error))
        return false;
    if (!file.write(text.data(), text.size())) {
        if (error)
            *error = file.writeError();
        return false;
    }
    return file.commit(error);
}

}  // namespace zrk::report
