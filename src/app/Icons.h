// The program's icon and toolbar pictures, drawn in code.
#pragma once

#include <QIcon>

namespace paddock {

enum class ToolIcon { TeamsAndDrivers, CarTextures, WADWorkshop, TEXWorkshop, Configure };

QIcon MakeToolIcon(ToolIcon which);
QIcon MakeProgramIcon();

} // namespace paddock
