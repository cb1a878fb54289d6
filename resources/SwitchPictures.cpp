#include "resources/SwitchPictures.h"

#include <QtCore/qglobal.h>

// Q_INIT_RESOURCE must be used outside any namespace.
static void InitSwitchPicturesResource() {
    Q_INIT_RESOURCE(switches);
}

namespace orvik {

void InitSwitchPictures() {
    static const bool done = (InitSwitchPicturesResource(), true);
    (void)done;
}

} // namespace orvik
