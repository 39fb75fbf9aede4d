#pragma once
// On POSIX a NativeFile is a descriptor.
#include "files/NativeFile.h"

namespace zrk {

inline int descriptorOf(NativeFile file) {
    return static_cast<int>(file);
}

}  // namespace zrk
