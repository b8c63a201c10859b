// The main dialog: the log list, the address book grid, Settings and End Call. It owns
// the command window and the decoder bank, applies velkor.ini at start-up and after the
// settings dialog, and on closing saves the address book, asks, and tears down in order:
// the decoder bank first (no decoder posts afterwards), then the command window (which
// unmutes the Line-In and gives the scanner back), then the widgets.
//
// The command window reads the settings as last applied, the log list, the address book
// and the End Call button through CmdWndOwner.
#pragma once

#include "app/ColumnWidths.h"
#include "app/DialogNotices.h"
#include "app/DialogUnits.h"
#include "app/ListLogView.h"
#include "cmdwnd/CmdWndOwner.h"
#include "notify/Notices.h"
#include "session/TrackingSession.h"

#include <QDialog>
#include <QTimer>

#include <functional>
#include <memory>
#include <string>
#include <vector>

class QFrame;
class QLabel;
class QLineEdit;
class QListWidget;
class QMenu;
class QPushButton;

namespace velkor {

class CAddrBookCtrl;
class CallObserver;
class CallsPane;
class TreeItem;
class CCmdWnd;
class DecoderBank;

class CVelkorDlg : public QDialog, public CmdWndOwner {
    Q_OBJECT
public:
    // How the dialog's session builds the command window and the decoder bank.
    using Parts = TrackingSession::Parts;
    // The program's own: the command window on ALSA's mixer, live capture.
    static Parts DefaultParts();

    // notices: where alerts and notes go; null for the dialog's own (message boxes and
    // its log list).
    explicit CVelkorDlg(Parts parts = DefaultParts(), velkor::Notices* notices = nullptr, QWidget* parent = nullptr);
    ~CVelkorDlg() override;

    // Start-up: the address book, the command window, the settings; then the dialog is
    // ready to be shown. False when the command window could not be built.
    bool OnInitDialog();
    // Start-up, then the modal run; the dialog's result.
    int DoModal();

    // Reads velkor.ini and restarts what changed since it was last applied.
    void ApplySettings();

    void OnSettings();
    void OnEndCall();
    void OnAbout();
    // "Save log..." of the log list's context menu: every line of this run.
    void OnSaveLog();
    // The quit question, after saving the address book.
    void OnCancel();
    // SIGINT, SIGTERM, SIGHUP: save and shut down without asking.
    void OnTerminate(int signalNumber);

    // CmdWndOwner
    velkor_settings_s currentSettings() const override { return m_session->settings(); }
    LogListView& logList() override { return m_logView; }
    velkor::Notices& notices() override { return m_notices; }
    void AddAddr(const velkor_address_s& address) override;
    std::string GetAddrName(uint32_t system, uint32_t fleet, uint32_t unit) const override;
    int IsAddrChecked(const velkor_address_s& address, int select) override;
    velkor_follow_rule_s FollowRule(const velkor_address_s& address) const override;
    void enableEndCall(bool enable) override;

    // Mirrors the log list on standard output, line by line, as UTF-8.
    void setEchoLog(bool echo);

    // A line of the dialog's own, appended directly (no bound, no caret move).
    void AppendLogLine(const char* line);

    CCmdWnd* commandWindow() const { return m_session->commandWindow(); }
    DecoderBank* decoderBank() const { return m_session->decoderBank(); }
    QListWidget* logListWidget() const { return m_logList; }
    CAddrBookCtrl* addrBook() const { return m_grid; }
    QPushButton* settingsButton() const { return m_settingsButton; }
    QPushButton* endCallButton() const { return m_endCallButton; }
    QLabel* iconLabel() const { return m_icon; }
    QLineEdit* filterField() const { return m_filter; }
    // The calls list, shown in the log list's place while the Calls button is down.
    CallsPane* callsPane() const { return m_calls; }
    QPushButton* callsButton() const { return m_callsButton; }
    void showCalls(bool show);
    // The status line under the log list: what each decoder decoded in the last minute.
    QLabel* statusLine() const { return m_status; }
    // Redraws the status line; a timer calls it every second.
    void updateStatusLine();
    // The units the dialog is laid out in: the font's, grown where its texts need it.
    const DialogUnits& units() const { return m_units; }
    // The lines the log list shows at its height.
    int logListLines() const;

    static constexpr const char* kQuitQuestion = "Are you sure you want to quit?   ";
    // The answer to the quit question; tests replace it.
    std::function<bool()> askQuit;
    // The file "Save log..." writes to, empty when the user cancels; tests replace it.
    std::function<QString()> askLogFile;
    // The alias list "Import..." of the book's menu reads, empty when the user cancels;
    // tests replace it.
    std::function<QString()> askImportFile;

protected:
    // Enter: the dialog does not close.
    void accept() override { }
    // Escape, the close box, Alt+F4.
    void reject() override { OnCancel(); }
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void OnCreate();
    void buildControls();
    // The steps of buildControls: the log list, the buttons and the filter between
    // them, the fitting of the whole to the font (the log list's eight lines, the
    // status line, the icon), and keeping the column widths the user sets.
    void addLogList(DialogLayout& layout);
    void addButtonsAndFilter(DialogLayout& layout);
    void fitLayout(DialogLayout& layout);
    void watchColumnWidths();
    // The Calls button and list; then the dialog made resizable around the layout as
    // fitted: the book and the lists take the room, the buttons keep to their edges.
    void addCallsPane(DialogLayout& layout);
    void makeResizable();
    // What tells the Calls list of the calls this run follows.
    std::unique_ptr<CallObserver> makeCallWatcher();
    void relayout();
    // Saves the book; on failure the reason is shown when showWhy is set and the book
    // did not show it itself.
    bool SaveAddrBook(bool showWhy);
    void logContextMenu(const QPoint& pos);
    // New, Edit, Delete, Hold / Release, Lockout, Priority and Import... of the row
    // under pos (New system and Import... on empty space too).
    void bookContextMenu(const QPoint& pos);
    void addEditEntries(QMenu& menu, const TreeItem* node);
    void addFollowEntries(QMenu& menu, const TreeItem* node);
    // Import... of an alias list into the system and fleet of the row at path.
    void importIntoBook(const std::vector<std::string>& path);
    // The node with these idents (system first), if it is still in the book.
    TreeItem* nodeOfPath(const std::vector<std::string>& path) const;
    // The column widths: fitted to the font, then as the user left them.
    void applyColumnWidths();
    void saveColumnWidths();
    // The daily files of [log] dir= in velkor.ini; none without the key, or (after a
    // log line saying why) when they cannot be written.
    std::unique_ptr<DailyLog> openDailyLog();
    // The call recorder of [record] in velkor.ini; none when dir is empty or it
    // cannot work (a log line says why).
    std::unique_ptr<CallRecorder> openRecorder();
    // Closes the settings dialog, a message box or the About box left open when a
    // signal ends the program, so that their modal runs return.
    void closeNestedDialogs();

    velkor::DialogNotices m_ownNotices{this, [this](const std::string& line) { m_logView.append(line); }};
    velkor::Notices& m_notices;
    // The book, the command window, the settings and the decoder bank.
    std::unique_ptr<TrackingSession> m_session;
    bool m_terminating = false;

    CAddrBookCtrl* m_grid = nullptr;
    QListWidget* m_logList = nullptr;
    QLabel* m_icon = nullptr;
    QFrame* m_frame = nullptr;
    QPushButton* m_settingsButton = nullptr;
    QPushButton* m_endCallButton = nullptr;
    QLineEdit* m_filter = nullptr;
    QLabel* m_status = nullptr;
    CallsPane* m_calls = nullptr;
    std::unique_ptr<CallObserver> m_callWatcher;
    QPushButton* m_callsButton = nullptr;
    // The geometries as laid out for the font, which a resize starts from.
    struct base_geometry_s {
        QSize dialog;
        QRect grid, log, status, settings, icon, calls, filter;
        // What the book and the log list can give up of their height.
        int bookRoom = 0, logRoom = 0;
        // The least room between the filter and the Calls button, the filter's least width.
        int gap = 0, minFilter = 0;
    } m_base;
    bool m_fittedToScreen = false;
    QTimer m_statusTimer;
    ListLogView m_logView{nullptr};
    // The book's alerts as message boxes, its notes as log lines.
    LogListNotices m_bookNotices{m_notices, m_logView};
    DialogUnits m_units{QFont()};
    // Widths the user gave the columns, in dialog units; written shortly after a change
    // and when the program ends.
    column_widths::Widths m_userWidths;
    QTimer m_columnSave;
    bool m_settingColumns = false;
};

} // namespace velkor
