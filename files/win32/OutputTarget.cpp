#include "files/OutputTarget.h"

#include <algorithm>
#include <cctype>

#include "files/win32/ReservedNames.h"
#include "files/win32/WinApi.h"

namespace zrk {
namespace {

constexpr const char* kWhereOutputsGo =
    "; outputs are written only to regular files or to devices named alone (NUL, CON, COM1)";

OutputTarget refused(const std::string& path, const std::string& what) {
    OutputTarget target;
    target.refusal = path + what;
    return target;
}

OutputTarget ofKind(OutputTarget::Kind kind) {
    OutputTarget target;
    target.kind = kind;
    return target;
}

std::string lastPart(const std::string& path) {
    const auto slash = path.find_last_of("/\\:");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

OutputTarget judgeOutputTarget(const std::string& path) {
    // A device the user named on its own ("NUL", "\\.\COM3") is written straight into; the
    // same name inside a folder ("out\nul.txt" is NUL too) is refused: nobody would find the
    // file it seems to name.
    const std::string last = lastPart(path);
    const bool deviceSpace = path.rfind("\\\\.\\", 0) == 0 || path.rfind("//./", 0) == 0;
    if (deviceSpace || win32::isReservedDeviceName(last)) {
        if (deviceSpace && path.find_first_of("/\\", 4) != std::string::npos)
            return refused(path, std::string(" is a pipe or a device path") + kWhereOutputsGo);
        if (deviceSpace || path == last)
            return ofKind(OutputTarget::Kind::Device);
        return refused(
            path, std::string(" names the device ") + last + ", not a file; choose another name");
    }
    const auto wide = win32::widen(path);
    if (!wide)
        return refused(path, " is not valid UTF-8");
    const DWORD attributes = ::GetFileAttributesW(wide->c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return ofKind(OutputTarget::Kind::File);
    // A link (or junction) is replaced by the output, never written through.
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT)
        return ofKind(OutputTarget::Kind::File);
    if (attributes & FILE_ATTRIBUTE_DIRECTORY)
        return refused(path, " is a folder; give the name of a file");
    return ofKind(OutputTarget::Kind::File);
}

std::string outputTargetRefusal(const std::string& path) {
    const OutputTarget target = judgeOutputTarget(path);
    return target.kind == OutputTarget::Kind::Refused ? target.refusal : std::string();
}

}  // namespace zrk
