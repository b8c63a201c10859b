// The main dialog's Calls list in the log list's place, and the dialog as a resizable
// window: the book and the lists take the room a resize gives or takes, the buttons
// keep to their edges, and the first show never makes it larger than the screen's
// available area.
#include "app/CVelkorDlg.h"

#include "addrbook/view/CAddrBookCtrl.h"
#include "app/CallsPane.h"
#include "cmdwnd/CCmdWnd.h"
#include "cmdwnd/CallTracker.h"

#include <QFrame>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>

#include <algorithm>

namespace velkor {

namespace {
// What the book and the log list keep when the dialog is made small, in rows.
constexpr int kMinBookRows = 4;
constexpr int kMinLogLines = 3;
} // namespace

namespace {
// Each call the tracker follows becomes a row of the Calls list, its length set when it
// is left.
class CallsOfThisRun : public CallObserver {
public:
    CallsOfThisRun(CVelkorDlg& dlg, CallsPane& pane)
        : m_dlg(dlg)
        , m_pane(pane)
    {
    }
    void callFollowed(const velkor_call_s& call, double mhz) override
    {
        const auto party = [this](const velkor_address_s& a) {
            return partyText(a.system, a.fleet, a.unit,
                             a.unit ? QString::fromStdString(m_dlg.GetAddrName(a.system, a.fleet, a.unit)) : QString());
        };
        call_row_s row;
        row.start = QDateTime::currentDateTimeUtc();
        const CCmdWnd* wnd = m_dlg.commandWindow();
        const char* protocol = wnd ? protocolName(wnd->handlingOrigin().protocol) : nullptr;
        row.protocol = QString::fromLatin1(protocol ? protocol : "");
        row.parties = party(call.origin) + QStringLiteral(" -> ") + party(call.target);
        row.channel = QStringLiteral("Ch %1, %2 MHz").arg(call.channel).arg(mhz, 0, 'f', 4);
        m_pane.addRunCall(row);
    }
    void callLeft(const velkor_call_s&, CallLeft) override { m_pane.endRunCall(); }

private:
    CVelkorDlg& m_dlg;
    CallsPane& m_pane;
};
} // namespace

std::unique_ptr<CallObserver> CVelkorDlg::makeCallWatcher()
{
    return std::make_unique<CallsOfThisRun>(*this, *m_calls);
}

void CVelkorDlg::addCallsPane(DialogLayout& layout)
{
    m_callsButton = new QPushButton(QStringLiteral("Calls"), this);
    m_callsButton->setObjectName(QStringLiteral("callsbutton"));
    m_callsButton->setToolTip(QStringLiteral("The followed calls and their recordings, in place of the log"));
    m_callsButton->setCheckable(true);
    m_callsButton->setAutoDefault(false);
    layout.add(m_callsButton, 325, 9, 43, 14, DialogLayout::Need::Width);
    connect(m_callsButton, &QPushButton::toggled, this, &CVelkorDlg::showCalls);
    m_calls = new CallsPane(this);
    m_calls->hide();
}

void CVelkorDlg::showCalls(bool show)
{
    if (m_callsButton->isChecked() != show)
        m_callsButton->setChecked(show); // comes back here through toggled
    m_calls->setVisible(show);
    m_logList->setVisible(!show);
    m_callsButton->setText(show ? QStringLiteral("Log") : QStringLiteral("Calls"));
}

void CVelkorDlg::makeResizable()
{
    m_calls->setGeometry(m_logList->geometry());
    m_base = {size(),
              m_frame->geometry(),
              m_logList->geometry(),
              m_status->geometry(),
              m_settingsButton->geometry(),
              m_icon->geometry(),
              m_callsButton->geometry(),
              m_filter->geometry()};
    // Smaller: the book and the log list down to a few rows each, the filter down to a
    // few characters.
    const int row = std::max(m_grid->verticalHeader()->defaultSectionSize(), fontMetrics().height());
    m_base.bookRoom = std::max(0, m_base.grid.height() - (kMinBookRows + 1) * row - 2 * m_grid->frameWidth());
    const int line = QFontMetrics(m_logList->font()).height() + 2;
    m_base.logRoom = std::max(0, m_base.log.height() - kMinLogLines * line - 2 * m_logList->frameWidth());
    // Narrower: the room between the filter and the Calls button goes first, then the
    // filter's own down to a few characters; the book scrolls sideways.
    m_base.gap = m_units.x(4);
    const int minFilter = 10 * fontMetrics().averageCharWidth();
    const int shrinkX = std::max(0, m_base.calls.left() - m_base.filter.right() - 1 - m_base.gap) +
        std::max(0, m_base.filter.width() - minFilter);
    m_base.minFilter = std::min(minFilter, m_base.filter.width());
    setMinimumSize(m_base.dialog - QSize(shrinkX, m_base.bookRoom + m_base.logRoom));
    setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    setSizeGripEnabled(true);
}

void CVelkorDlg::relayout()
{
    if (!m_base.dialog.isValid())
        return;
    const int dw = width() - m_base.dialog.width();
    const int dh = height() - m_base.dialog.height();
    // The book takes half of the height given, the lists below it the other half; height
    // taken comes from each by what it can give, so that both reach their least together.
    const int rooms = m_base.bookRoom + m_base.logRoom;
    const int bookDh = dh >= 0 ? dh / 2 : rooms > 0 ? static_cast<int>(qint64(dh) * m_base.bookRoom / rooms) : 0;
    m_frame->setGeometry(m_base.grid.adjusted(0, 0, dw, bookDh));
    m_grid->setGeometry(m_frame->geometry());
    const QRect log = m_base.log.adjusted(0, bookDh, dw, dh);
    m_logList->setGeometry(log);
    m_calls->setGeometry(log);
    m_status->setGeometry(m_base.status.adjusted(0, dh, dw, dh));
    m_settingsButton->move(m_base.settings.topLeft() + QPoint(dw, 0));
    m_icon->move(m_base.icon.topLeft() + QPoint(dw, 0));
    m_callsButton->move(m_base.calls.topLeft() + QPoint(dw, 0));
    // The filter grows with the window; made narrower, it keeps its width until it
    // would come near the Calls button.
    const int room = m_callsButton->x() - m_base.gap - m_base.filter.left();
    m_filter->resize(std::max(m_base.minFilter, std::min(m_base.filter.width() + std::max(0, dw), room)),
                     m_base.filter.height());
    updateStatusLine();
}

void CVelkorDlg::resizeEvent(QResizeEvent* event)
{
    QDialog::resizeEvent(event);
    relayout();
}

void CVelkorDlg::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (m_fittedToScreen || event->spontaneous())
        return;
    m_fittedToScreen = true;
    const QScreen* s = screen();
    if (!s)
        return;
    // The window manager's frame, where it is known already, is part of what must fit.
    // A window too large for the screen in a direction starts at three quarters of the
    // screen there (never below its minimum), centred.
    const QRect available = s->availableGeometry();
    const QSize room = available.size() - (frameGeometry().size() - geometry().size());
    const auto fit = [](int natural, int space, int minimum) {
        return natural <= space ? natural : std::min(space, std::max(minimum, space * 3 / 4));
    };
    const QSize fitted(fit(width(), room.width(), minimumWidth()), fit(height(), room.height(), minimumHeight()));
    if (fitted == size())
        return;
    resize(fitted);
    move(available.center() - QPoint(fitted.width() / 2, fitted.height() / 2));
}

} // namespace velkor
