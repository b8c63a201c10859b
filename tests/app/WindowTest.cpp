// The main window on a real X server (run by xvfb_test.sh: a 1280x900 screen at 144
// dpi) with the desktop font at 12 points: it starts on the screen with every control
// reachable, grows the book and the log list when resized, and its Calls list plays a
// recording to its end through the test PulseAudio server. Screenshots of the screen go
// to VELKOR_ARTIFACTS.
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

#include <sndfile.h>

#include <cmath>
#include <cstdlib>

namespace {

class Window : public DlgFixture {
protected:
    void SetUp() override
    {
        DlgFixture::SetUp();
        if (QGuiApplication::platformName() != QLatin1String("xcb"))
            GTEST_SKIP() << "needs an X server (run by xvfb_test.sh)";
        oldFont = QApplication::font();
        QFont font(QStringLiteral("DejaVu Sans"));
        font.setPointSize(12);
        QApplication::setFont(font);
    }
    void TearDown() override
    {
        DlgFixture::TearDown();
        QApplication::setFont(oldFont);
    }
    void open()
    {
        writeFile("addrbook.ini",
                  "[1]\nsysName=Demo\nnumberOfFleets=1\nfleet0-Id=1\nfleet0-Name=Fleet\n"
                  "fleet0-NrOfUnits=1\nfleet0-unit0-Id=100\nfleet0-unit0-Name=Base\n");
        dlg = std::make_unique<CVelkorDlg>(testParts(), &told);
        dlg->OnInitDialog();
        dlg->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(dlg.get()));
        settle();
    }
    // The whole screen, as a user sees it.
    // The window at 1100x800, in the middle of the screen.
    void resizeTo1100x800()
    {
        dlg->resize(1100, 800);
        dlg->move(QGuiApplication::primaryScreen()->availableGeometry().center() - QPoint(550, 400));
        ASSERT_TRUE(waitFor("the window at 1100x800", [&] { return dlg->size() == QSize(1100, 800); }));
        settle();
    }
    static void screenshot(const char* name)
    {
        const char* dir = std::getenv("VELKOR_ARTIFACTS");
        if (!dir)
            return;
        QDir().mkpath(QString::fromLocal8Bit(dir));
        const QString path = QDir(QString::fromLocal8Bit(dir)).filePath(QString::fromLatin1(name));
        EXPECT_TRUE(QGuiApplication::primaryScreen()->grabWindow(0).save(path)) << path.toStdString();
    }
    QFont oldFont;
};

TEST_F(Window, StartsOnTheScreenAndGivesTheBookAndTheLogTheRoom)
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    ASSERT_EQ(screen->size(), QSize(1280, 900));
    ASSERT_EQ(qRound(screen->logicalDotsPerInch()), 144);
    open();
    const QRect available = screen->availableGeometry();
    EXPECT_TRUE(available.contains(dlg->frameGeometry())) << dlg->width() << "x" << dlg->height();
    // Every control lies within the window: none is out of reach.
    const QList<QWidget*> controls{dlg->endCallButton(),  dlg->filterField(), dlg->callsButton(),
                                   dlg->settingsButton(), dlg->iconLabel(),   dlg->addrBook(),
                                   dlg->logListWidget(),  dlg->statusLine()};
    for (QWidget* w : controls)
        EXPECT_TRUE(dlg->rect().contains(w->geometry())) << w->objectName().toStdString();
    screenshot("velkor-window-12pt-144dpi.png");

    const QRect book = dlg->addrBook()->geometry();
    const QRect log = dlg->logListWidget()->geometry();
    resizeTo1100x800();
    EXPECT_GT(dlg->addrBook()->height(), book.height());
    EXPECT_GT(dlg->logListWidget()->height(), log.height());
    EXPECT_GT(dlg->addrBook()->width(), book.width());
    EXPECT_GT(dlg->logListWidget()->width(), log.width());
    for (QWidget* w : controls)
        EXPECT_TRUE(dlg->rect().contains(w->geometry())) << w->objectName().toStdString();
    screenshot("velkor-window-1100x800.png");
}

// A recording of a day folder, as the recorder leaves it: 1.5 s of a tone in FLAC and
// the call's JSON.
void writeRecording(const QString& folder)
{
    QDir().mkpath(folder);
    SF_INFO info{};
    info.samplerate = 48000;
    info.channels = 1;
    info.format = SF_FORMAT_FLAC | SF_FORMAT_PCM_16;
    SNDFILE* f = sf_open(QDir(folder).filePath("120000-1-1-100.flac").toLocal8Bit().constData(), SFM_WRITE, &info);
    ASSERT_NE(f, nullptr) << sf_strerror(nullptr);
    std::vector<short> tone(72000);
    for (size_t i = 0; i < tone.size(); ++i)
        tone[i] = static_cast<short>(8000 * std::sin(2 * M_PI * 1000 * static_cast<double>(i) / 48000));
    sf_write_short(f, tone.data(), static_cast<sf_count_t>(tone.size()));
    sf_close(f);
    testsignal::writeFile(
        QDir(folder).filePath("120000-1-1-100.json").toStdString(),
        R"({"freq":169200000,"start_time":1796904000,"stop_time":1796904002,"call_length":1.5,"talkgroup":100,)"
        R"("talkgroup_tag":"Base","audio_type":"analog","start":"2026-12-10T12:00:00.000Z",)"
        R"("stop":"2026-12-10T12:00:01.500Z","protocol":"mpt1327","system":1,)"
        R"("target":{"system":1,"fleet":1,"unit":100,"name":"Base"},)"
        R"("origin":{"system":1,"fleet":1,"unit":200,"name":""},"channel":17,"ended":"cleardown",)"
        R"("audio":"120000-1-1-100.flac"})"
        "\n");
}

TEST_F(Window, CallsListPlaysARecordingToItsEnd)
{
    if (!std::getenv("PULSE_SERVER")) {
        if (std::getenv("VELKOR_AUDIO_SERVER") && std::string(std::getenv("VELKOR_AUDIO_SERVER")) == "1")
            FAIL() << "VELKOR_AUDIO_SERVER=1 requires the PulseAudio test server (PULSE_SERVER)";
        GTEST_SKIP() << "no PulseAudio test server (PULSE_SERVER)";
    }
    writeRecording(QStringLiteral("rec/") + QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd")));
    writeFile("velkor.ini", "[record]\ndir=rec\n");
    open();
    resizeTo1100x800();
    QTest::mouseClick(dlg->callsButton(), Qt::LeftButton);
    CallsPane* calls = dlg->callsPane();
    ASSERT_TRUE(calls->isVisible());
    QTreeWidget* list = calls->list();
    ASSERT_TRUE(waitFor("the recording in the list", [&] { return list->topLevelItemCount() == 1; }));
    const QTreeWidgetItem* row = list->topLevelItem(0);
    EXPECT_EQ(row->text(1), "1.5 s");
    EXPECT_EQ(row->text(2), "mpt1327");
    EXPECT_EQ(row->text(3), "1-1-200 -> Base");
    EXPECT_EQ(row->text(4), "Ch 17, 169.2000 MHz");
    list->setCurrentItem(list->topLevelItem(0));
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
