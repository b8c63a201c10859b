// The address book grid driven by real key and mouse events on Qt's offscreen platform.
// The program has its own main: the QApplication must outlive every test and go before
// the process's static objects do.
#include "AddrBookFixture.h"

#include "addrbook/view/CAddrBookCtrl.h"
#include "addrbook/view/CListEditCtrl.h"
#include "addrbook/view/SuperGridModel.h"

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>

using namespace velkor;

// Readable failure messages for Qt strings.
inline void PrintTo(const QString& s, std::ostream* os)
{
    *os << '"' << s.toStdString() << '"';
}

namespace {

class AddrBookView : public AddrBookFixture {
protected:
    void SetUp() override
    {
        AddrBookFixture::SetUp();
        grid = std::make_unique<CAddrBookCtrl>(notices);
        grid->InitializeGrid();
        grid->askYesNo = [this](const QString& question) {
            questions.push_back(question.toStdString());
            return true;
        };
        tester = std::make_unique<QAbstractItemModelTester>(&grid->Model(),
                                                            QAbstractItemModelTester::FailureReportingMode::Fatal);
        prepare(book());
        // System 1: fleets 10 (units 100, 101) and 11 (unit 200); system 2: fleet 20.
        for (velkor_address_s a : {velkor_address_s{1, 10, 100}, {1, 10, 101}, {1, 11, 200}, {2, 20, 300}})
            book().AddAddr(a);
        grid->resize(700, 300);
        grid->show();
        grid->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(grid.get()));
        grid->setFocus();
    }
    void TearDown() override
    {
        tester.reset();
        grid.reset();
        AddrBookFixture::TearDown();
    }

    AddrBook& book() { return grid->Book(); }
    std::vector<std::string> questions;
    // The text a grid column shows of a node.
    static std::string cell(const TreeItem* n, int column) { return field(n, CAddrBookCtrl::kColumnFields[column]); }
    void key(int k, Qt::KeyboardModifiers mods = Qt::NoModifier) { QTest::keyClick(grid.get(), Qt::Key(k), mods); }
    void keypad(int k) { key(k, Qt::KeypadModifier); }
    QRect cellRect(int row, int column) { return grid->visualRect(grid->Model().index(row, column)); }
    // Clicks a cell well away from the tree parts of column 0.
    void clickCell(int row, int column)
    {
        QPoint p = cellRect(row, column).center();
        if (column == 0)
            p.setX(grid->GeometryOfRow(row).textLeft + 20);
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, p);
    }
    void click(QPoint p) { QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, p); }
    QLineEdit* editor() { return qobject_cast<QLineEdit*>(QApplication::focusWidget()); }
    // Opens the edit box with Enter, replaces its text and ends it with the given key.
    bool typeInto(const QString& text, int endKey = Qt::Key_Return)
    {
        key(Qt::Key_Return);
        QLineEdit* e = editor();
        if (!e)
            return false;
        e->selectAll();
        QTest::keyClick(e, Qt::Key_Backspace);
        QTest::keyClicks(e, text);
        QTest::keyClick(e, Qt::Key(endKey));
        QApplication::processEvents();
        return true;
    }
    std::vector<std::string> shownNames()
    {
        std::vector<std::string> out;
        for (int r = 0; r < grid->Model().rowCount(); ++r)
            out.push_back(grid->Model().index(r, 0).data().toString().toStdString());
        return out;
    }

    std::unique_ptr<CAddrBookCtrl> grid;
    std::unique_ptr<QAbstractItemModelTester> tester;
};

TEST_F(AddrBookView, ColumnsAndRowsAsTheDialogShowsThem)
{
    ASSERT_EQ(grid->Model().columnCount(), 4);
    const char* headers[] = {"Name", "Ident", "Comment", "Last Seen"};
    const int widths[] = {240, 50, 240, 120};
    for (int c = 0; c < 4; ++c) {
        EXPECT_EQ(grid->Model().headerData(c, Qt::Horizontal, Qt::DisplayRole).toString(), headers[c]);
        EXPECT_EQ(grid->columnWidth(c), widths[c]);
    }
    EXPECT_EQ(shownNames(), (std::vector<std::string>{"New System", "New System"}));
    EXPECT_EQ(grid->Model().index(1, 1).data().toString(), "2");
    EXPECT_EQ(grid->ImageList().size(), 5u);
    EXPECT_EQ(grid->ImageSize(), QSize(16, 16));
    // System, fleet and unit images (4, 1 and 2 in the image list).
    for (const auto& [a, image] : {std::pair{velkor_address_s{1, 0, 0}, 4}, {{1, 10, 0}, 1}, {{1, 10, 100}, 2}})
        EXPECT_EQ(grid->NodeImage(book().FindAddr(a)), image);
}

TEST_F(AddrBookView, EnterEditsNameCommentAndLastSeenButNeverIdent)
{
    clickCell(0, 0);
    ASSERT_EQ(grid->GetSelectedRow(), 0);
    ASSERT_EQ(grid->GetCurrentColumn(), 0);
    TreeItem* sys = grid->GetSelectedNode();

    ASSERT_TRUE(typeInto("North"));
    EXPECT_EQ(cell(sys, 0), "North");
    EXPECT_EQ(grid->Model().index(0, 0).data().toString(), "North");
    EXPECT_EQ(QApplication::focusWidget(), grid.get());

    key(Qt::Key_Right);
    EXPECT_EQ(grid->GetCurrentColumn(), 1);
    key(Qt::Key_Return);
    EXPECT_EQ(editor(), nullptr);
    EXPECT_EQ(cell(sys, 1), "1");

    key(Qt::Key_Right);
    ASSERT_TRUE(typeInto("on the hill, 600 m"));
    EXPECT_EQ(cell(sys, 2), "on the hill, 600 m");

    key(Qt::Key_Right);
    ASSERT_TRUE(typeInto("Bugs: Impossible"));
    EXPECT_EQ(cell(sys, 3), "Bugs: Impossible (selfconfidence allright)");
    EXPECT_EQ(book().GetAddrName(1, 0, 0), "North");
}

TEST_F(AddrBookView, EscapeCancelsAndAnEmptiedCellIsStored)
{
    clickCell(1, 2); // a click selects and makes the column current, but opens nothing
    EXPECT_EQ(editor(), nullptr);
    EXPECT_EQ(grid->GetCurrentColumn(), 2);
    TreeItem* sys = grid->GetSelectedNode();
    ASSERT_TRUE(typeInto("kept"));
    ASSERT_TRUE(typeInto("thrown away", Qt::Key_Escape));
    EXPECT_EQ(cell(sys, 2), "kept");
    EXPECT_EQ(grid->Model().index(1, 2).data().toString(), "kept");
    ASSERT_TRUE(typeInto(""));
    EXPECT_EQ(cell(sys, 2), "");
}

TEST_F(AddrBookView, LosingTheFocusCommitsTheEdit)
{
    clickCell(0, 2);
    key(Qt::Key_Return);
    QLineEdit* e = editor();
    ASSERT_NE(e, nullptr);
    QTest::keyClicks(e, "left behind");
    clickCell(1, 0);
    QApplication::processEvents();
    EXPECT_EQ(cell(book().GetRoot("1"), 2), "left behind");
    EXPECT_EQ(grid->GetSelectedRow(), 1);
}

TEST_F(AddrBookView, LoadingIntoAnOpenSystemKeepsRowsInStep)
{
    clickCell(0, 0);
    keypad(Qt::Key_Asterisk);
    writeFile(path(),
              "[1]\nsysName=Ignored\nnumberOfFleets=2\nfleet0-Id=3\nfleet0-Name=Alpha\n"
              "fleet1-Id=10\nfleet1-NrOfUnits=1\nfleet1-unit0-Id=7\nfleet1-unit0-Name=007\n");
    ASSERT_TRUE(book().LoadData(path()).ok());
    EXPECT_EQ(notices.alerts,
              std::vector<std::string>{"Error in CAddrBookCtrl::LoadData(), duplicate fleet item in system!"});
    // The open system and fleet show their children sorted, each row on its own node.
    EXPECT_EQ(shownNames(),
              (std::vector<std::string>{"New System", "Alpha", "Fleet 10", "007", "100", "101", "Fleet 11", "200",
                                        "New System"}));
    for (int r = 0; r < grid->Model().rowCount(); ++r)
        EXPECT_EQ(book().NodeOfRow(r)->row, r);
    EXPECT_EQ(grid->GetSelectedNode(), book().GetRoot("1"));
}

TEST_F(AddrBookView, LeftAndRightStayWithinTheColumns)
{
    clickCell(0, 0);
    key(Qt::Key_Left);
    EXPECT_EQ(grid->GetCurrentColumn(), 0);
    for (int i = 0; i < 6; ++i)
        key(Qt::Key_Right);
    EXPECT_EQ(grid->GetCurrentColumn(), 3);
    key(Qt::Key_Left);
    EXPECT_EQ(grid->GetCurrentColumn(), 2);
    EXPECT_EQ(grid->GetSelectedRow(), 0);
    // The current column stays when the selection moves.
    key(Qt::Key_Down);
    EXPECT_EQ(grid->GetSelectedRow(), 1);
    EXPECT_EQ(grid->GetCurrentColumn(), 2);
}

TEST_F(AddrBookView, SpaceAndCheckBoxClicksReachCollapsedDescendants)
{
    clickCell(0, 0);
    TreeItem* sys = grid->GetSelectedNode();
    ASSERT_FALSE(checked(sys));
    key(Qt::Key_Space);
    EXPECT_TRUE(checked(sys));
    EXPECT_TRUE(checked(book().FindAddr({1, 11, 0})));
    key(Qt::Key_Space);
    EXPECT_FALSE(checked(sys));
    for (velkor_address_s a : {velkor_address_s{1, 10, 100}, {1, 10, 101}, {1, 11, 200}})
        EXPECT_EQ(book().IsAddrChecked(a), 0);
    EXPECT_EQ(book().IsAddrChecked({2, 20, 300}), 1);

    // A fleet's check box, with the fleet and its units hidden below it again.
    keypad(Qt::Key_Plus);
    const int fleetRow = book().RowOfNode(book().FindAddr({1, 10, 0}));
    ASSERT_EQ(fleetRow, 1);
    click(grid->GeometryOfRow(fleetRow).checkBox.center());
    EXPECT_TRUE(checked(book().FindAddr({1, 10, 0})));
    EXPECT_EQ(book().IsAddrChecked({1, 10, 100}), 1);
    EXPECT_EQ(book().IsAddrChecked({1, 11, 200}), 0);
    EXPECT_EQ(grid->Model().index(fleetRow, 0).data(Qt::CheckStateRole).toInt(), Qt::Checked);
    // The click flipped the mark and did not move the selection.
    EXPECT_EQ(grid->GetSelectedRow(), 0);
}

TEST_F(AddrBookView, DeleteRemovesTheWholeSubtreeOnceAsked)
{
    clickCell(0, 0);
    keypad(Qt::Key_Plus);
    EXPECT_EQ(shownNames(), (std::vector<std::string>{"New System", "Fleet 10", "Fleet 11", "New System"}));
    clickCell(1, 0);
    key(Qt::Key_Delete);
    EXPECT_EQ(shownNames(), (std::vector<std::string>{"New System", "Fleet 11", "New System"}));
    EXPECT_EQ(book().IsAddrChecked({1, 10, 100}), -1);
    EXPECT_EQ(grid->GetSelectedRow(), 1); // the row that took the deleted one's place
    clickCell(2, 0);
    key(Qt::Key_Delete);
    EXPECT_EQ(grid->GetSelectedRow(), 1); // the last row went: the one above
    clickCell(0, 0);
    key(Qt::Key_Delete);
    EXPECT_EQ(grid->Model().rowCount(), 0);
    EXPECT_EQ(grid->GetSelectedRow(), -1);
    EXPECT_EQ(questions.size(), 3u);
    EXPECT_TRUE(notices.alerts.empty());
    ASSERT_TRUE(book().SaveData(path()).ok());
    EXPECT_EQ(readFile(path()), "");
}

TEST_F(AddrBookView, KeypadPlusMinusAndStar)
{
    clickCell(0, 0);
    key(Qt::Key_Plus); // the main keyboard's plus is no tree command
    EXPECT_EQ(grid->Model().rowCount(), 2);
    keypad(Qt::Key_Plus);
    EXPECT_EQ(grid->Model().rowCount(), 4);
    keypad(Qt::Key_Minus);
    EXPECT_EQ(grid->Model().rowCount(), 2);
    keypad(Qt::Key_Asterisk);
    EXPECT_EQ(shownNames(),
              (std::vector<std::string>{"New System", "Fleet 10", "100", "101", "Fleet 11", "200", "New System"}));
    // Collapsing hides the grandchildren; expanding shows the children collapsed.
    keypad(Qt::Key_Minus);
    keypad(Qt::Key_Plus);
    EXPECT_EQ(shownNames(), (std::vector<std::string>{"New System", "Fleet 10", "Fleet 11", "New System"}));
}

TEST_F(AddrBookView, ChildrenAddedWhileOpenAreSortedAtTheNextCollapse)
{
    clickCell(0, 0);
    keypad(Qt::Key_Asterisk);
    book().AddAddr({1, 10, 1000}); // sorts between "100" and "101"
    EXPECT_EQ(
        shownNames(),
        (std::vector<std::string>{"New System", "Fleet 10", "100", "101", "1000", "Fleet 11", "200", "New System"}));

    // The +/- box of the fleet, by mouse.
    click(grid->GeometryOfRow(1).expandBox.center());
    EXPECT_EQ(grid->Model().rowCount(), 5);
    click(grid->GeometryOfRow(1).expandBox.center());
    EXPECT_EQ(
        shownNames(),
        (std::vector<std::string>{"New System", "Fleet 10", "100", "1000", "101", "Fleet 11", "200", "New System"}));

    // The keypad collapse sorts as well.
    book().AddAddr({1, 5, 0}); // "Fleet 5" goes to the end of the open system
    EXPECT_EQ(shownNames().back(), "New System");
    EXPECT_EQ(shownNames()[7], "Fleet 5");
    clickCell(0, 0);
    keypad(Qt::Key_Minus);
    keypad(Qt::Key_Plus);
    EXPECT_EQ(shownNames(), (std::vector<std::string>{"New System", "Fleet 10", "Fleet 11", "Fleet 5", "New System"}));
}

TEST_F(AddrBookView, DoubleClickTogglesTheSelectedRow)
{
    const QPoint p(grid->GeometryOfRow(0).textLeft + 20, cellRect(0, 0).center().y());
    // A double-click reaches the widget as press, release, double-click, release.
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, p);
    QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, p);
    EXPECT_EQ(grid->Model().rowCount(), 4);
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, p);
    QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, p);
    EXPECT_EQ(grid->Model().rowCount(), 2);
}

TEST_F(AddrBookView, ShownLastSeenIsRefreshedAtOnce)
{
    clickCell(0, 0);
    keypad(Qt::Key_Asterisk);
    const int row = book().RowOfNode(book().FindAddr({1, 10, 101}));
    QSignalSpy changed(&grid->Model(), &QAbstractItemModel::dataChanged);
    book().SetClock([] { return std::time_t{1800000000}; });
    book().AddAddr({1, 10, 101});
    EXPECT_EQ(grid->Model().index(row, 3).data().toString().toStdString(), AddrBook::FormatLastSeen(1800000000));
    book().SetClock([] { return std::time_t{1800000100}; });
    EXPECT_EQ(grid->IsAddrChecked({1, 10, 101}, 0), 1);
    EXPECT_EQ(grid->Model().index(row, 3).data().toString().toStdString(), AddrBook::FormatLastSeen(1800000100));
    ASSERT_GE(changed.count(), 2);
    EXPECT_EQ(changed.last().at(0).value<QModelIndex>().row(), row);
}

TEST_F(AddrBookView, IsAddrCheckedWithSelectBringsACheckedUnitIntoView)
{
    for (uint32_t s = 3; s < 40; ++s) // enough rows to need scrolling
        book().AddAddr({s, 1, 1});
    book().SetCheck(book().FindAddr({2, 20, 300}), false);
    EXPECT_EQ(grid->IsAddrChecked({2, 20, 300}, 1), 0);
    EXPECT_EQ(grid->GetSelectedRow(), -1); // an unchecked unit is not selected
    EXPECT_EQ(grid->Model().rowCount(), 39);

    EXPECT_EQ(grid->IsAddrChecked({39, 1, 1}, 1), 1);
    TreeItem* unit = book().FindAddr({39, 1, 1});
    EXPECT_EQ(grid->GetSelectedNode(), unit);
    EXPECT_FALSE(unit->parent->collapsed);
    EXPECT_FALSE(unit->parent->parent->collapsed);
    EXPECT_TRUE(grid->viewport()->rect().intersects(cellRect(unit->row, 0)));
    EXPECT_EQ(grid->IsAddrChecked({39, 1, 0}, 1), -1);
}

TEST_F(AddrBookView, CurrentCellIsDrawnInItsColour)
{
    clickCell(0, 2);
    const QImage image = grid->viewport()->grab().toImage();
    const QRect r = cellRect(0, 2).adjusted(3, 3, -3, -3);
    int red = 0;
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x)
            red += image.pixelColor(x, y) == QColor(192, 0, 0);
    EXPECT_GT(red, r.width() * r.height() / 2);
    // The Name cell of the same row is not current.
    const QColor other = image.pixelColor(cellRect(0, 0).right() - 3, cellRect(0, 0).center().y());
    EXPECT_NE(other, QColor(192, 0, 0));
}

TEST_F(AddrBookView, LongTextsAreCutWithThreeDots)
{
    const QFontMetrics fm(grid->font());
    const QString text = QStringLiteral("A rather long name for a unit that will not fit");
    const int width = fm.horizontalAdvance(QStringLiteral("A rather long...")) + 1;
    const QString cut = CSuperGridCtrl::ElideText(fm, text, width);
    EXPECT_TRUE(cut.endsWith(QStringLiteral("...")));
    EXPECT_TRUE(text.startsWith(cut.chopped(3)));
    EXPECT_LE(fm.horizontalAdvance(cut), width);
    EXPECT_GT(fm.horizontalAdvance(cut.chopped(3) + text.at(cut.size() - 3) + QStringLiteral("...")), width);
    EXPECT_EQ(CSuperGridCtrl::ElideText(fm, QStringLiteral("short"), 500), QStringLiteral("short"));
}

} // namespace

namespace {

// An edit box left open while traffic goes on: what was typed stays as typed, and ends
// up in the cell it was typed into.
class AddrBookEdit : public AddrBookView {
protected:
    // Opens the edit box on a cell of the shown unit by keyboard and types into it.
    CListEditCtrl* typeWithoutCommit(TreeItem* node, int column, const QString& typed)
    {
        grid->SelectNode(node);
        grid->SetCurrentColumn(column);
        key(Qt::Key_Return);
        auto* box = qobject_cast<CListEditCtrl*>(editor());
        if (box)
            QTest::keyClicks(box, typed);
        return box;
    }
};

TEST_F(AddrBookEdit, TheEditBoxOpensWithTheCaretAtTheStartAndNothingSelected)
{
    auto* box = typeWithoutCommit(book().GetRoot("1"), 0, "");
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->selectedText(), "");
    EXPECT_EQ(box->cursorPosition(), 0);
    QTest::keyClicks(box, "My ");
    QTest::keyClick(box, Qt::Key_Return);
    EXPECT_EQ(cell(book().GetRoot("1"), 0), "My New System");
}

TEST_F(AddrBookEdit, AReportOfTheUnitLeavesTheOpenEditBoxAlone)
{
    // Every editable column, also Last Seen itself, which the report rewrites.
    for (int column : {0, 2, 3}) {
        SCOPED_TRACE(column);
        TreeItem* unit = book().FindAddr({1, 10, 100});
        const std::string before = cell(unit, column);
        auto* box = typeWithoutCommit(unit, column, "Base sta");
        ASSERT_NE(box, nullptr);
        const QString typed = box->text();
        book().SetClock([column] { return std::time_t{1800000000 + column}; });
        book().AddAddr({1, 10, 100});
        EXPECT_EQ(grid->IsAddrChecked({1, 10, 100}, 1), 1);
        QApplication::processEvents();
        ASSERT_EQ(editor(), box);
        EXPECT_EQ(box->text(), typed);
        EXPECT_EQ(cell(unit, column), column == 3 ? AddrBook::FormatLastSeen(1800000000 + column) : before);
        QTest::keyClick(box, Qt::Key_Return);
        EXPECT_EQ(cell(unit, column), typed.toStdString());
    }
}

TEST_F(AddrBookEdit, AFollowedCallNeitherCommitsNorDiscardsTheEdit)
{
    // The followed unit lies in a collapsed system above and below the edited row, so
    // that rows appear on both sides of it.
    book().AddAddr({3, 30, 3000});
    for (velkor_address_s followed : {velkor_address_s{3, 30, 3000}, {1, 11, 200}}) {
        SCOPED_TRACE(followed.system);
        TreeItem* edited = book().FindAddr({2, 20, 300});
        auto* box = typeWithoutCommit(edited, 2, "Base sta");
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(grid->IsAddrChecked(followed, 1), 1);
        QApplication::processEvents();
        ASSERT_EQ(editor(), box);
        EXPECT_EQ(box->text(), "Base sta");
        EXPECT_EQ(cell(edited, 2), "");
        TreeItem* unit = book().FindAddr(followed);
        EXPECT_EQ(grid->GetSelectedNode(), unit);
        // The typing goes on and ends in the cell it began in; then the followed unit
        // is the current row.
        QTest::keyClicks(box, "tion");
        QTest::keyClick(box, Qt::Key_Return);
        EXPECT_EQ(cell(edited, 2), "Base station");
        EXPECT_EQ(cell(unit, 2), "");
        EXPECT_EQ(grid->GetSelectedNode(), unit);
        EXPECT_EQ(grid->currentIndex().row(), unit->row);
        book().SetField(edited, velkor::AddrField::Comment, "");
    }
}

} // namespace
