#include "serial/LinkOwner.h"

#include <atomic>

namespace zrk {
namespace {
std::atomic<LinkOwner*> g_linkOwner{nullptr};
}

LinkOwner* exchangeLinkOwner(LinkOwner* owner) {
    return g_linkOwner.exchange(owner, std::memory_order_acq_rel);
}

LinkOwner* currentLinkOwner() {
    return g_linkOwner.load(std::memory_order_acquire);
}

}  // namespace zrk
