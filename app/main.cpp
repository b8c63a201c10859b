// velkor: the dialog program.
#include "app/CVelkorApp.h"

#include <QApplication>
#include <QCommandLineParser>

using namespace velkor;

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("velkor"));
    QApplication::setApplicationVersion(QStringLiteral(VELKOR_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Trunk tracker for MPT 1327, NMT-450 and Motorola control channels.\n"
                       "Reads velkor.ini and addrbook.ini in the working directory."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption echoLog(QStringLiteral("echo-log"),
                                     QStringLiteral("Also print every line of the log list to standard output."));
    parser.addOption(echoLog);
    parser.process(app);

    CVelkorApp theApp;
    theApp.echoLog = parser.isSet(echoLog);
    theApp.InitInstance();
    return 0;
}
