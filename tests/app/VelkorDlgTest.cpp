// The main dialog with its real parts: the decoder bank (fed by a file where a test
// needs decoded audio, by nothing otherwise), the command window, real files in a
// scratch working directory, real keys.
#include "DlgParts.h"

#include "addrbook/view/CAddrBookCtrl.h"
#include "addrbook/view/SuperGridModel.h"
#include "app/CPrefDlg.h"
#include "app/CVelkorDlg.h"
#include "app/DialogUnits.h"
#include "bank/DecoderBank.h"
#include "events/EventTime.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <regex>
#include <thread>

using namespace velkor;

namespace {

class VelkorDlg : public DlgFixture {
protected:
    CVelkorDlg& start(CVelkorDlg::Parts parts = testParts())
    {
        dlg = std::make_unique<CVelkorDlg>(std::move(parts), &told);
        programsQuestion = dlg->askQuit;
        dlg->askQuit = [this] {
            ++questions;
            return answer;
        };
        started = dlg->OnInitDialog();
        dlg->show();
        dlg->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(dlg.get()));
        settle();
        return *dlg;
    }

    std::function<bool()> programsQuestion; // the message box the program asks with
    bool started = false;
    int questions = 0;
    bool answer = false;
};

using Lines = std::vector<std::string>;

// Answers the modal dialog that opens next with a key, once its title is checked.
void answerModal(const char* title, Qt::Key key)
{
    QTimer::singleShot(0, [title, key] {
        QWidget* modal = QApplication::activeModalWidget();
        ASSERT_NE(modal, nullptr);
        EXPECT_EQ(modal->windowTitle(), title);
        QTest::keyClick(modal, key);
    });
}
const std::string demo = testsignal::sourceDir() + "/samples/demo.wav";
const std::string kCcsc = "CCSC | Control Channel System Codeword | SYSId: 0x0089 NET: 1 SITE: 1 LAB: 1";

TEST_F(VelkorDlg, StartsWithDefaultsWhenThereAreNoFiles)
{
    start();
    EXPECT_TRUE(started);
    EXPECT_EQ(newLines(), (Lines{"Starting decoder thread.", "Initialized and running."}));
    ASSERT_NE(dlg->decoderBank(), nullptr);
    EXPECT_EQ(dlg->decoderBank()->sampleRate(), 48000u);
    const velkor_settings_s s = dlg->currentSettings();
    EXPECT_EQ(s.samplerate, 48000u);
    EXPECT_TRUE(s.mute);
    EXPECT_TRUE(s.follow_calls);
    EXPECT_TRUE(s.auto_add);
    EXPECT_FALSE(s.scan_on_clear || s.backlight || s.return_to_cc);
    EXPECT_EQ(s.comport, 0u);
    EXPECT_FALSE(dlg->endCallButton()->isEnabled());
    EXPECT_TRUE(told.alerts.empty());
}

TEST_F(VelkorDlg, WithoutACommandWindowTheDialogStaysOpenAndStartsNothing)
{
    CVelkorDlg::Parts parts = testParts();
    parts.commandWindow = [](CmdWndOwner&) -> std::unique_ptr<CCmdWnd> { throw std::runtime_error("no window"); };
    start(std::move(parts));
    EXPECT_FALSE(started);
    EXPECT_EQ(told.alerts, std::vector<std::string>{"Error creating command window!"});
    EXPECT_EQ(newLines(), Lines{});
    EXPECT_EQ(dlg->decoderBank(), nullptr);
    // The settings still open and close; with nothing to restart nothing happens.
    answerModal("Settings", Qt::Key_Escape);
    dlg->OnSettings();
    EXPECT_EQ(newLines(), Lines{});
    EXPECT_TRUE(dlg->isVisible());
}

TEST_F(VelkorDlg, ASampleRateThatIsNoNumberIsLoggedWithTheKeyAndItsValue)
{
    writeFile("velkor.ini", "[audio]\nsamplerate=abc\n");
    start();
    EXPECT_EQ(newLines(),
              (Lines{"Starting decoder thread.", "ERROR: Couldn't start collecting data, usupported samplerate?",
                     "Reason: samplerate=abc in [audio] of velkor.ini is not a number", "Initialized and running."}));
    EXPECT_EQ(dlg->decoderBank(), nullptr);
}

TEST_F(VelkorDlg, ADecoderBankThatCannotBeBuiltIsLoggedOnceAndTriedAgainOnAnotherRate)
{
    writeFile("velkor.ini", "[audio]\nsamplerate=5\n");
    start();
    // The reason follows on a line of its own.
    Lines added = newLines();
    ASSERT_EQ(added.size(), 4u);
    EXPECT_EQ(added[2].rfind("Reason: sample rate 5 Hz", 0), 0u) << added[2];
    added.erase(added.begin() + 2);
    EXPECT_EQ(added,
              (Lines{"Starting decoder thread.", "ERROR: Couldn't start collecting data, usupported samplerate?",
                     "Initialized and running."}));
    EXPECT_EQ(dlg->decoderBank(), nullptr);
    reapply("[audio]\nsamplerate=5\n");
    EXPECT_EQ(newLines(), Lines{});
    reapply("[audio]\nsamplerate=22050\n");
    EXPECT_EQ(newLines(), Lines{"Starting decoder thread."});
    ASSERT_NE(dlg->decoderBank(), nullptr);
    EXPECT_EQ(dlg->decoderBank()->sampleRate(), 22050u);
}

TEST_F(VelkorDlg, ApplySettingsRestartsOnlyWhatChanged)
{
    writeFile("velkor.ini", "[audio]\nsamplerate=48000\nmute=1\n");
    start();
    newLines();
    DecoderBank* bank = dlg->decoderBank();

    // Unchanged: nothing restarts, nothing is logged.
    reapply("[audio]\nsamplerate=48000\nmute=1\n");
    EXPECT_EQ(newLines(), Lines{});
    EXPECT_EQ(dlg->decoderBank(), bank);

    // A flag: taken as on only when it is exactly 1; nothing restarts.
    reapply("[audio]\nsamplerate=48000\nmute=2\n[tracking]\nscan_on_clear=1\nbacklight=1\nreturn_to_cc=1\n"
            "follow_calls=0\nauto_add=7\n");
    EXPECT_EQ(newLines(), Lines{});
    EXPECT_EQ(dlg->decoderBank(), bank);
    velkor_settings_s s = dlg->currentSettings();
    EXPECT_FALSE(s.mute);
    EXPECT_TRUE(s.scan_on_clear && s.backlight && s.return_to_cc);
    EXPECT_FALSE(s.follow_calls || s.auto_add);

    // A new rate: a new bank.
    reapply("[audio]\nsamplerate=11025\n");
    EXPECT_EQ(newLines(), Lines{"Restarting decoder thread."});
    ASSERT_NE(dlg->decoderBank(), nullptr);
    EXPECT_EQ(dlg->decoderBank()->sampleRate(), 11025u);
    s = dlg->currentSettings();
    EXPECT_TRUE(s.mute && s.follow_calls && s.auto_add);
}

TEST_F(VelkorDlg, AnUnreadableSettingsFileChangesNothing)
{
    start();
    newLines();
    DecoderBank* bank = dlg->decoderBank();
    std::filesystem::create_directory("velkor.ini");
    dlg->ApplySettings();
    const Lines added = newLines();
    ASSERT_EQ(added.size(), 1u);
    EXPECT_EQ(added[0].rfind("ERROR reading velkor.ini: ", 0), 0u) << added[0];
    EXPECT_EQ(dlg->decoderBank(), bank);
}

TEST_F(VelkorDlg, SettingsDialogCancelledStillReappliesTheFile)
{
    start();
    newLines();
    // The settings dialog is modal: answer it from the event loop.
    writeFile("velkor.ini", "[audio]\nsamplerate=12000\n");
    answerModal("Settings", Qt::Key_Escape);
    QTest::mouseClick(dlg->settingsButton(), Qt::LeftButton);
    EXPECT_EQ(newLines(), Lines{"Restarting decoder thread."});
    EXPECT_EQ(readFile("velkor.ini"), "[audio]\nsamplerate=12000\n");
}

TEST_F(VelkorDlg, EnterDoesNothing)
{
    start();
    for (QWidget* w : {static_cast<QWidget*>(dlg->logListWidget()), static_cast<QWidget*>(dlg.get())}) {
        w->setFocus();
        QTest::keyClick(w, Qt::Key_Return);
        QTest::keyClick(w, Qt::Key_Enter, Qt::KeypadModifier);
    }
    EXPECT_TRUE(dlg->isVisible());
    EXPECT_EQ(questions, 0);
}

TEST_F(VelkorDlg, EveryAttemptToCloseSavesTheAddressBookAndAsks)
{
    start();
    dlg->AddAddr({1, 2, 3});
    answer = false;
    QTest::keyClick(dlg.get(), Qt::Key_Escape);
    EXPECT_EQ(questions, 1);
    EXPECT_TRUE(dlg->isVisible());
    EXPECT_NE(readFile("addrbook.ini").find("fleet0-unit0-Id=3"), std::string::npos);

    dlg->AddAddr({1, 2, 4});
    EXPECT_FALSE(dlg->close()); // the close box: No keeps the dialog
    EXPECT_EQ(questions, 2);
    EXPECT_NE(readFile("addrbook.ini").find("fleet0-unit1-Id=4"), std::string::npos);

    answer = true;
    EXPECT_TRUE(dlg->close());
    EXPECT_EQ(questions, 3);
    EXPECT_FALSE(dlg->isVisible());
    EXPECT_EQ(dlg->result(), 0);
}

TEST_F(VelkorDlg, CtrlQAsksToQuitAsTheCloseButtonDoes)
{
    start();
    dlg->show();
    dlg->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(dlg.get()));
    answer = false;
    // Through the window, as a key press comes: shortcuts are matched there.
    QTest::keyClick(dlg->windowHandle(), Qt::Key_Q, Qt::ControlModifier);
    EXPECT_EQ(questions, 1);
    EXPECT_TRUE(dlg->isVisible());
}

TEST_F(VelkorDlg, TheQuitQuestionHasItsExactTextAndOnlyYesQuits)
{
    start();
    dlg->askQuit = programsQuestion;
    for (const auto button : {QMessageBox::No, QMessageBox::Yes}) {
        QString asked;
        QTimer::singleShot(0, [&] {
            QTimer::singleShot(0, [&] {
                auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
                ASSERT_NE(box, nullptr);
                asked = box->windowTitle() + "|" + box->text();
                box->button(button)->click();
            });
        });
        QTest::keyClick(dlg.get(), Qt::Key_Escape);
        EXPECT_EQ(asked, "velkor|Are you sure you want to quit?   ");
        EXPECT_EQ(dlg->isVisible(), button == QMessageBox::No);
    }
}

TEST_F(VelkorDlg, ASignalSavesAndEndsWithoutAskingEvenFromTheSettingsDialog)
{
    start();
    dlg->AddAddr({7, 1, 9});
    // The signal arrives while the settings dialog runs its own modal loop.
    QTimer::singleShot(0, [this] {
        QTimer::singleShot(0, [this] {
            QWidget* modal = QApplication::activeModalWidget();
            EXPECT_TRUE(modal && modal->windowTitle() == "Settings");
            dlg->OnTerminate(15);
        });
        dlg->OnSettings();
    });
    EXPECT_EQ(dlg->exec(), 0);
    EXPECT_EQ(questions, 0);
    EXPECT_FALSE(dlg->isVisible());
    EXPECT_NE(readFile("addrbook.ini").find("[7]"), std::string::npos);
    EXPECT_FALSE(exists("velkor.ini")); // the settings dialog closed without saving
}

TEST_F(VelkorDlg, TeardownStopsTheBankBeforeTheCommandWindowGoes)
{
    // The bank decodes the demo recording as fast as it can on its own thread while the
    // dialog is destroyed; a post after the command window is gone would be a use after
    // free (the sanitizer build catches it).
    for (int round = 0; round < 5; ++round) {
        start(testParts(demo));
        std::this_thread::sleep_for(std::chrono::milliseconds(round * 3));
        dlg.reset();
    }
    start(testParts(demo));
    EXPECT_TRUE(waitForLine(kCcsc)); // the recording's lines arrive in the log list
}

TEST_F(VelkorDlg, DailyFilesWhereTheLogKeyOfVelkorIniSaysAndDecodingWithoutThem)
{
    // A directory that cannot be made: one line says so, and the recording is decoded.
    writeFile("plain", "a file");
    writeFile("velkor.ini", "[log]\ndir=plain/logs\n");
    start(testParts(demo));
    ASSERT_FALSE(lines().empty());
    EXPECT_EQ(lines()[0].rfind("ERROR: no daily log files: cannot create the log directory plain/logs: ", 0), 0u)
        << lines()[0];
    EXPECT_TRUE(waitForLine(kCcsc));
    dlg.reset();

    writeFile("velkor.ini", "[log]\ndir=logs\n");
    start(testParts(demo));
    const std::string events = "logs/velkor-" + localDate(EventClock::now()) + ".jsonl";
    const std::string named = R"(,"protocol":"mpt1327","names":{"target":{"system":"New System","fleet":"Fleet 1",)"
                              R"("unit":"100"},"origin":{"system":"New System","fleet":"Fleet 1","unit":"200"}}})";
    EXPECT_TRUE(waitFor(
        "a named event in " + events, [&] { return readFile(events).find(named) != std::string::npos; },
        [&] { return readFile(events); }));
    EXPECT_EQ(lines()[0], "Starting decoder thread.");
}

TEST_F(VelkorDlg, LaidOutInDialogUnits)
{
    start();
    EXPECT_EQ(dlg->windowTitle(), "  velkor  -  version " VELKOR_VERSION);
    // The rule, worked out here from the font: a horizontal unit is a quarter of the
    // average width of the 52 letters (rounded as the platform rounds it), a vertical
    // unit an eighth of the font's height, both grown by one factor across the dialog;
    // edges are scaled, not sizes, and round to the nearest pixel.
    const QFontMetrics fm(dlg->font());
    const int baseX = (fm.horizontalAdvance("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz") / 26 + 1) / 2;
    const double ux = baseX * dlg->units().growX() / 4.0;
    const double uy = fm.height() * dlg->units().growY() / 8.0;
    EXPECT_GE(dlg->units().growX(), 1.0);
    EXPECT_GE(dlg->units().growY(), 1.0);
    const auto px = [](int units, double unit) { return static_cast<int>(units * unit + 0.5); };
    const auto rect = [&](int l, int t, int w, int h) {
        return QRect(QPoint(px(l, ux), px(t, uy)), QPoint(px(l + w, ux) - 1, px(t + h, uy) - 1));
    };
    // The dialog's template: the log list grows downwards, and the dialog with it, where
    // its rectangle holds fewer than 8 lines.
    const QRect log = rect(7, 240, 443, 40);
    const int extra = dlg->logListWidget()->height() - log.height();
    EXPECT_GE(extra, 0);
    // Under the log list, as wide, the one-line status line; the margin below as before.
    const QRect status = dlg->statusLine()->geometry();
    const int statusRoom = status.bottom() - dlg->logListWidget()->geometry().bottom();
    EXPECT_GT(status.top(), dlg->logListWidget()->geometry().bottom());
    EXPECT_EQ(status.left(), log.left());
    EXPECT_EQ(status.width(), log.width());
    EXPECT_GE(status.height(), dlg->statusLine()->fontMetrics().height());
    EXPECT_EQ(dlg->size(), QSize(px(457, ux), px(287, uy) + extra + statusRoom));
    EXPECT_EQ(dlg->logListWidget()->geometry(), log.adjusted(0, 0, 0, extra));
    EXPECT_EQ(dlg->addrBook()->geometry(), rect(7, 30, 443, 203));
    EXPECT_EQ(dlg->settingsButton()->geometry(), rect(375, 9, 43, 14));
    EXPECT_EQ(dlg->endCallButton()->geometry(), rect(13, 9, 43, 14));
    EXPECT_EQ(dlg->iconLabel()->pos(), rect(429, 6, 20, 20).topLeft());
    EXPECT_EQ(dlg->filterField()->geometry(), rect(66, 9, 150, 14));
    EXPECT_EQ(dlg->endCallButton()->text(), "End Call");
    EXPECT_EQ(dlg->settingsButton()->text(), "Settings");
    EXPECT_EQ(dlg->addrBook()->Model().columnCount(), 4);
    const QFontMetrics logFont(dlg->logListWidget()->font());
    EXPECT_EQ(logFont.horizontalAdvance('i'), logFont.horizontalAdvance('W'))
        << QFontInfo(dlg->logListWidget()->font()).family().toStdString();
    EXPECT_EQ(dlg->logListWidget()->font().pointSize(), 9);
    EXPECT_EQ(dlg->logListWidget()->selectionMode(), QAbstractItemView::ExtendedSelection);
    EXPECT_FALSE(dlg->windowIcon().isNull());
}

TEST_F(VelkorDlg, AboutOpensFromTheIconAndTheContextMenu)
{
    start();
    answerModal("About velkor", Qt::Key_Return);
    QTest::mouseClick(dlg->iconLabel(), Qt::LeftButton);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);

    bool offered = false;
    QTimer::singleShot(0, [&offered] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        ASSERT_NE(menu, nullptr);
        ASSERT_EQ(menu->actions().size(), 1);
        offered = menu->actions()[0]->text() == "&About velkor...";
        answerModal("About velkor", Qt::Key_Escape);
        menu->actions()[0]->trigger();
        menu->close();
    });
    QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(200, 10), dlg->mapToGlobal(QPoint(200, 10)));
    QApplication::sendEvent(dlg.get(), &event);
    EXPECT_TRUE(offered);
}

} // namespace

namespace {

TEST_F(VelkorDlg, QuittingShowsWhyTheBookWasNotSavedBeforeTheQuestion)
{
    struct Case {
        const char* name;
        std::function<void()> before; // before start-up
        std::function<void()> after;  // after start-up
        const char* why;
    };
    const Case cases[] = {
        // A directory where the file should be: loading stops, the file is not replaced.
        {"load stopped early", [] { std::filesystem::create_directory("addrbook.ini"); }, [] {},
         "Address book not saved: loading addrbook.ini stopped early"},
        // The book loaded, but the file cannot be replaced any more.
        {"unwritable file", [] {}, [] { std::filesystem::create_directories("addrbook.ini/x"); },
         "Error saving address book: "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        dlg.reset();
        std::filesystem::remove_all("addrbook.ini");
        c.before();
        start();
        c.after();
        told.alerts.clear();
        std::vector<std::string> shownBeforeQuestion;
        dlg->askQuit = [&] {
            shownBeforeQuestion = told.alerts;
            return false;
        };
        QTest::keyClick(dlg.get(), Qt::Key_Escape);
        ASSERT_EQ(shownBeforeQuestion.size(), 1u);
        EXPECT_EQ(shownBeforeQuestion[0].rfind(c.why, 0), 0u) << shownBeforeQuestion[0];
        EXPECT_TRUE(std::filesystem::is_directory("addrbook.ini"));
    }
}

TEST_F(VelkorDlg, SaveLogWritesEveryLineOfTheRunWithItsReceiveTime)
{
    start();
    // More lines than the list keeps, one with a Windows-1252 letter.
    constexpr int kLines = 1100;
    for (int i = 0; i < kLines; ++i)
        dlg->commandWindow()->post(CMDWND_ADD_LOGSTR, LogText(i == 7 ? "Caf\xe9 7" : "line " + std::to_string(i)));
    ASSERT_TRUE(waitFor(
        "the last line in the list", [&] { return lines().back() == "line " + std::to_string(kLines - 1); },
        [&] { return lastLine(); }));
    ASSERT_EQ(dlg->logListWidget()->count(), 1001);

    const std::string saved = (dir / "run.log").string();
    dlg->askLogFile = [&] { return QString::fromStdString(saved); };
    // From the log list's context menu.
    bool offered = false;
    QTimer::singleShot(0, [&offered] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        ASSERT_NE(menu, nullptr);
        for (QAction* a : menu->actions())
            if (a->text() == "Save log...") {
                offered = true;
                a->trigger();
            }
        menu->close();
    });
    emit dlg->logListWidget()->customContextMenuRequested(QPoint(10, 10));
    ASSERT_TRUE(offered);

    std::istringstream in(readFile(saved));
    std::vector<std::string> texts;
    const std::regex stamped(R"((\d{4}/\d\d/\d\d \d\d:\d\d:\d\d)  (.*))");
    for (std::string line; std::getline(in, line);) {
        std::smatch m;
        ASSERT_TRUE(std::regex_match(line, m, stamped)) << line;
        texts.push_back(m[2]);
    }
    ASSERT_EQ(texts.size(), static_cast<size_t>(kLines) + 2);
    EXPECT_EQ(texts[0], "Starting decoder thread.");
    EXPECT_EQ(texts[1], "Initialized and running.");
    EXPECT_EQ(texts[2], "line 0");
    EXPECT_EQ(texts[2 + 7], "Caf\xc3\xa9 7");
    EXPECT_EQ(texts.back(), "line " + std::to_string(kLines - 1));
    EXPECT_TRUE(told.alerts.empty());

    // A file that cannot be written is reported.
    dlg->askLogFile = [&] { return QString::fromStdString((dir / "no-such-dir" / "run.log").string()); };
    dlg->OnSaveLog();
    ASSERT_EQ(told.alerts.size(), 1u);
    EXPECT_EQ(told.alerts[0].rfind("Couldn't save the log to ", 0), 0u) << told.alerts[0];
}

TEST_F(VelkorDlg, AWidenedColumnKeepsItsWidthForTheNextStart)
{
    writeFile("velkor.ini", "[audio]\r\nsamplerate=48000\r\n");
    start();
    QHeaderView* header = dlg->addrBook()->horizontalHeader();
    const int name = dlg->addrBook()->columnWidth(0);
    const int widened = dlg->addrBook()->columnWidth(1) + 40;
    header->resizeSection(1, widened); // what dragging the header's edge does
    ASSERT_TRUE(waitFor(
        "the width in velkor.ini", [&] { return readFile("velkor.ini").find("ident_width=") != std::string::npos; },
        [&] { return readFile("velkor.ini"); }));
    // Only the resized column, in velkor.ini's own line ends; the settings stay.
    const std::string ini = readFile("velkor.ini");
    EXPECT_EQ(ini.rfind("[audio]\r\nsamplerate=48000\r\n[view]\r\nident_width=", 0), 0u) << ini;
    EXPECT_EQ(ini.find("name_width"), std::string::npos);

    // The settings dialog's Save keeps it.
    QTimer::singleShot(0, [] {
        auto* prefs = qobject_cast<CPrefDlg*>(QApplication::activeModalWidget());
        ASSERT_NE(prefs, nullptr);
        QTest::mouseClick(prefs->m_save, Qt::LeftButton);
    });
    dlg->OnSettings();
    EXPECT_NE(readFile("velkor.ini").find("ident_width="), std::string::npos);

    dlg.reset();
    start();
    // Kept in dialog units, so back within the rounding of one unit.
    EXPECT_NEAR(dlg->addrBook()->columnWidth(1), widened, 1);
    EXPECT_EQ(dlg->addrBook()->columnWidth(0), name);
}

TEST_F(VelkorDlg, TheFilterShowsMatchesWithoutChangingTheBook)
{
    writeFile("addrbook.ini",
              "[1]\nsysName=North\nnumberOfFleets=1\nfleet0-Id=200\nfleet0-Name=Patrol\n"
              "fleet0-NrOfUnits=2\nfleet0-unit0-Id=2001\nfleet0-unit0-Name=Base\nfleet0-unit0-Checked=1\n"
              "fleet0-unit1-Id=7000123\nfleet0-unit1-Name=Car\nfleet0-unit1-Comment=night SHIFT\n"
              "fleet0-unit1-Checked=1\n[2]\nsysName=South\n");
    start();
    dlg->OnCancel(); // saves the book as the program writes it
    const std::string before = readFile("addrbook.ini");
    CAddrBookCtrl* grid = dlg->addrBook();
    const auto shown = [grid] {
        std::vector<std::string> names;
        for (int r = 0; r < grid->Model().rowCount(); ++r)
            if (!grid->isRowHidden(r))
                names.push_back(grid->Model().index(r, 0).data().toString().toStdString());
        return names;
    };
    using Names = std::vector<std::string>;
    struct Case {
        const char* text;
        Names shown;
    };
    // Name, ident or comment, in any case; a match brings its ancestors and descendants.
    for (const Case& c :
         {Case{"shift", {"North", "Patrol", "Car"}}, Case{"7000", {"North", "Patrol", "Car"}},
          Case{"patrol", {"North", "Patrol", "Base", "Car"}}, Case{"south", {"South"}}, Case{"nobody", {}}}) {
        SCOPED_TRACE(c.text);
        dlg->filterField()->setText(QString::fromLatin1(c.text));
        EXPECT_EQ(shown(), c.shown);
    }
    // A unit heard while the filter hides it is not lost, and a followed one is shown.
    dlg->AddAddr({1, 200, 2002});
    EXPECT_TRUE(waitFor(
        "the hidden unit in the book",
        [&] {
            return grid->Book().FindAddr({1, 200, 2002}) && shown().empty();
        },
        [&] { return std::to_string(shown().size()) + " rows shown"; }));
    EXPECT_EQ(dlg->IsAddrChecked({1, 200, 2001}, 1), 1);
    EXPECT_EQ(shown(), (Names{"North", "Patrol", "Base"}));
    EXPECT_EQ(grid->GetSelectedNode(), grid->Book().FindAddr({1, 200, 2001}));
    dlg->filterField()->clear();
    EXPECT_EQ(shown(), (Names{"North", "Patrol", "Base", "Car", "2002", "South"}));
    // Nothing was deleted or moved: the file is as before but for the new unit and the
    // followed unit's Last Seen.
    dlg->filterField()->setText("shift");
    grid->Book().DeleteNode(grid->Book().FindAddr({1, 200, 2002}));
    grid->Book().SetField(grid->Book().FindAddr({1, 200, 2001}), velkor::AddrField::LastSeen, "");
    dlg->OnCancel();
    EXPECT_EQ(readFile("addrbook.ini"), before);
}

// The status line says what the decoders decoded in the last minute: every line of
// the demo recording is an MPT 1327 line (samples/demo.log), none of another decoder.
// The book's context menu: Hold (said in the status line) and Lockout of the row's
// unit, which greys its row and shows its inherited priority.
TEST_F(VelkorDlg, TheBooksContextMenuHoldsAndLocksOut)
{
    start();
    dlg->AddAddr({1, 10, 100});
    CAddrBookCtrl* grid = dlg->addrBook();
    TreeItem* unit = grid->Book().FindAddr({1, 10, 100});
    grid->Book().SetRule(unit->parent, AddrEntry::kInherit, 3);
    grid->Book().ShowNode(unit);
    const QModelIndex row = grid->Model().index(grid->RowOfNode(unit), 0);
    for (const char* choice : {"Hold", "Lockout"}) {
        QTimer::singleShot(0, [choice] {
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            ASSERT_NE(menu, nullptr);
            for (QAction* action : menu->actions())
                if (action->text() == choice)
                    action->trigger();
            menu->close();
        });
        emit grid->customContextMenuRequested(grid->visualRect(row).center());
    }
    EXPECT_EQ(dlg->commandWindow()->tracker().holds(), (std::vector<velkor_address_s>{{1, 10, 100}}));
    dlg->updateStatusLine();
    EXPECT_NE(dlg->statusLine()->toolTip().toStdString().find(" | Hold: 100"), std::string::npos);
    EXPECT_EQ(unit->entry.lockout, 1);
    EXPECT_TRUE(row.data(Qt::ForegroundRole).isValid());
    EXPECT_EQ(row.data(Qt::DisplayRole).toString().toStdString(), "100  P3");
}

TEST_F(VelkorDlg, TheStatusLineCountsEachDecodersLinesOfTheLastMinute)
{
    const std::string log = readFile(testsignal::sourceDir() + "/samples/demo.log");
    const std::string expected = "Last minute: MPT 1327 " + std::to_string(std::count(log.begin(), log.end(), '\n'));
    start(testParts(demo));
    const std::regex shown(expected + R"( \(last \d\d:\d\d:\d\d\), NMT-450 0, Motorola 0 \| Control channel: .*)");
    std::string text;
    EXPECT_TRUE(waitFor(
        expected + " (last hh:mm:ss), NMT-450 0, Motorola 0 | ...",
        [&] {
            dlg->updateStatusLine();
            text = dlg->statusLine()->toolTip().toStdString();
            return std::regex_match(text, shown);
        },
        [&] { return text; }));
}

} // namespace
