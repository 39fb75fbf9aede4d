#pragma once
// What a path named as an output stands for, judged before anything is opened. An output is a
// regular file this program makes (a new one, or one that replaces what stood under the name),
// or a device the user named: a character device under /dev, or one of the user's own
// descriptors (/dev/stdout, /dev/stderr, /dev/fd/N, /proc/self/fd/N). A FIFO or a device found
// anywhere else, or reached through a link there, is refused: whoever made it would receive
// the output, and with no reader an open would wait for ever.
#include <string>

namespace zrk {

struct OutputTarget {
    enum class Kind {
        File,        // made beside the name and renamed onto it
        Device,      // a character device under /dev, written straight into
        Descriptor,  // a descriptor this process was given, written where it stands
        Refused,
    };
    Kind kind = Kind::Refused;
    std::string refusal;       // for Refused: why, naming the path
    bool throughLink = false;  // Device: reached through a link under /dev
    int descriptor = -1;       // Descriptor: its number
};

OutputTarget judgeOutputTarget(const std::string& path);

// Words saying why path cannot receive an output; empty when it can.
std::string outputTargetRefusal(const std::string& path);

}  // namespace zrk
