// The program's icon: a mast sending radio waves, drawn in code so that the window, the
// About box and the installed icon files come from one drawing.
#pragma once

#include <QIcon>
#include <QImage>

namespace velkor {

// The icon drawn at size x size pixels on a transparent background.
QImage RenderProgramIcon(int size);

// The icon with the sizes a desktop asks for (16 to 256 pixels).
QIcon ProgramIcon();

} // namespace velkor
