// velkor: the dialog program.
#include "app/CVelkorApp.h"

#include <QApplication>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    CVelkorApp theApp;
    theApp.InitInstance();
    return 0;
}
