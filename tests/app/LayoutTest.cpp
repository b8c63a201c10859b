// Nothing is cut: every dialog with the desktop's font at 9 and 12 points, at 96 dpi
// and at 144 dpi (as the pixel sizes that those point sizes have there; the test
// platform's screen is always 96 dpi), gives every label, check box, button, list and
// column header the room its size hint asks for, and the address book's columns the
// room for 7-digit idents and full Last Seen times. The widths a text needs are
// measured with the font itself: a cell's text is inset 6 pixels on each side.
#include "AppFixture.h"
#include "DlgParts.h"

#include "addrbook/view/CAddrBookCtrl.h"
#include "addrbook/view/SuperGridModel.h"
#include "app/CAboutDlg.h"
#include "app/CPrefDlg.h"
#include "app/CVelkorDlg.h"
#include "app/PortItemDelegate.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QHelpEvent>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QToolTip>

using namespace velkor;

namespace {

struct FontCase {
    const char* name;
    int points; // at 96 dpi
    int dpi;
};

class Layout : public AppFixture, public ::testing::WithParamInterface<FontCase> {
protected:
    void SetUp() override
    {
        AppFixture::SetUp();
        oldFont = QApplication::font();
        QFont font(QStringLiteral("DejaVu Sans"));
        font.setPixelSize((GetParam().points * GetParam().dpi + 36) / 72);
        QApplication::setFont(font);
    }
    void TearDown() override
    {
        QApplication::setFont(oldFont);
        AppFixture::TearDown();
    }
    static void show(QWidget& w)
    {
        w.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    }
    // Every control with a text of its own is at least as large as its size hint says
    // (group boxes and buttons in width), and lies inside the dialog.
    static void expectTextsFit(const QWidget& dialog)
    {
        int checked = 0;
        for (const QWidget* w : dialog.findChildren<QWidget*>()) {
            if (!w->isVisibleTo(&dialog) || w->parentWidget() != &dialog)
                continue;
            QString text;
            bool height = true;
            if (auto* l = qobject_cast<const QLabel*>(w)) {
                text = l->text();
                height = !l->wordWrap();
            } else if (auto* b = qobject_cast<const QCheckBox*>(w)) {
                text = b->text();
            } else if (auto* p = qobject_cast<const QPushButton*>(w)) {
                text = p->text();
                height = false;
            } else if (auto* g = qobject_cast<const QGroupBox*>(w)) {
                text = g->title();
                height = false;
            } else if (auto* c = qobject_cast<const QComboBox*>(w)) {
                text = c->currentText();
            } else {
                continue;
            }
            if (text.isEmpty() && !qobject_cast<const QComboBox*>(w))
                continue;
            ++checked;
            const QSize hint = w->sizeHint().expandedTo(w->minimumSizeHint());
            SCOPED_TRACE(text.toStdString());
            EXPECT_GE(w->width(), hint.width());
            if (height) {
                EXPECT_GE(w->height(), hint.height());
            }
            EXPECT_TRUE(dialog.rect().contains(w->geometry()));
        }
        EXPECT_GT(checked, 0);
    }

    QFont oldFont;
};

INSTANTIATE_TEST_SUITE_P(Fonts, Layout,
                         ::testing::Values(FontCase{"9pt_96dpi", 9, 96}, FontCase{"12pt_96dpi", 12, 96},
                                           FontCase{"9pt_144dpi", 9, 144}, FontCase{"12pt_144dpi", 12, 144}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_P(Layout, SettingsDialogAndItsOpenedPortList)
{
    writeFile("velkor.ini", "[serial]\ncom1=/dev/serial/by-id/usb-Prolific_Technology_Inc._USB-Serial-if00-port0\n");
    CPrefDlg dlg(told);
    show(dlg);
    std::printf("Settings, %s: %dx%d pixels, grown %.3f x %.3f\n", GetParam().name, dlg.width(), dlg.height(),
                dlg.units().growX(), dlg.units().growY());
    expectTextsFit(dlg);
    QComboBox* ports = dlg.m_comPort;
    ports->showPopup();
    QAbstractItemView* list = ports->view();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(list->window()));
    const QFontMetrics fm(list->font());
    for (int row = 0; row < ports->count(); ++row) {
        const QString text = PortItemDelegate::RowText(ports->model()->index(row, 0));
        EXPECT_GE(list->viewport()->width(), fm.horizontalAdvance(text)) << text.toStdString();
    }
    ports->hidePopup();
}

TEST_P(Layout, AboutBox)
{
    CAboutDlg about;
    show(about);
    expectTextsFit(about);
    for (auto* l : about.findChildren<QLabel*>()) {
        if (l->wordWrap()) {
            EXPECT_GE(l->height(), l->heightForWidth(l->width())) << l->text().toStdString();
        }
    }
}

TEST_P(Layout, MainDialogColumnsHoldSevenDigitIdentsAndFullTimes)
{
    writeFile("addrbook.ini",
              "[4000001]\nsysName=NMT\nnumberOfFleets=1\nfleet0-Id=8888888\nfleet0-Name=Subscribers\n"
              "fleet0-NrOfUnits=2\nfleet0-unit0-Id=7000123\nfleet0-unit0-Name=Car 7\n"
              "fleet0-unit0-LastSeen=2026/12/09 22:48:08\nfleet0-unit0-Checked=1\n"
              "fleet0-unit1-Id=9999999\nfleet0-unit1-Name=Portable\nfleet0-unit1-LastSeen=2026/08/28 00:00:00\n");
    CVelkorDlg dlg(testParts(), &told);
    dlg.OnInitDialog();
    show(dlg);
    expectTextsFit(dlg);
    CAddrBookCtrl* grid = dlg.addrBook();
    grid->ExpandAll(grid->GetRoot("4000001"));
    ASSERT_EQ(grid->Model().rowCount(), 4);
    const QFontMetrics fm(grid->font());
    for (int c = 0; c < 4; ++c)
        EXPECT_GE(grid->columnWidth(c), grid->horizontalHeader()->sectionSizeHint(c)) << c;
    for (int row = 0; row < 4; ++row)
        for (int c : {1, 3}) {
            const QString text = grid->Model().index(row, c).data().toString();
            EXPECT_GE(grid->columnWidth(c), fm.horizontalAdvance(text) + 12) << text.toStdString();
        }
    // The columns fit the grid side by side, with room for the vertical scroll bar.
    int total = 0;
    for (int c = 0; c < 4; ++c)
        total += grid->columnWidth(c);
    EXPECT_LE(total, grid->viewport()->width() - grid->style()->pixelMetric(QStyle::PM_ScrollBarExtent));
    EXPECT_FALSE(grid->horizontalScrollBar()->isVisible());
}

TEST_P(Layout, LogListShowsEightLinesAndElidesLongOnes)
{
    CVelkorDlg dlg(testParts(), &told);
    dlg.OnInitDialog();
    show(dlg);
    const QString longLine =
        QStringLiteral("GTC  | Go To Channel Voice             | Ch:  17 (  1) Org:  200 Tar:  100 ").repeated(4);
    for (int i = 0; i < 20; ++i)
        dlg.AppendLogLine(longLine.toLatin1().constData());
    QListWidget* log = dlg.logListWidget();
    const int line = QFontMetrics(log->font()).height();
    EXPECT_GE(log->viewport()->height() / std::max(line, log->sizeHintForRow(0)), 8);
    EXPECT_GE(dlg.logListLines(), 8);
    EXPECT_FALSE(log->horizontalScrollBar()->isVisible());
    EXPECT_LE(log->visualRect(log->model()->index(0, 0)).width(), log->viewport()->width());
    // The tooltip of a shortened line shows all of it.
    const QModelIndex last = log->model()->index(log->count() - 1, 0);
    log->scrollToBottom();
    const QPoint at = log->visualRect(last).center();
    QHelpEvent help(QEvent::ToolTip, at, log->viewport()->mapToGlobal(at));
    QApplication::sendEvent(log->viewport(), &help);
    EXPECT_EQ(QToolTip::text().toStdString(), longLine.toStdString());
    QToolTip::hideText();
}

} // namespace
