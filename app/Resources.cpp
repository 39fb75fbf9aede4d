#include "app/Resources.h"

#include <QtGlobal>

// Q_INIT_RESOURCE declares a function of the global namespace, so it is called from here.
static void registerCompiledResources() {
    Q_INIT_RESOURCE(zrk410);
}

namespace zrk {

void ensureResources() {
    static const bool registered = [] {
        registerCompiledResources();
        return true;
    }();
    (void)registered;
}

}  // namespace zrk
