#include "resources/ProgramIcon.h"

// Q_INIT_RESOURCE must be used outside any namespace.
static void InitProgramIconResource() {
    Q_INIT_RESOURCE(icon);
}

namespace orvik {

QIcon ProgramIcon() {
    InitProgramIconResource();
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/icon/orvik-%1.png").arg(size), QSize(size, size));
    return icon;
}

} // namespace orvik
