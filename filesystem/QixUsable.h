#pragma once
// Whether a .cfg can be sent whole in a code page: its lines as its format says, then every
// name converted, then its tree. The first that fails is the one reported.
#include <optional>
#include <string>

#include "filesystem/QixNameCheck.h"
#include "filesystem/QixTreeCheck.h"

namespace zrk {

struct UserChoices;

struct QixUsability {
    std::optional<QixTreeProblem> layout;  // a line or the tree
    QixNameCheck names;                    // a name, when the lines passed
    bool ok() const { return !layout && names.ok(); }
};

QixUsability checkQixUsable(const QixConfig& config, const CodePage& codePage);

// The code page the .cfg names are read in: the chosen one, or the local one when none is.
std::string qixCodePageInUse(const UserChoices& choices);

}  // namespace zrk
