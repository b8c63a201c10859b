// The settings dialog with real widgets, keys and files: what it shows for each stored
// file, what it writes back, and which keys close it how.
#include "AppFixture.h"

#include "app/CPrefDlg.h"
#include "app/DialogUnits.h"
#include "app/PortItemDelegate.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QTest>
#include <QToolButton>

using namespace velkor;

namespace {

class PrefDlg : public AppFixture {
protected:
    std::unique_ptr<CPrefDlg> open()
    {
        auto dlg = std::make_unique<CPrefDlg>(told);
        dlg->show();
        dlg->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(dlg.get()));
        return dlg;
    }
    // Presses Enter in a control and reports whether the dialog closed with OK.
    static int enterIn(CPrefDlg& dlg, QWidget* control)
    {
        control->setFocus();
        QTest::keyClick(control, Qt::Key_Return);
        EXPECT_FALSE(dlg.isVisible());
        return dlg.result();
    }
    static std::string shown(const CPrefDlg& d)
    {
        const auto box = [](const QCheckBox* b) { return b->isChecked() ? "1" : "0"; };
        std::ostringstream s;
        s << "rate=" << d.m_sampleRate->currentText().toStdString() << " mute=" << box(d.m_mute)
          << " type=" << d.m_receiverType->currentIndex() << " port=" << d.m_comPort->currentIndex()
          << " memory=" << d.m_memory->text().toStdString() << " follow=" << box(d.m_followCalls)
          << " scan=" << box(d.m_scanOnClear) << " add=" << box(d.m_autoAdd) << " backlight=" << box(d.m_backlight)
          << " cc=" << box(d.m_returnToCc);
        return s.str();
    }
};

struct LoadSaveCase {
    const char* name;
    const char* file; // nullptr: no file
    const char* shown;
    const char* saved; // the whole file after Save without changes
};

const LoadSaveCase kLoadSave[] = {
    {"no file", nullptr, "rate=48000 mute=1 type=0 port=0 memory=0 follow=1 scan=0 add=1 backlight=0 cc=0",
     "[audio]\nsamplerate=48000\nmute=1\n[tracking]\nreceiver_type=0\ncomport=0\nmemory=0\n"
     "follow_calls=1\nscan_on_clear=0\nauto_add=1\nbacklight=0\nreturn_to_cc=0\n"},
    {"every value set",
     "[audio]\nsamplerate=11025\nmute=0\n[tracking]\nreceiver_type=2\ncomport=3\nmemory=17\n"
     "follow_calls=0\nscan_on_clear=1\nauto_add=0\nbacklight=1\nreturn_to_cc=1\n",
     "rate=11025 mute=0 type=2 port=3 memory=17 follow=0 scan=1 add=0 backlight=1 cc=1",
     "[audio]\nsamplerate=11025\nmute=0\n[tracking]\nreceiver_type=2\ncomport=3\nmemory=17\n"
     "follow_calls=0\nscan_on_clear=1\nauto_add=0\nbacklight=1\nreturn_to_cc=1\n"},
    // Any non-zero value checks a box and is written back as 1; a rate outside the list
    // is shown and saved as it stands.
    {"odd values",
     "[audio]\nsamplerate=8000\nmute=2\n[tracking]\nreceiver_type=1\ncomport=4\nmemory=-3\n"
     "follow_calls=-1\nscan_on_clear=7\nauto_add=0x\nbacklight=3abc\nreturn_to_cc=9\n",
     "rate=8000 mute=1 type=1 port=4 memory=-3 follow=1 scan=1 add=0 backlight=1 cc=1",
     "[audio]\nsamplerate=8000\nmute=1\n[tracking]\nreceiver_type=1\ncomport=4\nmemory=-3\n"
     "follow_calls=1\nscan_on_clear=1\nauto_add=0\nbacklight=1\nreturn_to_cc=1\n"},
    // Lists without a selection keep the stored numbers instead of writing 4294967295.
    {"indexes outside the lists", "[tracking]\nreceiver_type=4\ncomport=9\n",
     "rate=48000 mute=1 type=-1 port=-1 memory=0 follow=1 scan=0 add=1 backlight=0 cc=0",
     "[tracking]\nreceiver_type=4\ncomport=9\nmemory=0\nfollow_calls=1\nscan_on_clear=0\nauto_add=1\n"
     "backlight=0\nreturn_to_cc=0\n[audio]\nsamplerate=48000\nmute=1\n"},
    {"negative port", "[tracking]\ncomport=-1\n",
     "rate=48000 mute=1 type=0 port=-1 memory=0 follow=1 scan=0 add=1 backlight=0 cc=0",
     "[tracking]\ncomport=4294967295\nreceiver_type=0\nmemory=0\nfollow_calls=1\nscan_on_clear=0\nauto_add=1\n"
     "backlight=0\nreturn_to_cc=0\n[audio]\nsamplerate=48000\nmute=1\n"},
    // A number longer than the field allows is shown and kept as it stands.
    {"long memory number", "[tracking]\nmemory=123456\n",
     "rate=48000 mute=1 type=0 port=0 memory=123456 follow=1 scan=0 add=1 backlight=0 cc=0",
     "[tracking]\nmemory=123456\nreceiver_type=0\ncomport=0\nfollow_calls=1\nscan_on_clear=0\nauto_add=1\n"
     "backlight=0\nreturn_to_cc=0\n[audio]\nsamplerate=48000\nmute=1\n"},
};

TEST_F(PrefDlg, ShowsAndSavesBackEveryStoredFile)
{
    for (const LoadSaveCase& c : kLoadSave) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove("velkor.ini");
        if (c.file)
            writeFile("velkor.ini", c.file);
        auto dlg = open();
        EXPECT_EQ(shown(*dlg), c.shown);
        QTest::mouseClick(dlg->m_save, Qt::LeftButton);
        EXPECT_EQ(dlg->result(), QDialog::Accepted);
        EXPECT_EQ(readFile("velkor.ini"), c.saved);
        EXPECT_TRUE(told.alerts.empty());
    }
}

// The network receiver's server stands where the port list stands, and goes into the
// file only when the file had it or it was edited.
TEST_F(PrefDlg, NetworkTypeShowsItsServerInPlaceOfThePortList)
{
    const struct {
        const char* name;
        const char* file;
        const char* typed; // nullptr: the field is left alone
        bool serverShown;
        const char* server;      // the field's text
        const char* savedRigctl; // the [rigctl] part of the saved file, "" none
    } cases[] = {
        {"serial type", "[tracking]\nreceiver_type=1\ncomport=2\n", nullptr, false, "localhost:4532", ""},
        {"network type, default server", "[tracking]\nreceiver_type=3\n", nullptr, true, "localhost:4532", ""},
        {"stored server", "[tracking]\nreceiver_type=3\n[rigctl]\nserver=sdr.local:7356\n", nullptr, true,
         "sdr.local:7356", "[rigctl]\nserver=sdr.local:7356\n"},
        {"server typed", "[tracking]\nreceiver_type=3\n", " 127.0.0.1:7356 ", true, "127.0.0.1:7356",
         "[rigctl]\nserver=127.0.0.1:7356\n"},
        {"serial type keeps a stored server", "[tracking]\nreceiver_type=0\n[rigctl]\nserver=[::1]:4532\n", nullptr,
         false, "[::1]:4532", "[rigctl]\nserver=[::1]:4532\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        writeFile("velkor.ini", c.file);
        auto dlg = open();
        EXPECT_EQ(dlg->m_server->isVisible(), c.serverShown);
        EXPECT_EQ(dlg->m_comPort->isVisible(), !c.serverShown);
        if (c.typed)
            dlg->m_server->setText(QString::fromLatin1(c.typed));
        EXPECT_EQ(dlg->m_server->text().trimmed().toStdString(), c.server);
        QTest::mouseClick(dlg->m_save, Qt::LeftButton);
        const std::string saved = readFile("velkor.ini");
        const auto at = saved.find("[rigctl]");
        EXPECT_EQ(at == std::string::npos ? std::string() : saved.substr(at, saved.find("\n[", at + 1) - at + 1),
                  c.savedRigctl)
            << saved;
    }
    // Choosing the type brings the server field, choosing a serial one the port list back.
    writeFile("velkor.ini", "");
    auto dlg = open();
    dlg->m_receiverType->setCurrentIndex(3);
    EXPECT_TRUE(dlg->m_server->isVisible());
    EXPECT_FALSE(dlg->m_comPort->isVisible());
    EXPECT_EQ(dlg->m_receiverType->currentText().toStdString(), "Hamlib rigctl (network)");
    EXPECT_FALSE(dlg->m_memory->isVisible()); // a network radio has no memory channels
    dlg->m_receiverType->setCurrentIndex(2);
    EXPECT_FALSE(dlg->m_server->isVisible());
    EXPECT_TRUE(dlg->m_comPort->isVisible());
    EXPECT_TRUE(dlg->m_memory->isVisible());
}

TEST_F(PrefDlg, AServerThatCannotBeValidIsRefusedAndNothingIsSaved)
{
    const struct {
        const char* typed;
        const char* says;
    } cases[] = {
        {"local host:4532", "holds a space"},
        {"localhost:70000", "70000"},
        {"localhost", "has no port"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed);
        writeFile("velkor.ini", "[tracking]\nreceiver_type=3\n");
        told.alerts.clear();
        auto dlg = open();
        dlg->m_server->setText(QString::fromLatin1(c.typed));
        QTest::mouseClick(dlg->m_save, Qt::LeftButton);
        ASSERT_EQ(told.alerts.size(), 1u);
        EXPECT_NE(told.alerts[0].find(c.says), std::string::npos) << told.alerts[0];
        EXPECT_EQ(readFile("velkor.ini"), "[tracking]\nreceiver_type=3\n");
        EXPECT_TRUE(dlg->isVisible());
    }
}

TEST_F(PrefDlg, SavingKeepsEverythingElseInTheFile)
{
    const std::string before = "; my scanner\r\n[serial]\r\ncom1=/dev/ttyUSB0\r\n[systems]\r\nsysBase_7=4500000\r\n"
                               "[tracking]\r\nmemory=5\r\n";
    writeFile("velkor.ini", before);
    auto dlg = open();
    dlg->m_memory->setFocus();
    dlg->m_memory->selectAll();
    QTest::keyClicks(dlg->m_memory, "42");
    QTest::mouseClick(dlg->m_save, Qt::LeftButton);
    EXPECT_EQ(readFile("velkor.ini"),
              "; my scanner\r\n[serial]\r\ncom1=/dev/ttyUSB0\r\n[systems]\r\nsysBase_7=4500000\r\n"
              "[tracking]\r\nmemory=42\r\nreceiver_type=0\r\ncomport=0\r\nfollow_calls=1\r\nscan_on_clear=0\r\n"
              "auto_add=1\r\nbacklight=0\r\nreturn_to_cc=0\r\n[audio]\r\nsamplerate=48000\r\nmute=1\r\n");
}

TEST_F(PrefDlg, ChoicesMadeWithMouseAndKeysAreWritten)
{
    auto dlg = open();
    dlg->m_sampleRate->setFocus();
    QTest::keyClick(dlg->m_sampleRate, Qt::Key_Down); // 44100
    QTest::keyClick(dlg->m_sampleRate, Qt::Key_Down); // 36000
    QTest::mouseClick(dlg->m_mute, Qt::LeftButton);
    dlg->m_receiverType->setFocus();
    QTest::keyClick(dlg->m_receiverType, Qt::Key_End); // Hamlib rigctl (network)
    QTest::keyClick(dlg->m_receiverType, Qt::Key_Up);  // Uniden Experimental
    dlg->m_comPort->setFocus();
    QTest::keyClick(dlg->m_comPort, Qt::Key_Down);
    QTest::keyClick(dlg->m_comPort, Qt::Key_Down); // COM2
    dlg->m_memory->setFocus();
    dlg->m_memory->selectAll();
    QTest::keyClick(dlg->m_memory, Qt::Key_Backspace); // an empty field is written empty
    for (QCheckBox* box :
         {dlg->m_followCalls, dlg->m_scanOnClear, dlg->m_autoAdd, dlg->m_backlight, dlg->m_returnToCc}) {
        box->setFocus();
        QTest::keyClick(box, Qt::Key_Space);
    }
    dlg->m_save->setFocus();
    QTest::keyClick(dlg->m_save, Qt::Key_Return); // Enter on Save itself saves
    EXPECT_EQ(dlg->result(), QDialog::Accepted);
    EXPECT_EQ(readFile("velkor.ini"),
              "[audio]\nsamplerate=36000\nmute=0\n[tracking]\nreceiver_type=2\ncomport=2\nmemory=\n"
              "follow_calls=0\nscan_on_clear=1\nauto_add=0\nbacklight=1\nreturn_to_cc=1\n");
}

TEST_F(PrefDlg, EnterInAnyOtherControlAndEscapeCancel)
{
    writeFile("velkor.ini", "[audio]\nmute=2\n");
    const auto controls = [](CPrefDlg& d) {
        return std::vector<QWidget*>{d.m_sampleRate,  d.m_mute,         d.m_autoAdd,   d.m_followCalls,
                                     d.m_deemphasis,  d.m_receiverType, d.m_comPort,   d.m_memory,
                                     d.m_scanOnClear, d.m_returnToCc,   d.m_backlight, d.m_cancel};
    };
    const size_t count = controls(*open()).size();
    for (size_t i = 0; i < count; ++i) {
        auto dlg = open();
        QWidget* control = controls(*dlg)[i];
        SCOPED_TRACE(control->metaObject()->className());
        if (auto* box = qobject_cast<QCheckBox*>(control))
            box->toggle();
        EXPECT_EQ(enterIn(*dlg, control), QDialog::Rejected);
    }
    auto dlg = open();
    QTest::keyClick(dlg->m_mute, Qt::Key_Escape);
    EXPECT_EQ(dlg->result(), QDialog::Rejected);
    EXPECT_FALSE(dlg->isVisible());
    EXPECT_EQ(readFile("velkor.ini"), "[audio]\nmute=2\n");
}

TEST_F(PrefDlg, MemoryFieldTakesAtMostFourDigits)
{
    auto dlg = open();
    dlg->m_memory->setFocus();
    dlg->m_memory->selectAll();
    QTest::keyClicks(dlg->m_memory, "1a-2 3.456");
    EXPECT_EQ(dlg->m_memory->text(), "1234");
    dlg->m_memory->selectAll();
    dlg->m_memory->insert("98x7"); // as a paste: refused whole
    EXPECT_EQ(dlg->m_memory->text(), "1234");
}

TEST_F(PrefDlg, PortListNamesTheDeviceOfEachPort)
{
    writeFile("velkor.ini", "[serial]\ncom1=/dev/ttyUSB0\ncom3=\n");
    auto dlg = open();
    QComboBox* list = dlg->m_comPort;
    ASSERT_EQ(list->count(), 5);
    EXPECT_EQ(list->itemText(0), "None");
    EXPECT_EQ(list->itemText(2), "COM2");
    EXPECT_NE(qobject_cast<PortItemDelegate*>(list->view()->itemDelegate()), nullptr);
    const auto popupText = [&](int row) { return PortItemDelegate::RowText(list->model()->index(row, 0)); };
    EXPECT_EQ(popupText(0), "None");
    EXPECT_EQ(popupText(1), "COM1  (/dev/ttyUSB0)");
    EXPECT_EQ(popupText(3), "COM3  (/dev/ttyS2)");
    EXPECT_EQ(popupText(4), "COM4  (/dev/ttyS3)");
}

// [record] dir: typed or browsed; written only when the file had it or it changed.
TEST_F(PrefDlg, RecordFolderFieldEditsRecordDir)
{
    const struct {
        const char *file, *typed, *browsed, *saved; // typed, browsed: nullptr untouched; saved: a part
    } cases[] = {
        {"", nullptr, nullptr, ""}, // none written
        {"[record]\ndir=/srv/calls\nformat=wav\n", nullptr, nullptr, "[record]\ndir=/srv/calls\nformat=wav\n[audio]"},
        {"", " rec ", nullptr, "[record]\ndir=rec\n"},
        {"[record]\ndir=rec\n", "", nullptr, "[record]\ndir=\n[audio]"},
        {"[record]\ndir=rec\n", nullptr, "/home/u/calls", "[record]\ndir=/home/u/calls\n[audio]"},
        {"[record]\ndir=rec\n", nullptr, "", "[record]\ndir=rec\n[audio]"}, // the browser cancelled
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.file) + "|" + (c.typed ? c.typed : "") + "|" + (c.browsed ? c.browsed : ""));
        writeFile("velkor.ini", c.file);
        auto dlg = open();
        const QString stored = dlg->m_recordDir->text();
        if (c.typed)
            dlg->m_recordDir->setText(QString::fromLatin1(c.typed));
        dlg->askRecordDir = [&](const QString& current) { return current == stored ? c.browsed : "wrong"; };
        if (c.browsed)
            QTest::mouseClick(dlg->m_recordBrowse, Qt::LeftButton);
        QTest::mouseClick(dlg->m_save, Qt::LeftButton);
        const std::string saved = readFile("velkor.ini");
        EXPECT_NE(saved.find(*c.saved ? c.saved : "[audio]"), std::string::npos) << saved;
        EXPECT_EQ(saved.find("[record]") != std::string::npos, *c.saved != 0) << saved;
    }
}

// Each label stands at the height of its field; every list has the port list's delegate.
TEST_F(PrefDlg, LabelsSitBesideTheirFieldsAndListsLookAlike)
{
    auto dlg = open();
    for (auto [text, field] : {std::pair<const char*, QWidget*>{"Sample rate", dlg->m_sampleRate},
                               {"De-emphasis", dlg->m_deemphasis},
                               {"Type", dlg->m_receiverType},
                               {"On serial port", dlg->m_comPort},
                               {"Use memory # (0=none)", dlg->m_memory},
                               {"Record followed calls to", dlg->m_recordDir}})
        for (QLabel* l : dlg->findChildren<QLabel*>()) {
            if (l->text() == QLatin1String(text)) {
                EXPECT_LE(std::abs(l->geometry().center().y() - field->geometry().center().y()), 1) << text;
            }
        }
    for (QComboBox* list : dlg->findChildren<QComboBox*>())
        EXPECT_NE(qobject_cast<QStyledItemDelegate*>(list->itemDelegate()), nullptr)
            << list->currentText().toStdString();
}

TEST_F(PrefDlg, UnwritableFileIsReportedAndTheDialogStaysOpen)
{
    std::filesystem::create_directory("velkor.ini"); // a directory where the file should be
    auto dlg = open();
    ASSERT_EQ(told.alerts.size(), 1u);
    EXPECT_EQ(told.alerts[0].rfind("Couldn't read the settings: ", 0), 0u) << told.alerts[0];
    EXPECT_EQ(shown(*dlg), "rate=48000 mute=1 type=0 port=0 memory=0 follow=1 scan=0 add=1 backlight=0 cc=0");
    QTest::mouseClick(dlg->m_save, Qt::LeftButton);
    ASSERT_EQ(told.alerts.size(), 2u);
    EXPECT_EQ(told.alerts[1].rfind("Couldn't save the settings: ", 0), 0u) << told.alerts[1];
    EXPECT_TRUE(dlg->isVisible());
    QTest::mouseClick(dlg->m_cancel, Qt::LeftButton);
    EXPECT_EQ(dlg->result(), QDialog::Rejected);
}

TEST_F(PrefDlg, LayoutFollowsTheDialogUnitsOfItsFont)
{
    auto dlg = open();
    // The font's units, grown evenly where the texts need more room.
    const DialogUnits& du = dlg->units();
    EXPECT_EQ(du.baseX(), DialogUnits(dlg->font()).baseX());
    EXPECT_EQ(du.baseY(), DialogUnits(dlg->font()).baseY());
    EXPECT_EQ(dlg->size(), du.size(280, 160));
    EXPECT_EQ(dlg->windowTitle(), "Settings");
    EXPECT_FALSE(dlg->windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(dlg->windowFlags() & Qt::CustomizeWindowHint);
    EXPECT_EQ(dlg->m_save->geometry(), du.rect(74, 139, 50, 14));
    EXPECT_EQ(dlg->m_cancel->geometry(), du.rect(155, 139, 50, 14));
    EXPECT_EQ(dlg->m_recordDir->geometry(), du.rect(101, 120, 152, 13));
    EXPECT_EQ(dlg->m_backlight->geometry(), du.rect(155, 94, 69, 10));
    EXPECT_EQ(dlg->m_memory->geometry(), du.rect(238, 53, 25, 13));
    EXPECT_EQ(dlg->m_comPort->pos(), du.rect(203, 35, 60, 67).topLeft());
    EXPECT_TRUE(dlg->m_cancel->isDefault());
    EXPECT_FALSE(dlg->m_save->isDefault());
    // Tab goes through the controls in the dialog's order.
    std::vector<QWidget*> order;
    QWidget* w = dlg->m_sampleRate;
    for (int i = 0; i < 15; ++i, w = w->nextInFocusChain()) {
        // Tab passes over what is hidden (the server field of a network receiver).
        while (!(w->focusPolicy() & Qt::TabFocus) || !w->isVisible())
            w = w->nextInFocusChain();
        order.push_back(w);
    }
    const std::vector<QWidget*> expected{dlg->m_sampleRate,   dlg->m_mute,         dlg->m_autoAdd,   dlg->m_followCalls,
                                         dlg->m_deemphasis,   dlg->m_receiverType, dlg->m_comPort,   dlg->m_memory,
                                         dlg->m_scanOnClear,  dlg->m_returnToCc,   dlg->m_backlight, dlg->m_recordDir,
                                         dlg->m_recordBrowse, dlg->m_save,         dlg->m_cancel};
    EXPECT_EQ(order, expected);
}

} // namespace
