// The main dialog setting up the receiver through the command window, with the
// simulated scanner on a pseudo-terminal as COM1.
#include "DlgParts.h"

#include "app/CallsPane.h"

#include "addrbook/view/CAddrBookCtrl.h"
#include "addrbook/view/CListEditCtrl.h"
#include "cmdwnd/CCmdWnd.h"
#include "fixtures/RigctlServers.h"
#include "fixtures/ScannerSimulator.h"

#include <QApplication>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

using namespace velkor;

namespace {

class VelkorDlgReceiver : public DlgFixture {
protected:
    void start(const std::string& ini)
    {
        writeFile("velkor.ini", ini);
        dlg = std::make_unique<CVelkorDlg>(testParts(), &told);
        dlg->OnInitDialog();
        settle();
    }
    std::string serial() const { return "[serial]\ncom1=" + sim.devicePath() + "\n"; }
    // True when nobody holds the scanner's port any more.
    bool portFree() const
    {
        const int fd = ::open(sim.devicePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (fd < 0)
            return false;
        const bool free = ::flock(fd, LOCK_EX | LOCK_NB) == 0;
        ::close(fd);
        return free;
    }

    // The system heard, then a call from origin to the checked unit 1-100 on channel 17.
    ::testing::AssertionResult follow(velkor_address_s origin = {})
    {
        dlg->commandWindow()->post(CMDWND_REPORT_SYSTEM, velkor_address_s{1, 0, 0});
        velkor_call_s call;
        call.target = {1, 1, 100};
        call.origin = origin;
        call.control_channel = 1;
        call.channel = 17;
        dlg->commandWindow()->post(CMDWND_REPORT_CALL, call);
        return waitFor(
            "the call followed", [&] { return dlg->endCallButton()->isEnabled(); }, [&] { return lastLine(); });
    }

    ScannerSimulator sim{ScannerFamily::Uniden780};
};

using Lines = std::vector<std::string>;

TEST_F(VelkorDlgReceiver, AReceiverOnAMissingPortLogsTheErrorAfterStartUp)
{
    start("[tracking]\ncomport=2\n[serial]\ncom2=" + (dir / "no-such-device").string() + "\n");
    EXPECT_EQ(newLines(),
              (Lines{"Starting decoder thread.", "Initialized and running.",
                     "ERROR initializing receiver on serial port 2: Error opening serial port!",
                     "Reason: Cannot open " + (dir / "no-such-device").string() + ": No such file or directory"}));
}

TEST_F(VelkorDlgReceiver, OnlyAChangedTypePortOrMemoryRecreatesTheReceiver)
{
    start("[tracking]\ncomport=1\n" + serial());
    EXPECT_EQ(newLines(),
              (Lines{"Starting decoder thread.", "Initialized and running.",
                     "Initialized Uniden 245/780 on serial port 1."}));
    EXPECT_FALSE(portFree());

    // A flag: nothing restarts, the scanner hears nothing.
    sim.clearReceived();
    reapply("[tracking]\ncomport=1\nbacklight=1\n" + serial());
    EXPECT_EQ(newLines(), Lines{});
    EXPECT_EQ(sim.received(), "");

    // The memory number alone: a new receiver.
    reapply("[tracking]\ncomport=1\nmemory=5\n" + serial());
    EXPECT_EQ(newLines(), Lines{"Initialized Uniden 245/780 on serial port 1."});

    // A type outside the list builds the 245/780 driver.
    reapply("[tracking]\ncomport=1\nmemory=5\nreceiver_type=9\n" + serial());
    EXPECT_EQ(newLines(), Lines{"Initialized Uniden 245/780 on serial port 1."});

    // Port None: the receiver goes without a word and lets go of the port.
    reapply("[tracking]\ncomport=0\n" + serial());
    EXPECT_EQ(newLines(), Lines{});
    EXPECT_TRUE(portFree());
}

TEST_F(VelkorDlgReceiver, AChangedServerRecreatesOnlyTheNetworkReceiver)
{
    rigtest::Rigctld first;
    rigtest::Rigctld second;
    ASSERT_TRUE(first.ready() && second.ready()) << first.error() << second.error();
    start("[tracking]\ncomport=1\n" + serial());
    newLines();
    // The server of a serial scanner's user: nothing restarts.
    reapply("[tracking]\ncomport=1\n[rigctl]\nserver=" + first.address() + "\n" + serial());
    EXPECT_EQ(newLines(), Lines{});
    reapply("[tracking]\nreceiver_type=3\ncomport=1\n[rigctl]\nserver=" + first.address() + "\n");
    EXPECT_EQ(newLines(), Lines{"Initialized Hamlib rigctl on server " + first.address() + "."});
    EXPECT_TRUE(portFree());
    reapply("[tracking]\nreceiver_type=3\ncomport=1\nbacklight=1\n[rigctl]\nserver=" + first.address() + "\n");
    EXPECT_EQ(newLines(), Lines{});
    reapply("[tracking]\nreceiver_type=3\ncomport=1\n[rigctl]\nserver=" + second.address() + "\n");
    EXPECT_EQ(newLines(), Lines{"Initialized Hamlib rigctl on server " + second.address() + "."});
}

TEST_F(VelkorDlgReceiver, QuittingGivesTheScannerBack)
{
    start("[tracking]\ncomport=1\n" + serial());
    newLines();
    EXPECT_FALSE(portFree());
    dlg.reset();
    EXPECT_TRUE(portFree());
}

TEST_F(VelkorDlgReceiver, EndCallButtonFollowsTheTrackerAndPostsEndCall)
{
    writeFile("addrbook.ini",
              "[1]\nsysName=Demo\nnumberOfFleets=1\nfleet0-Id=1\nfleet0-Name=Fleet\nfleet0-NrOfUnits=1\n"
              "fleet0-unit0-Id=100\nfleet0-unit0-Name=Base\nfleet0-unit0-Checked=1\n");
    sim.setSquelchOpen(true); // the call goes on until End Call ends it
    start("[tracking]\ncomport=1\n" + serial());
    EXPECT_FALSE(dlg->endCallButton()->isEnabled());
    ASSERT_TRUE(follow());
    newLines();
    // The Calls list has the call of this run, its length once it has ended.
    QTreeWidget* calls = dlg->callsPane()->list();
    ASSERT_EQ(calls->topLevelItemCount(), 1);
    EXPECT_EQ(calls->topLevelItem(0)->text(1) + "|" + calls->topLevelItem(0)->text(3), "...|? -> Base");
    // The click ends the call through the command window: the tracker logs its length
    // and lets the button go.
    QTest::mouseClick(dlg->endCallButton(), Qt::LeftButton);
    ASSERT_TRUE(waitFor(
        "the call ended", [&] { return !dlg->endCallButton()->isEnabled(); }, [&] { return lastLine(); }));
    const Lines added = newLines();
    ASSERT_EQ(added.size(), 1u);
    EXPECT_EQ(added[0].rfind("     | Call duration:", 0), 0u) << added[0];
    EXPECT_TRUE(calls->topLevelItem(0)->text(1).endsWith(" s")) << calls->topLevelItem(0)->text(1).toStdString();
    // With no call, a click does nothing.
    dlg->enableEndCall(true);
    QTest::mouseClick(dlg->endCallButton(), Qt::LeftButton);
    settle();
    EXPECT_EQ(newLines(), Lines{});
}

TEST_F(VelkorDlgReceiver, TypingInACellSurvivesAFollowedCallThatReportsItsUnit)
{
    // Unit 300 calls the checked unit 100 while the user types a comment for 300.
    writeFile("addrbook.ini",
              "[1]\nsysName=Demo\nnumberOfFleets=1\nfleet0-Id=1\nfleet0-Name=Fleet\nfleet0-NrOfUnits=2\n"
              "fleet0-unit0-Id=100\nfleet0-unit0-Name=Base\nfleet0-unit0-Checked=1\n"
              "fleet0-unit1-Id=300\nfleet0-unit1-Name=Car\nfleet0-unit1-Checked=0\n");
    start("[tracking]\ncomport=1\n" + serial());
    dlg->show();
    dlg->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(dlg.get()));
    CAddrBookCtrl* grid = dlg->addrBook();
    TreeItem* car = grid->Book().FindAddr({1, 1, 300});
    grid->setFocus();
    grid->SelectNode(car);
    grid->SetCurrentColumn(CAddrBookCtrl::kColComment);
    QTest::keyClick(grid, Qt::Key_Return);
    auto* box = qobject_cast<CListEditCtrl*>(QApplication::focusWidget());
    ASSERT_NE(box, nullptr);
    QTest::keyClicks(box, "Base sta");

    ASSERT_TRUE(follow({1, 1, 300}));

    EXPECT_EQ(QApplication::focusWidget(), box);
    EXPECT_EQ(box->text(), "Base sta");
    EXPECT_EQ(car->entry.comment, "");
    EXPECT_FALSE(car->entry.lastSeen.empty()); // the report was handled
    QTest::keyClicks(box, "tion");
    QTest::keyClick(box, Qt::Key_Return);
    EXPECT_EQ(car->entry.comment, "Base station");
    EXPECT_EQ(grid->GetSelectedNode(), grid->Book().FindAddr({1, 1, 100}));
}

TEST_F(VelkorDlgReceiver, ASignalKeepsWhatIsTypedInAnOpenCell)
{
    writeFile("addrbook.ini",
              "[1]\nsysName=Demo\nnumberOfFleets=1\nfleet0-Id=1\nfleet0-NrOfUnits=1\n"
              "fleet0-unit0-Id=300\nfleet0-unit0-Name=Car\n");
    start("");
    dlg->show();
    dlg->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(dlg.get()));
    CAddrBookCtrl* grid = dlg->addrBook();
    grid->setFocus();
    grid->SelectNode(grid->Book().FindAddr({1, 1, 300}));
    grid->SetCurrentColumn(CAddrBookCtrl::kColComment);
    QTest::keyClick(grid, Qt::Key_Return);
    auto* box = qobject_cast<CListEditCtrl*>(QApplication::focusWidget());
    ASSERT_NE(box, nullptr);
    QTest::keyClicks(box, "Night shift");

    dlg->OnTerminate(15);
    EXPECT_NE(readFile("addrbook.ini").find("fleet0-unit0-Comment=Night shift"), std::string::npos)
        << readFile("addrbook.ini");
}

} // namespace
