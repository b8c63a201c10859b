// velkor: the dialog program.
#include "app/CVelkorApp.h"

#include <QApplication>
#include <QCommandLineParser>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

using namespace velkor;

namespace {

// The same layout as the command-line tools' help, so that the man page is made from
// it in the same way.
constexpr const char* kHelp = R"(Trunk tracker for MPT 1327, NMT-450 and Motorola control channels: the dialog program.
Usage: velkor [OPTIONS]

Options:
  -h,--help                   Print this help message and exit
  --version                   print the program's name and version and exit
  --echo-log                  also print every line of the log list to standard output

Files:
  velkor.ini    the settings, in the current directory (the home directory when
                started from the desktop menu)
  addrbook.ini  the address book, in the current directory; saved when the window
                is closed and on SIGINT, SIGTERM or SIGHUP

Examples:
  velkor
  velkor --echo-log | tee velkor.log

Exit status:
  0  the window was closed, or the program was ended by SIGINT, SIGTERM or SIGHUP
  1  no display could be opened
  2  an option that does not exist)";

// --help and --version are answered before Qt looks for a display, so they work on a
// console too; without a display the program ends with a message; the exit status when the program ends here.
int answeredWithoutDisplay(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::printf("%s\n", kHelp);
            return 0;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("velkor %s\n", VELKOR_VERSION);
            return 0;
        }
    }
    // Qt aborts without a display; say what is missing instead.
    const bool platformNamed =
        std::getenv("QT_QPA_PLATFORM") != nullptr || std::any_of(argv + 1, argv + argc, [](const char* a) {
            return std::strcmp(a, "-platform") == 0 || std::strcmp(a, "--platform") == 0;
        });
    if (!platformNamed && !std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY")) {
        std::fprintf(stderr,
                     "velkor: no display (neither DISPLAY nor WAYLAND_DISPLAY is set); velkor-track "
                     "tracks without one\n");
        return 1;
    }
    return -1;
}

} // namespace

int main(int argc, char** argv)
{
    if (const int done = answeredWithoutDisplay(argc, argv); done >= 0)
        return done;
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("velkor"));
    QApplication::setApplicationVersion(QStringLiteral(VELKOR_VERSION));

    QCommandLineParser parser;
    const QCommandLineOption echoLog(QStringLiteral("echo-log"),
                                     QStringLiteral("Also print every line of the log list to standard output."));
    parser.addOption(echoLog);
    if (!parser.parse(QApplication::arguments())) {
        std::fprintf(stderr, "velkor: %s (velkor --help lists the options)\n", qPrintable(parser.errorText()));
        return 2;
    }

    CVelkorApp theApp;
    theApp.echoLog = parser.isSet(echoLog);
    theApp.InitInstance();
    return 0;
}
