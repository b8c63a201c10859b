// The About box: the program's name, version and where it comes from. It does nothing
// but close.
#pragma once

#include "app/DialogUnits.h"

#include <QDialog>

namespace velkor {

class CAboutDlg : public QDialog {
    Q_OBJECT
public:
    explicit CAboutDlg(QWidget* parent = nullptr);

    static QString VersionText();
    static QString ContactText();
    // The licence and the project's home.
    static QString LicenceText();

    // The units the box is laid out in: the font's, grown where its texts need it.
    const DialogUnits& units() const { return m_units; }

private:
    DialogUnits m_units{QFont()};
};

} // namespace velkor
