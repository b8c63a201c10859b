// The About box: the program's name, version and where it comes from. It does nothing
// but close.
#pragma once

#include <QDialog>

class CAboutDlg : public QDialog {
    Q_OBJECT
public:
    explicit CAboutDlg(QWidget* parent = nullptr);

    static QString VersionText();
    static QString ContactText();
};
