// The book changed by hand in the main dialog (real keys, menu and questions): each test
// leaves a screenshot in the artifacts folder and reads the book file the dialog saves.
#include "DlgParts.h"

#include "addrbook/view/CAddrBookCtrl.h"
#include "addrbook/view/SuperGridModel.h"

#include <QAbstractButton>
#include <QDir>
#include <QInputDialog>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QTimer>

namespace {

const std::string kBook = "[1234]\nsysName=North\nsysComment=\nnumberOfFleets=1\nfleet0-Name=Fire\nfleet0-Id=200\n"
                          "fleet0-Comment=\nfleet0-NrOfUnits=2\nfleet0-unit0-Name=Engine 1\nfleet0-unit0-Id=2001\n"
                          "fleet0-unit0-Comment=\nfleet0-unit0-LastSeen=\nfleet0-unit0-Checked=1\n"
                          "fleet0-unit1-Name=Ladder 2\nfleet0-unit1-Id=2002\nfleet0-unit1-Comment=\n"
                          "fleet0-unit1-LastSeen=\nfleet0-unit1-Checked=1\n";

class DlgBook : public DlgFixture {
protected:
    void SetUp() override
    {
        DlgFixture::SetUp();
        writeFile("addrbook.ini", kBook);
        dlg = std::make_unique<CVelkorDlg>(testParts(), &told);
        dlg->askQuit = [] { return false; };
        ASSERT_TRUE(dlg->OnInitDialog());
        dlg->show();
        dlg->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(dlg.get()));
        grid = dlg->addrBook();
        grid->setFocus();
        grid->Expand(grid->Book().GetRoot("1234"));
        grid->Expand(grid->Book().FindAddr({1234, 200, 0}));
    }
    void select(velkor_address_s a) { grid->SelectNode(grid->Book().FindAddr(a)); }
    void key(int k, Qt::KeyboardModifiers m = {}) { QTest::keyClick(grid, Qt::Key(k), m); }
    void shot(const QString& name, QWidget* w = nullptr)
    {
        QDir().mkpath(QStringLiteral(VELKOR_ARTIFACTS));
        EXPECT_TRUE((w ? w : dlg.get())->grab().save(QStringLiteral(VELKOR_ARTIFACTS "/book-%1.png").arg(name)));
    }
    // The book as the dialog saves it when the user closes it (and stays).
    std::string saved()
    {
        dlg->OnCancel();
        return readFile("addrbook.ini");
    }
    // Acts on the next menu or modal dialog once it shows; its text goes to seen.
    void onNext(std::function<void(QWidget*)> act)
    {
        auto* timer = new QTimer(dlg.get());
        QObject::connect(timer, &QTimer::timeout, [this, timer, act] {
            QWidget* w = QApplication::activePopupWidget() ? QApplication::activePopupWidget()
                                                           : QApplication::activeModalWidget();
            if (!w || !w->isVisible())
                return;
            delete timer;
            if (auto* box = qobject_cast<QMessageBox*>(w))
                seen.push_back(box->text().toStdString());
            act(w);
        });
        timer->start(10);
    }
    void answer(QMessageBox::StandardButton b, const QString& name = {})
    {
        onNext([this, b, name](QWidget* w) {
            if (!name.isEmpty())
                shot(name, w);
            ASSERT_TRUE(qobject_cast<QMessageBox*>(w)) << "no question but " << w->metaObject()->className();
            static_cast<QMessageBox*>(w)->button(b)->click();
        });
    }
    void typeName(const QString& text)
    {
        auto* editor = grid->viewport()->findChild<QLineEdit*>();
        ASSERT_TRUE(editor && editor->isVisible()) << "no Name editor";
        QTest::keyClick(editor, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(editor, text);
        QTest::keyClick(editor, Qt::Key_Return);
    }
    CAddrBookCtrl* grid = nullptr;
    std::vector<std::string> seen;
};

TEST_F(DlgBook, NewFleetFromTheMenuAsksItsNumberAndRefusesADuplicate)
{
    for (const char* number : {"200", "300"}) {
        onNext([this, number](QWidget* menu) {
            onNext([this, number](QWidget* w) {
                static_cast<QInputDialog*>(w)->setTextValue(QString::fromLatin1(number));
                shot(QStringLiteral("add-ask"), w);
                if (std::string(number) == "200")
                    answer(QMessageBox::Ok);
                static_cast<QInputDialog*>(w)->accept();
            });
            shot(QStringLiteral("menu"), menu);
            for (QAction* a : menu->actions())
                if (a->text() == QStringLiteral("New fleet..."))
                    static_cast<QMenu*>(menu)->setActiveAction(a);
            QTest::keyClick(menu, Qt::Key_Return);
        });
        emit grid->customContextMenuRequested(grid->visualRect(grid->Model().index(0, 0)).center());
    }
    EXPECT_EQ(
        seen,
        std::vector<std::string>{"There is already a fleet 200 (\u201CFire\u201D) in system 1234 \u201CNorth\u201D."});
    typeName(QStringLiteral("Police")); // the new fleet's Name editor is open
    shot(QStringLiteral("add"));
    EXPECT_NE(saved().find("fleet1-Name=Police\nfleet1-Id=300\nfleet1-Comment=\n"), std::string::npos);
}

TEST_F(DlgBook, F2EditsTheName)
{
    select({1234, 200, 2002});
    key(Qt::Key_F2);
    typeName(QStringLiteral("Ladder Two"));
    shot(QStringLiteral("edit"));
    EXPECT_NE(saved().find("fleet0-unit1-Name=Ladder Two\n"), std::string::npos);
}

TEST_F(DlgBook, DeleteAsksNamingWhatGoes)
{
    select({1234, 200, 0});
    answer(QMessageBox::No, QStringLiteral("delete-ask"));
    key(Qt::Key_Delete);
    EXPECT_EQ(saved(), kBook); // nothing changed: the same bytes
    answer(QMessageBox::Yes);
    key(Qt::Key_Delete);
    shot(QStringLiteral("delete"));
    EXPECT_EQ(seen,
              std::vector<std::string>(2,
                                       "Delete fleet 200 \u201CFire\u201D with its 2 units?\n\n"
                                       "Ctrl+Z brings it back."));
    EXPECT_EQ(saved(), "[1234]\nsysName=North\nsysComment=\n");
}

TEST_F(DlgBook, CtrlZUndoesEditTickAndDeleteButNotTraffic)
{
    select({1234, 200, 2001});
    key(Qt::Key_F2);
    typeName(QStringLiteral("X"));
    key(Qt::Key_Space);              // one unit: no question
    dlg->AddAddr({1234, 200, 2003}); // traffic between the steps
    select({1234, 200, 0});
    answer(QMessageBox::Yes);
    key(Qt::Key_Delete);
    for (int i = 0; i < 3; ++i)
        key(Qt::Key_Z, Qt::ControlModifier);
    shot(QStringLiteral("undo"));
    EXPECT_EQ(seen.size(), 1u);
    const std::string book = saved();
    EXPECT_NE(book.find("-Name=Engine 1\n"), std::string::npos) << book;
    EXPECT_NE(book.find("-Name=2003\n"), std::string::npos) << book; // traffic stays
    EXPECT_EQ(book.find("-Checked=0\n"), std::string::npos) << book;
}

TEST_F(DlgBook, SpaceOnAFleetAsksBeforeUntickingItsUnits)
{
    select({1234, 200, 0});
    answer(QMessageBox::No, QStringLiteral("space-ask"));
    key(Qt::Key_Space);
    EXPECT_EQ(saved(), kBook);
    answer(QMessageBox::Yes);
    key(Qt::Key_Space);
    shot(QStringLiteral("space"));
    EXPECT_EQ(seen, std::vector<std::string>(2, "Untick 2 units of fleet 200 \u201CFire\u201D?"));
    const std::string book = saved();
    EXPECT_NE(book.find("fleet0-unit0-Checked=0\n"), std::string::npos);
    EXPECT_NE(book.find("fleet0-unit1-Checked=0\n"), std::string::npos);
}

} // namespace
