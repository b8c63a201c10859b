// The main dialog as a window: its controls, buttons, the About entry and the quit
// question. Start-up, ApplySettings and teardown are in CVelkorDlgStartup.cpp.
#include "app/CVelkorDlg.h"

#include "addrbook/AddrText.h"
#include "addrbook/view/CAddrBookCtrl.h"
#include "app/CAboutDlg.h"
#include "app/CPrefDlg.h"
#include "app/DialogUnits.h"
#include "app/ProgramIcon.h"
#include "cmdwnd/CCmdWnd.h"
#include "profile/ProfileFile.h"
#include "profile/VelkorConfig.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QFontDatabase>
#include <QFrame>
#include <QHeaderView>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QShortcut>

#include <algorithm>
#include <cstdio>

namespace velkor {

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
    m_grid = new CAddrBookCtrl(m_bookNotices, this);
    m_grid->setObjectName(QStringLiteral("addrbook"));
    m_grid->setFocusPolicy(Qt::StrongFocus);
    m_grid->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_grid, &QWidget::customContextMenuRequested, this, &CVelkorDlg::bookContextMenu);
    m_grid->InitializeGrid();
}

void CVelkorDlg::buildControls()
{
    setWindowTitle(QStringLiteral("  velkor  -  version " VELKOR_VERSION));
    // Resizable: the book and the lists take the room.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint);
    setWindowIcon(ProgramIcon());
    // Ctrl+Q asks to quit as the close button does; F1 opens About.
    connect(new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q), this), &QShortcut::activated, this,
            &CVelkorDlg::OnCancel);
    connect(new QShortcut(QKeySequence(Qt::Key_F1), this), &QShortcut::activated, this, &CVelkorDlg::OnAbout);
    askLogFile = [this] {
        const QString suggested = QDir::current().filePath(
            QDateTime::currentDateTime().toString(QStringLiteral("'velkor-log-'yyyyMMdd-HHmmss'.txt'")));
        return QFileDialog::getSaveFileName(this, QStringLiteral("Save log"), suggested,
                                            QStringLiteral("Text files (*.txt);;All files (*)"));
    };
    askImportFile = [this] {
        return QFileDialog::getOpenFileName(this, QStringLiteral("Import aliases"), QDir::currentPath(),
                                            QStringLiteral("Alias lists (*.csv *.xml);;All files (*)"));
    };
    DialogLayout layout(this, 457, 287);
    addLogList(layout);

    // The icon is also where a click opens the About box (a desktop dialog has no
    // system menu to put it in).
    m_icon = new QLabel(this);
    m_icon->setObjectName(QStringLiteral("icon"));
    m_icon->setToolTip(QStringLiteral("About velkor..."));
    m_icon->setCursor(Qt::PointingHandCursor);
    m_icon->installEventFilter(this);

    // Only a place: its rectangle is where the grid goes. It must hold every column at
    // the width its texts need.
    m_frame = new QFrame(this);
    layout.addWithNeed(m_frame, 7, 30, 443, 203, QSize(m_grid->NeededGridWidth(DialogUnits(font()).baseX()), 0));
    m_frame->hide();

    addButtonsAndFilter(layout);
    addCallsPane(layout);
    fitLayout(layout);
    m_grid->setGeometry(m_frame->geometry());
    makeResizable();
    watchColumnWidths();
    applyColumnWidths();
}

void CVelkorDlg::addLogList(DialogLayout& layout)
{
    m_logList = new QListWidget(this);
    m_logList->setObjectName(QStringLiteral("loglist"));
    layout.add(m_logList, 7, 240, 443, 40, DialogLayout::Need::None);
    m_logList->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_logList->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_logList->setFont(logListFont());
    m_logView = ListLogView(m_logList);
    m_logList->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_logList, &QWidget::customContextMenuRequested, this, &CVelkorDlg::logContextMenu);
}

void CVelkorDlg::addButtonsAndFilter(DialogLayout& layout)
{
    m_settingsButton = new QPushButton(QStringLiteral("Settings"), this);
    layout.add(m_settingsButton, 375, 9, 43, 14, DialogLayout::Need::Width);
    m_endCallButton = new QPushButton(QStringLiteral("End Call"), this);
    layout.add(m_endCallButton, 13, 9, 43, 14, DialogLayout::Need::Width);
    m_endCallButton->setEnabled(false);
    // No default button: Enter presses the button that has the focus and does nothing
    // anywhere else (see keyPressEvent).
    for (QPushButton* b : {m_settingsButton, m_endCallButton})
        b->setAutoDefault(false);
    connect(m_settingsButton, &QPushButton::clicked, this, &CVelkorDlg::OnSettings);
    connect(m_endCallButton, &QPushButton::clicked, this, &CVelkorDlg::OnEndCall);

    // Between the two buttons, where the dialog has room: a filter over the book.
    m_filter = new QLineEdit(this);
    m_filter->setObjectName(QStringLiteral("filter"));
    m_filter->setPlaceholderText(QStringLiteral("Filter: name, ident or comment"));
    m_filter->setClearButtonEnabled(true);
    m_filter->setToolTip(
        QStringLiteral("Shows the systems, fleets and units whose name, ident or comment holds this text"));
    layout.add(m_filter, 66, 9, 150, 14, DialogLayout::Need::None);
    connect(m_filter, &QLineEdit::textChanged, m_grid, &CAddrBookCtrl::SetFilter);
}

void CVelkorDlg::fitLayout(DialogLayout& layout)
{
    // The log list shows at least eight lines: where its rectangle is too low for that,
    // it grows downwards and the dialog with it; everything above keeps its place.
    m_logList->addItem(QStringLiteral("X"));
    const int lineHeight = std::max(1, m_logList->sizeHintForRow(0));
    delete m_logList->takeItem(0);
    const DialogUnits fitted = layout.fit();
    const int logHeight = fitted.rect(7, 240, 443, 40).height();
    const int extra = std::max(0, 8 * lineHeight + 2 * m_logList->frameWidth() - logHeight);
    // The status line goes under the log list, one line of the dialog's font high.
    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("status"));
    const int statusGap = fitted.rect(0, 0, 0, 2).height();
    const int statusHeight = m_status->fontMetrics().height() + 2;
    m_units = layout.apply(QSize(0, extra + statusGap + statusHeight));
    m_logList->resize(m_logList->width(), m_logList->height() + extra);
    m_status->setGeometry(m_logList->x(), m_logList->geometry().bottom() + 1 + statusGap, m_logList->width(),
                          statusHeight);
    m_statusTimer.setInterval(1000);
    connect(&m_statusTimer, &QTimer::timeout, this, &CVelkorDlg::updateStatusLine);
    m_statusTimer.start();

    const QRect icon = m_units.rect(429, 6, 20, 20);
    const int side = std::min(icon.width(), icon.height());
    m_icon->setGeometry(icon.x(), icon.y(), side, side);
    m_icon->setPixmap(ProgramIcon().pixmap(side, side));
}

void CVelkorDlg::watchColumnWidths()
{
    m_columnSave.setSingleShot(true);
    m_columnSave.setInterval(500);
    connect(&m_columnSave, &QTimer::timeout, this, &CVelkorDlg::saveColumnWidths);
    connect(m_grid->horizontalHeader(), &QHeaderView::sectionResized, this, [this](int column, int, int width) {
        if (m_settingColumns || column < 0 || column >= static_cast<int>(m_userWidths.size()))
            return;
        const DialogUnits du(m_grid->font());
        m_userWidths[static_cast<size_t>(column)] = std::max(1, (width * 4 + du.baseX() / 2) / du.baseX());
        m_columnSave.start();
    });
}

void CVelkorDlg::updateStatusLine()
{
    CCmdWnd* wnd = m_session ? m_session->commandWindow() : nullptr;
    if (!wnd) {
        m_status->clear();
        return;
    }
    QString text = QString::fromStdString(wnd->activity().text(DecodeActivity::Clock::now()));
    // While a hold is set, only its calls are followed: say so.
    QStringList held;
    for (const velkor_address_s& a : wnd->tracker().holds())
        held << QString::fromStdString(GetAddrName(a.system, a.fleet, a.unit));
    if (!held.isEmpty())
        text += QStringLiteral(" | Hold: ") + held.join(QStringLiteral(", "));
    // Elided like the log lines; the whole text in the tooltip.
    m_status->setText(m_status->fontMetrics().elidedText(text, Qt::ElideRight, m_status->width()));
    m_status->setToolTip(text);
}

void CVelkorDlg::applyColumnWidths()
{
    m_settingColumns = true;
    const DialogUnits du(m_grid->font());
    m_grid->FitColumns(du.baseX());
    const column_widths::Widths stored = column_widths::load(velkor_ini::kFileName);
    for (size_t c = 0; c < stored.size(); ++c)
        if (stored[c])
            m_grid->setColumnWidth(static_cast<int>(c), du.x(*stored[c]));
    m_settingColumns = false;
}

void CVelkorDlg::saveColumnWidths()
{
    m_columnSave.stop();
    if (std::none_of(m_userWidths.begin(), m_userWidths.end(), [](const auto& w) { return w.has_value(); }))
        return;
    const velkor::Status saved = column_widths::save(velkor_ini::kFileName, m_userWidths);
    m_userWidths = {};
    if (!saved)
        AppendLogLine(utf8ToCp1252("Couldn't keep the column widths in velkor.ini: " + saved.error()).c_str());
}

int CVelkorDlg::logListLines() const
{
    const int line = m_logList->count() > 0 ? m_logList->sizeHintForRow(0) : 0;
    return line > 0 ? m_logList->viewport()->height() / line : 0;
}

void CVelkorDlg::logContextMenu(const QPoint& pos)
{
    QMenu menu(this);
    menu.addAction(QStringLiteral("Save log..."), this, &CVelkorDlg::OnSaveLog);
    menu.addSeparator();
    menu.addAction(QStringLiteral("&About velkor..."), this, &CVelkorDlg::OnAbout);
    menu.exec(m_logList->viewport()->mapToGlobal(pos));
}

void CVelkorDlg::OnSaveLog()
{
    const QString path = askLogFile ? askLogFile() : QString();
    if (path.isEmpty())
        return;
    if (const velkor::Status saved = m_logView.saveRun(path); !saved)
        m_notices.alert(utf8ToCp1252(QStringLiteral("Couldn't save the log to %1: %2")
                                         .arg(path, QString::fromStdString(saved.error()))
                                         .toStdString()));
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
        CPrefDlg dlg(m_notices, this);
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

velkor_follow_rule_s CVelkorDlg::FollowRule(const velkor_address_s& address) const
{
    return m_grid->Book().FollowRule(address);
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

bool CVelkorDlg::SaveAddrBook(bool showWhy)
{
    // Named relative to the working directory at the moment of saving.
    const velkor::Status saved = m_session->saveBook();
    if (saved)
        return true;
    // A file that cannot be written has shown its message box already; a book that
    // refuses to overwrite a file it could only partly load says so only in the log.
    if (showWhy && m_grid->Book().LoadIncomplete())
        m_notices.alert(utf8ToCp1252(saved.error()));
    return false;
}

void CVelkorDlg::OnCancel()
{
    if (m_terminating)
        return;
    // Saved on every attempt to close, whatever the answer.
    SaveAddrBook(true);
    saveColumnWidths();
    if (askQuit && askQuit())
        done(0);
}

void CVelkorDlg::OnTerminate(int)
{
    if (m_terminating)
        return;
    m_terminating = true;
    m_grid->CommitOpenEditor();
    SaveAddrBook(false);
    saveColumnWidths();
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

} // namespace velkor
