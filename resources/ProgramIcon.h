// The program's icon, a breaker module, in the sizes resources/icon/ holds (16 to 256 px).
#pragma once

#include <QIcon>

namespace orvik {

QIcon ProgramIcon();

} // namespace orvik
