// The five 16 x 16 row images of the address book, drawn at run time: a folder (0), a
// radio mast (1, fleets), a vehicle with an antenna (2, units), a waste bin (3) and a
// globe with a screen (4, systems).
#pragma once

#include <QPixmap>

#include <vector>

namespace velkor {

std::vector<QPixmap> makeAddrBookImages();

} // namespace velkor
