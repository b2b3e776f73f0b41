#include "ui/resources.h"

#include <QtGlobal>

// Q_INIT_RESOURCE names a function of the global namespace.
static void InitialiseMireboltResources() {
    Q_INIT_RESOURCE(mirebolt);
}

namespace mirebolt::ui {

void EnsureResources() {
    static const bool done = (InitialiseMireboltResources(), true);
    (void)done;
}

}  // namespace mirebolt::ui
