// The program's icon and toolbar pictures, drawn in code.
#pragma once

#include <QIcon>

namespace paddock {

enum class ToolIcon { TeamsAndDrivers, CarTextures, WADWorkshop, TEXWorkshop, Configure };

QIcon MakeToolIcon(ToolIcon which);
QIcon MakeProgramIcon();
// The program's icon drawn at size x size pixels.
QPixmap DrawProgramIcon(int size);

} // namespace paddock
