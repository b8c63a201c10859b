#include "app/CAboutDlg.h"

#include "app/DialogUnits.h"
#include "app/ProgramIcon.h"

#include <QLabel>
#include <QPushButton>

#include <algorithm>

namespace velkor {

CAboutDlg::CAboutDlg(QWidget* parent)
    : QDialog(parent)
{
    setWindowTitle(QStringLiteral("About velkor"));
    // A fixed size: no maximise box.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    DialogLayout layout(this, 184, 64);

    auto* icon = new QLabel(this);
    auto* version = new QLabel(VersionText(), this);
    layout.add(version, 43, 11, 80, 8);
    auto* contact = new QLabel(ContactText(), this);
    contact->setWordWrap(true);
    // Wrapped into its rectangle: two lines of its width.
    layout.addWithNeed(contact, 43, 22, 80, 16, QSize(0, 2 * contact->fontMetrics().height()));
    auto* licence = new QLabel(LicenceText(), this);
    licence->setObjectName(QStringLiteral("licence"));
    licence->setWordWrap(true);
    licence->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout.addWithNeed(licence, 43, 40, 134, 16, QSize(0, 2 * licence->fontMetrics().height()));
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    layout.add(ok, 127, 12, 50, 16, DialogLayout::Need::Width);
    m_units = layout.apply();
    const QRect place = m_units.rect(7, 7, 20, 20);
    const int side = std::min(place.width(), place.height());
    icon->setGeometry(place.x(), place.y(), side, side);
    icon->setPixmap(ProgramIcon().pixmap(side, side));
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

QString CAboutDlg::LicenceText()
{
    return QStringLiteral("Licence: " VELKOR_LICENSE "\nHome: " VELKOR_HOMEPAGE);
}

} // namespace velkor
