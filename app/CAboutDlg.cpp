#include "app/CAboutDlg.h"

#include "app/DialogUnits.h"
#include "app/ProgramIcon.h"

#include <QLabel>
#include <QPushButton>

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("About velkor"));
    const DialogUnits du(font());
    setFixedSize(du.size(184, 46));

    auto* icon = new QLabel(this);
    icon->setPixmap(ProgramIcon().pixmap(32, 32));
    icon->setGeometry(du.x(7), du.y(7), 32, 32);
    auto* version = new QLabel(VersionText(), this);
    du.place(version, 43, 11, 80, 8);
    auto* contact = new QLabel(ContactText(), this);
    du.place(contact, 43, 22, 80, 16);
    contact->setWordWrap(true);
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    du.place(ok, 127, 12, 50, 16);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &CAboutDlg::accept);
}

QString CAboutDlg::VersionText()
{
    return QStringLiteral("velkor - version " VELKOR_VERSION);
}

QString CAboutDlg::ContactText()
{
    return QStringLiteral("Trunk tracker for Linux, on Qt %1").arg(QString::fromLatin1(qVersion()));
}
