// Build step: writes the program icon as PNG files into an icon theme tree
// (OUTDIR/hicolor/NxN/apps/velkor.png), so that the installed icon is the very drawing
// the program shows.
#include "app/ProgramIcon.h"

#include <QDir>

#include <cstdio>

using namespace velkor;

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: velkor-render-icon OUTDIR\n");
        return 2;
    }
    for (int size : {16, 24, 32, 48, 64, 128, 256}) {
        const QString dir = QStringLiteral("%1/hicolor/%2x%2/apps").arg(QString::fromLocal8Bit(argv[1])).arg(size);
        if (!QDir().mkpath(dir) || !RenderProgramIcon(size).save(dir + QStringLiteral("/velkor.png"))) {
            std::fprintf(stderr, "velkor-render-icon: cannot write %s\n", qPrintable(dir));
            return 1;
        }
    }
    return 0;
}
