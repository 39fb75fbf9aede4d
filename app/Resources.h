#pragma once
// The icons and release notes are compiled into the static window library; a static library's
// resources must be registered by hand before the first use.
namespace zrk {
void ensureResources();
}
