// The main window at 12 points on an X screen of 1280x900 at 144 dpi (xvfb_test.sh):
// on the screen with every control in it, the book and the log list grown by a resize,
// and the Calls list playing a recording to its end through the test PulseAudio server.
// Screenshots of the screen go to VELKOR_ARTIFACTS.
#include "DlgParts.h"

#include "addrbook/view/CAddrBookCtrl.h"
#include "app/CallsPane.h"

#include <QDate>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMediaPlayer>
#include <QPushButton>
#include <QScreen>
#include <QTreeWidget>

namespace {

class Window : public DlgFixture {
protected:
    void SetUp() override
    {
        DlgFixture::SetUp();
        if (QGuiApplication::platformName() != QLatin1String("xcb"))
            GTEST_SKIP() << "needs an X server (run by xvfb_test.sh)";
        QApplication::setFont(QFont(QStringLiteral("DejaVu Sans"), 12));
        writeFile("addrbook.ini", "[1]\nsysName=Demo\nnumberOfFleets=1\nfleet0-Id=1\nfleet0-NrOfUnits=0\n");
    }
    void open()
    {
        dlg = std::make_unique<CVelkorDlg>(testParts(), &told);
        dlg->OnInitDialog();
        dlg->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(dlg.get()));
    }
    void resizeTo1100x800()
    {
        dlg->setGeometry(QRect(QPoint(90, 50), QSize(1100, 800)));
        ASSERT_TRUE(waitFor("the window at 1100x800", [&] { return dlg->size() == QSize(1100, 800); }));
        settle();
    }
    static void screenshot(const char* name)
    {
        const QString dir = qEnvironmentVariable("VELKOR_ARTIFACTS");
        if (!dir.isEmpty() && QDir().mkpath(dir)) {
            EXPECT_TRUE(QGuiApplication::primaryScreen()->grabWindow(0).save(QDir(dir).filePath(name)));
        }
    }
};

TEST_F(Window, StartsOnTheScreenAndGivesTheBookAndTheLogTheRoom)
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    ASSERT_EQ(screen->size(), QSize(1280, 900));
    ASSERT_EQ(qRound(screen->logicalDotsPerInch()), 144);
    open();
    EXPECT_TRUE(screen->availableGeometry().contains(dlg->frameGeometry())) << dlg->width() << "x" << dlg->height();
    const QList<QWidget*> controls{dlg->endCallButton(),  dlg->filterField(), dlg->callsButton(),
                                   dlg->settingsButton(), dlg->iconLabel(),   dlg->addrBook(),
                                   dlg->logListWidget(),  dlg->statusLine()};
    for (QWidget* w : controls)
        EXPECT_TRUE(dlg->rect().contains(w->geometry())) << w->objectName().toStdString();
    screenshot("velkor-window-12pt-144dpi.png");
    const QRect book = dlg->addrBook()->geometry(), log = dlg->logListWidget()->geometry();
    resizeTo1100x800();
    EXPECT_GT(dlg->addrBook()->height(), book.height());
    EXPECT_GT(dlg->logListWidget()->height(), log.height());
    EXPECT_GT(dlg->addrBook()->width(), book.width());
    EXPECT_GT(dlg->logListWidget()->width(), log.width());
    for (QWidget* w : controls)
        EXPECT_TRUE(dlg->rect().contains(w->geometry())) << w->objectName().toStdString();
    screenshot("velkor-window-1100x800.png");
}

TEST_F(Window, CallsListPlaysARecordingToItsEnd)
{
    if (qEnvironmentVariableIsEmpty("PULSE_SERVER")) {
        ASSERT_NE(qEnvironmentVariable("VELKOR_AUDIO_SERVER"), "1") << "VELKOR_AUDIO_SERVER=1 needs PULSE_SERVER";
        GTEST_SKIP() << "no PulseAudio test server (PULSE_SERVER)";
    }
    // A recording as the recorder leaves it: 1.5 s of a tone in FLAC, and its JSON.
    const std::string day = "rec/" + QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd")).toStdString();
    QDir().mkpath(QString::fromStdString(day));
    ASSERT_EQ(testsignal::runTool(
                  testsignal::findProgram("sox"),
                  {"-n", "-r", "48000", "-c", "1", day + "/120000-1-1-100.flac", "synth", "1.5", "sine", "1000"})
                  .status,
              0);
    writeFile(day + "/120000-1-1-100.json",
              R"({"freq":169200000,"start_time":1796904000,"stop_time":1796904002,"call_length":1.5,"talkgroup":100,)"
              R"("talkgroup_tag":"Base","audio_type":"analog","start":"2026-12-10T12:00:00.000Z","stop":)"
              R"("2026-12-10T12:00:01.500Z","protocol":"mpt1327","system":1,"target":{"system":1,"fleet":1,)"
              R"("unit":100,"name":"Base"},"origin":{"system":1,"fleet":1,"unit":200,"name":""},"channel":17,)"
              R"("ended":"cleardown","audio":"120000-1-1-100.flac"})");
    writeFile("velkor.ini", "[record]\ndir=rec\n");
    open();
    resizeTo1100x800();
    QTest::mouseClick(dlg->callsButton(), Qt::LeftButton);
    CallsPane* calls = dlg->callsPane();
    ASSERT_TRUE(calls->isVisible());
    QTreeWidget* list = calls->list();
    ASSERT_TRUE(waitFor("the recording in the list", [&] { return list->topLevelItemCount() == 1; }));
    const QTreeWidgetItem* row = list->topLevelItem(0);
    EXPECT_EQ(QStringList({row->text(1), row->text(2), row->text(3), row->text(4)}).join('|'),
              "1.5 s|mpt1327|1-1-200 -> Base|Ch 17, 169.2000 MHz");
    list->setCurrentItem(list->topLevelItem(0));
    QUrl opened;
    calls->openUrl = [&](const QUrl& url) { return opened = url, true; };
    QTest::mouseClick(calls->folderButton(), Qt::LeftButton);
    EXPECT_EQ(opened, QUrl::fromLocalFile(QDir::current().absoluteFilePath(QString::fromStdString(day))));
    bool ended = false;
    QObject::connect(calls, &CallsPane::playedToEnd, [&] { ended = true; });
    QTest::mouseClick(calls->playButton(), Qt::LeftButton);
    ASSERT_TRUE(waitFor(
        "the player at the end of the recording", [&] { return ended; },
        [&] { return calls->statusLabel()->text().toStdString(); }));
    EXPECT_EQ(calls->player()->error(), QMediaPlayer::NoError);
    screenshot("velkor-calls.png");
}

} // namespace
