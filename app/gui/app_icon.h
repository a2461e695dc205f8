#pragma once
// The program's icon (tarvu.svg), rendered at the sizes that windows, the About box and the
// notification area ask for.

#include <QIcon>

namespace tarvu {

QIcon AppIcon();

}  // namespace tarvu
