// The main dialog as a window: its controls, buttons, the About entry and the quit
// question. Start-up, ApplySettings and teardown are in CVelkorDlgStartup.cpp.
#include "app/CVelkorDlg.h"

#include "addrbook/CAddrBookCtrl.h"
#include "app/CAboutDlg.h"
#include "app/CPrefDlg.h"
#include "app/DialogUnits.h"
#include "app/ProgramIcon.h"
#include "cmdwnd/CCmdWnd.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QFontDatabase>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>

#include <cstdio>

namespace {

// 9-point "Lucida Console" where it is installed, else the desktop's fixed-pitch font at
// the same size: the decoders' lines are fixed columns.
// Judged by the glyphs, not by the font's own claim, which some monospace fonts get wrong.
bool isMonospace(const QFont& font)
{
    const QFontMetrics fm(font);
    return fm.horizontalAdvance(QLatin1Char('i')) == fm.horizontalAdvance(QLatin1Char('W'));
}

QFont logListFont()
{
    if (QFontDatabase::families().contains(QStringLiteral("Lucida Console")))
        return QFont(QStringLiteral("Lucida Console"), 9);
    for (QFont font : {QFontDatabase::systemFont(QFontDatabase::FixedFont), QFont(QStringLiteral("monospace")),
                       QFont(QStringLiteral("DejaVu Sans Mono")), QFont(QStringLiteral("Liberation Mono"))}) {
        font.setPointSize(9);
        font.setStyleHint(QFont::TypeWriter);
        if (isMonospace(font))
            return font;
    }
    QFont font(QStringLiteral("monospace"), 9);
    font.setStyleHint(QFont::TypeWriter);
    return font;
}

} // namespace

void CVelkorDlg::OnCreate()
{
    // The grid comes before the dialog's own controls, as it is created with the window.
    m_grid = new CAddrBookCtrl(this);
    m_grid->setObjectName(QStringLiteral("addrbook"));
    m_grid->setFocusPolicy(Qt::StrongFocus);
    m_grid->InitializeGrid();
    m_grid->Book().SetLogFunction([this](const std::string& text) {
        if (m_logList)
            m_logList->addItem(QString::fromStdString(text));
    });
}

void CVelkorDlg::buildControls()
{
    setWindowTitle(QStringLiteral("  velkor  -  version " VELKOR_VERSION));
    const DialogUnits du(font());
    setFixedSize(du.size(457, 287));
    // A minimise box but no maximise or resize: the layout is fixed.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                   | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    setWindowIcon(ProgramIcon());

    m_logList = new QListWidget(this);
    m_logList->setObjectName(QStringLiteral("loglist"));
    du.place(m_logList, 7, 240, 443, 40);
    m_logList->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_logList->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_logList->setUniformItemSizes(true);
    m_logList->setFont(logListFont());
    m_logView = QListLogView(m_logList);

    // The icon is also where a click opens the About box (a desktop dialog has no
    // system menu to put it in).
    m_icon = new QLabel(this);
    m_icon->setObjectName(QStringLiteral("icon"));
    m_icon->setPixmap(ProgramIcon().pixmap(32, 32));
    m_icon->setGeometry(du.x(429), du.y(6), 32, 32);
    m_icon->setToolTip(QStringLiteral("About velkor..."));
    m_icon->setCursor(Qt::PointingHandCursor);
    m_icon->installEventFilter(this);

    // Only a place: its rectangle is where the grid goes.
    m_frame = new QFrame(this);
    du.place(m_frame, 7, 30, 443, 203);
    m_frame->hide();
    m_grid->setGeometry(m_frame->geometry());

    m_settingsButton = new QPushButton(QStringLiteral("Settings"), this);
    du.place(m_settingsButton, 375, 9, 43, 14);
    m_endCallButton = new QPushButton(QStringLiteral("End Call"), this);
    du.place(m_endCallButton, 13, 9, 43, 14);
    m_endCallButton->setEnabled(false);
    // No default button: Enter presses the button that has the focus and does nothing
    // anywhere else (see keyPressEvent).
    for (QPushButton* b : {m_settingsButton, m_endCallButton})
        b->setAutoDefault(false);
    connect(m_settingsButton, &QPushButton::clicked, this, &CVelkorDlg::OnSettings);
    connect(m_endCallButton, &QPushButton::clicked, this, &CVelkorDlg::OnEndCall);
}

void CVelkorDlg::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        if (auto* button = qobject_cast<QPushButton*>(focusWidget()); button && button->isEnabled())
            button->click();
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void CVelkorDlg::contextMenuEvent(QContextMenuEvent* event)
{
    QMenu menu(this);
    menu.addAction(QStringLiteral("&About velkor..."), this, &CVelkorDlg::OnAbout);
    menu.exec(event->globalPos());
}

bool CVelkorDlg::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_icon && event->type() == QEvent::MouseButtonRelease) {
        OnAbout();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void CVelkorDlg::OnAbout()
{
    CAboutDlg about(this);
    about.exec();
}

void CVelkorDlg::OnSettings()
{
    {
        CPrefDlg dlg(this);
        dlg.exec();
    }
    // Whichever button closed it: the file decides. Not while the program is ending.
    if (!m_terminating)
        ApplySettings();
}

void CVelkorDlg::OnEndCall()
{
    if (CCmdWnd* wnd = commandWindow())
        wnd->post(CMDWND_END_CALL, {});
}

void CVelkorDlg::enableEndCall(bool enable)
{
    m_endCallButton->setEnabled(enable);
}

void CVelkorDlg::AddAddr(const velkor_address_s& address)
{
    m_grid->AddAddr(address);
}

std::string CVelkorDlg::GetAddrName(uint32_t system, uint32_t fleet, uint32_t unit) const
{
    return m_grid->GetAddrName(system, fleet, unit);
}

int CVelkorDlg::IsAddrChecked(const velkor_address_s& address, int select)
{
    return m_grid->IsAddrChecked(address, select);
}

void CVelkorDlg::setEchoLog(bool echo)
{
    QAbstractItemModel* model = m_logList->model();
    disconnect(model, &QAbstractItemModel::rowsInserted, this, nullptr);
    if (!echo)
        return;
    connect(model, &QAbstractItemModel::rowsInserted, this, [model](const QModelIndex&, int first, int last) {
        for (int row = first; row <= last; ++row)
            std::fprintf(stdout, "%s\n", model->index(row, 0).data().toString().toUtf8().constData());
        std::fflush(stdout);
    });
}

void CVelkorDlg::AppendLogLine(const char* line)
{
    m_logView.append(line);
}

void CVelkorDlg::SaveAddrBook()
{
    // Named relative to the working directory at the moment of saving.
    m_session->saveBook();
}

void CVelkorDlg::OnCancel()
{
    if (m_terminating)
        return;
    // Saved on every attempt to close, whatever the answer.
    SaveAddrBook();
    if (askQuit && askQuit())
        done(0);
}

void CVelkorDlg::OnTerminate(int)
{
    if (m_terminating)
        return;
    m_terminating = true;
    SaveAddrBook();
    closeNestedDialogs();
    done(0);
}

void CVelkorDlg::closeNestedDialogs()
{
    while (QWidget* popup = QApplication::activePopupWidget())
        popup->close();
    // Innermost first: each modal run returns to the one below it.
    while (QWidget* modal = QApplication::activeModalWidget()) {
        if (modal == this)
            break;
        auto* dialog = qobject_cast<QDialog*>(modal);
        if (!dialog)
            break;
        dialog->done(QDialog::Rejected);
    }
}
