// What assistive technology learns about the window through Qt's
// accessibility interfaces: a role and a Portuguese name for every control,
// the grids as tables under their column headings, the key selector's text,
// and whether each Play button can play.

#include "model/keytable.h"
#include "playback/scaleplayer.h"
#include "tests/support/fakemediaservice.h"
#include "ui/accessibility.h"
#include "ui/tcombobox.h"
#include "ui/tform1.h"
#include "ui/tstringgrid.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QLabel>
#include <QTest>

#include <map>

using namespace quiralto;
using quiralto::testsupport::FakeMediaService;
using quiralto::ui::TForm1;

namespace {

QAccessibleInterface *accessible(QObject *object)
{
    return QAccessible::queryAccessibleInterface(object);
}

QAccessibleTableInterface *table(ui::TStringGrid *grid)
{
    QAccessibleInterface *iface = accessible(grid);
    return iface ? iface->tableInterface() : nullptr;
}

// The texts of a table row, as assistive technology reads them.
QStringList rowTexts(QAccessibleTableInterface *table, int row)
{
    QStringList texts;
    for (int column = 0; column < table->columnCount(); ++column)
        texts << table->cellAt(row, column)->text(QAccessible::Name);
    return texts;
}

QStringList headerTexts(QAccessibleTableInterface *table)
{
    QStringList texts;
    for (int column = 0; column < table->columnCount(); ++column) {
        const QList<QAccessibleInterface *> headers =
            table->cellAt(0, column)->tableCellInterface()->columnHeaderCells();
        texts << (headers.size() == 1 ? headers.first()->text(QAccessible::Name) : QStringLiteral("<none>"));
    }
    return texts;
}

// The cells of a row, "" for a column never written.
QStringList cells(std::initializer_list<std::pair<int, const char *>> written)
{
    QStringList out(13);
    for (const auto &[column, text] : written)
        out[column] = QString::fromUtf8(text);
    return out;
}

bool isDisabled(QObject *control)
{
    return accessible(control)->state().disabled;
}

} // namespace

class TestAccessibility : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void everyControlHasARoleAndAName();
    void rolesAndNames_data();
    void rolesAndNames();
    void gridsAreTablesUnderTheirHeadings_data();
    void gridsAreTablesUnderTheirHeadings();
    void headersFollowTheHeadingToggle();
    void chordCellsReadTheChosenKey();
    void cellsAreFoundWhereTheGridDrawsThem();
    void cellsReportTheSelectionAndTheCurrentCell();
    void cellsGoWithTheirGrid();
    void selectorReportsItsTextAndItsList();
    void playersSayWhetherTheyCanPlay();
    void pressingAGreyedPlayerDoesNothing();

private:
    void chooseMiMenor();

    FakeMediaService *m_service = nullptr;
    TForm1 *m_form = nullptr;
};

void TestAccessibility::initTestCase()
{
    ui::installAccessibility();
}

void TestAccessibility::init()
{
    m_service = new FakeMediaService;
    for (const model::KeyTableRow &key : model::KeyTable())
        for (model::ScaleForm form : model::AllScaleForms)
            m_service->addFile(model::scaleFileName(key.tonicIndex, form));
    m_form = new TForm1(*m_service);
    m_form->FormCreate();
}

void TestAccessibility::cleanup()
{
    delete m_form;
    m_form = nullptr;
    delete m_service;
}

// As a student does: from the first grid, three Tabs reach the selector
// with its text selected, and "m" completes "Mi Menor - 1 Sustenido".
void TestAccessibility::chooseMiMenor()
{
    m_form->show();
    QVERIFY(QTest::qWaitForWindowActive(m_form));
    for (int tab = 0; tab < 3; ++tab)
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QTest::keyClick(QApplication::focusWidget(), 'm');
    QCOMPARE(m_form->ComboBox1->ItemIndex(), 1);
}

void TestAccessibility::everyControlHasARoleAndAName()
{
    const QList<QWidget *> controls = m_form->findChildren<QWidget *>(Qt::FindDirectChildrenOnly);
    QCOMPARE(controls.size(), 16);
    for (QWidget *control : controls) {
        QAccessibleInterface *iface = accessible(control);
        QVERIFY2(iface && iface->isValid(), control->metaObject()->className());
        // Client is what a widget that nobody described gets.
        QVERIFY2(iface->role() != QAccessible::Client, control->metaObject()->className());
        QVERIFY2(!iface->text(QAccessible::Name).isEmpty(), control->metaObject()->className());
        QCOMPARE(iface->parent()->object(), static_cast<QObject *>(m_form));
    }
}

void TestAccessibility::rolesAndNames_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<QAccessible::Role>("role");
    QTest::addColumn<QString>("name");
    QTest::newRow("StringGrid1") << "StringGrid1" << QAccessible::Table << "Acordes da escala primitiva";
    QTest::newRow("StringGrid2") << "StringGrid2" << QAccessible::Table << "Acordes da escala harmônica";
    QTest::newRow("StringGrid3") << "StringGrid3" << QAccessible::Table << "Acordes da escala melódica";
    QTest::newRow("ComboBox1") << "ComboBox1" << QAccessible::ComboBox << "Escolha a escala";
    QTest::newRow("MediaPlayer1") << "MediaPlayer1" << QAccessible::Button << "Tocar escala primitiva";
    QTest::newRow("MediaPlayer2") << "MediaPlayer2" << QAccessible::Button << "Tocar escala harmônica";
    QTest::newRow("MediaPlayer3") << "MediaPlayer3" << QAccessible::Button << "Tocar escala melódica";
    QTest::newRow("Label2") << "Label2" << QAccessible::StaticText << "Harmônica";
    QTest::newRow("Form1") << "Form1" << QAccessible::Window << "Quiralto - Versão 1.0";
}

void TestAccessibility::rolesAndNames()
{
    QFETCH(QString, control);
    QFETCH(QAccessible::Role, role);
    QFETCH(QString, name);
    const std::map<QString, QWidget *> controls = {
        {"StringGrid1", m_form->StringGrid1}, {"StringGrid2", m_form->StringGrid2},
        {"StringGrid3", m_form->StringGrid3}, {"ComboBox1", m_form->ComboBox1},
        {"MediaPlayer1", m_form->MediaPlayer1}, {"MediaPlayer2", m_form->MediaPlayer2},
        {"MediaPlayer3", m_form->MediaPlayer3}, {"Label2", m_form->Label2}, {"Form1", m_form},
    };
    QAccessibleInterface *iface = accessible(controls.at(control));
    QCOMPARE(iface->role(), role);
    QCOMPARE(iface->text(QAccessible::Name), name);
}

void TestAccessibility::gridsAreTablesUnderTheirHeadings_data()
{
    QTest::addColumn<int>("grid");
    QTest::addColumn<QStringList>("headers");
    QTest::addColumn<QString>("tooltip");
    QTest::newRow("natural") << 1
                             << cells({{0, "Tônica"}, {2, "Sobretônica"}, {3, "Mediante"}, {5, "Subdominante"},
                                       {7, "Dominante"}, {8, "Submediante"}, {10, "Subtônica"}, {12, "Tônica"}})
                             << "O acorde da dominante é menor.";
    QTest::newRow("harmonic") << 2
                              << cells({{0, "Tônica"}, {2, "Sobretônica"}, {3, "Mediante"}, {5, "Subdominante"},
                                        {7, "Dominante"}, {8, "Submediante"}, {11, "Sensível"}, {12, "Tônica"}})
                              << "A alteração da sensível não se aplica ao acorde da mediante "
                                 "(tonalidades relativas: I - vi, i - III).";
    QTest::newRow("melodic") << 3
                             << cells({{0, "Tônica"}, {2, "Sobretônica"}, {3, "Mediante"}, {5, "Subdominante"},
                                       {7, "Dominante"}, {9, "Submediante"}, {11, "Sensível"}, {12, "Tônica"}})
                             << "A alteração da sensível não se aplica ao acorde da mediante "
                                "(tonalidades relativas: I - vi, i - III).";
}

void TestAccessibility::gridsAreTablesUnderTheirHeadings()
{
    QFETCH(int, grid);
    QFETCH(QStringList, headers);
    QFETCH(QString, tooltip);
    ui::TStringGrid *const grids[] = {m_form->StringGrid1, m_form->StringGrid2, m_form->StringGrid3};
    QAccessibleTableInterface *chords = table(grids[grid - 1]);
    QVERIFY(chords);

    // GIVEN no key chosen yet, THEN one row of 13 empty chord cells lies
    // under the 13 headings.
    QCOMPARE(chords->columnCount(), 13);
    QCOMPARE(chords->rowCount(), 1);
    QVERIFY(!chords->cellAt(1, 0));
    QVERIFY(!chords->cellAt(0, 13));
    QCOMPARE(rowTexts(chords, 0), QStringList(13));
    QCOMPARE(headerTexts(chords), headers);
    for (int column = 0; column < 13; ++column) {
        QAccessibleInterface *cell = chords->cellAt(0, column);
        QCOMPARE(cell->role(), QAccessible::Cell);
        QCOMPARE(cell->tableCellInterface()->rowIndex(), 0);
        QCOMPARE(cell->tableCellInterface()->columnIndex(), column);
        QCOMPARE(cell->tableCellInterface()->table(), accessible(grids[grid - 1]));
        QAccessibleInterface *header = cell->tableCellInterface()->columnHeaderCells().first();
        QCOMPARE(header->role(), QAccessible::ColumnHeader);
        QCOMPARE(chords->columnDescription(column), headers[column]);
    }
    // The grid's teaching remark is its description.
    QCOMPARE(accessible(grids[grid - 1])->text(QAccessible::Description), tooltip);
}

void TestAccessibility::headersFollowTheHeadingToggle()
{
    m_form->show();
    QVERIFY(QTest::qWaitForWindowActive(m_form));
    QAccessibleTableInterface *natural = table(m_form->StringGrid1);
    const QStringList names = headerTexts(natural);

    // WHEN a chord cell is clicked, THEN the headers read the numerals...
    QTest::mouseClick(m_form->StringGrid1, Qt::LeftButton, {}, m_form->StringGrid1->cellRect(4, 1).center());
    QCOMPARE(headerTexts(natural),
             cells({{0, "i"}, {2, "ii°"}, {3, "III"}, {5, "iv"}, {7, "v"}, {8, "VI"}, {10, "VII"}, {12, "i"}}));
    // ... and after a second click the names again; the other grids keep theirs.
    QTest::mouseClick(m_form->StringGrid1, Qt::LeftButton, {}, m_form->StringGrid1->cellRect(4, 1).center());
    QCOMPARE(headerTexts(natural), names);
    QCOMPARE(headerTexts(table(m_form->StringGrid2))[0], QStringLiteral("Tônica"));
}

void TestAccessibility::chordCellsReadTheChosenKey()
{
    chooseMiMenor();
    // The chords are named as they are said; the grid still shows them as written.
    QCOMPARE(rowTexts(table(m_form->StringGrid1), 0),
             cells({{0, "Mi menor"}, {2, "Fá sustenido diminuto"}, {3, "Sol maior"}, {5, "Lá menor"},
                    {7, "Si menor"}, {8, "Dó maior"}, {10, "Ré maior"}, {12, "Mi menor"}}));
    QCOMPARE(m_form->StringGrid1->Cells(2, 1), QStringLiteral("Fá # Dim."));
    // The harmonic form's raised seventh makes the dominant major.
    QAccessibleTableInterface *harmonic = table(m_form->StringGrid2);
    QCOMPARE(harmonic->cellAt(0, 7)->text(QAccessible::Name), QStringLiteral("Si maior"));
    QCOMPARE(harmonic->cellAt(0, 7)->tableCellInterface()->columnHeaderCells().first()->text(QAccessible::Name),
             QStringLiteral("Dominante"));
}

void TestAccessibility::cellsAreFoundWhereTheGridDrawsThem()
{
    m_form->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_form));
    ui::TStringGrid *grid = m_form->StringGrid3;
    QAccessibleInterface *iface = accessible(grid);

    // Headings first, then the chord row, each child where its index says.
    QCOMPARE(iface->childCount(), 26);
    for (int index = 0; index < iface->childCount(); ++index) {
        QAccessibleInterface *child = iface->child(index);
        QVERIFY(child);
        QCOMPARE(iface->indexOfChild(child), index);
        QCOMPARE(child->parent(), iface);
        QCOMPARE(child->role(), index < 13 ? QAccessible::ColumnHeader : QAccessible::Cell);
        const QRect drawn = grid->cellRect(index % 13, index / 13);
        QCOMPARE(child->rect(), QRect(grid->mapToGlobal(drawn.topLeft()), drawn.size()));
        QCOMPARE(iface->childAt(child->rect().center().x(), child->rect().center().y()), child);
    }
    QVERIFY(!iface->child(26));
    QCOMPARE(iface->indexOfChild(accessible(m_form->StringGrid1)->child(0)), -1);
    // The sunken border is no cell.
    const QPoint border = grid->mapToGlobal(QPoint(1, 1));
    QVERIFY(!iface->childAt(border.x(), border.y()));
}

void TestAccessibility::cellsReportTheSelectionAndTheCurrentCell()
{
    m_form->show();
    QVERIFY(QTest::qWaitForWindowActive(m_form));
    ui::TStringGrid *grid = m_form->StringGrid2;
    QAccessibleInterface *iface = accessible(grid);
    QAccessibleTableInterface *chords = iface->tableInterface();

    // GIVEN the focus in another grid, THEN no cell of this one is focused.
    QCOMPARE(QApplication::focusWidget(), m_form->StringGrid1);
    QVERIFY(!iface->focusChild());
    QVERIFY(!chords->cellAt(0, 0)->state().focused);

    // WHEN a chord cell is clicked, THEN it is the selected, focused cell.
    QTest::mouseClick(grid, Qt::LeftButton, {}, grid->cellRect(3, 1).center());
    QCOMPARE(iface->focusChild(), chords->cellAt(0, 3));
    QCOMPARE(chords->selectedCells(), QList<QAccessibleInterface *>{chords->cellAt(0, 3)});
    QVERIFY(chords->cellAt(0, 3)->state().focused);
    QVERIFY(chords->cellAt(0, 3)->state().selected);

    // WHEN Shift extends the run to column 5, THEN columns 3 to 5 are
    // selected and the current cell stays at 3.
    QTest::mouseClick(grid, Qt::LeftButton, Qt::ShiftModifier, grid->cellRect(5, 1).center());
    QCOMPARE(chords->selectedCellCount(), 3);
    QCOMPARE(chords->selectedColumns(), (QList<int>{3, 4, 5}));
    QVERIFY(chords->isColumnSelected(4));
    QVERIFY(!chords->isColumnSelected(6));
    QVERIFY(!chords->isRowSelected(0));
    QVERIFY(chords->selectedRows().isEmpty());
    QVERIFY(chords->cellAt(0, 5)->tableCellInterface()->isSelected());
    QVERIFY(!chords->cellAt(0, 5)->state().focused);
    QCOMPARE(iface->focusChild(), chords->cellAt(0, 3));
    // Headings are never selected.
    QVERIFY(!iface->child(4)->state().selected);

    // The selection is the user's: assistive technology cannot change it.
    QVERIFY(!chords->selectColumn(8));
    QCOMPARE(chords->selectedCellCount(), 3);

    // WHEN the focus leaves the grid, THEN the run stays selected but no
    // cell is focused.
    QTest::keyClick(grid, Qt::Key_Tab);
    QVERIFY(!iface->focusChild());
    QVERIFY(!chords->cellAt(0, 3)->state().focused);
    QCOMPARE(chords->selectedCellCount(), 3);
}

void TestAccessibility::cellsGoWithTheirGrid()
{
    QAccessibleInterface *cell = table(m_form->StringGrid1)->cellAt(0, 4);
    const QAccessible::Id id = QAccessible::uniqueId(cell);
    QCOMPARE(QAccessible::accessibleInterface(id), cell);
    delete m_form;
    m_form = nullptr;
    QVERIFY(!QAccessible::accessibleInterface(id));
}

void TestAccessibility::selectorReportsItsTextAndItsList()
{
    QAccessibleInterface *selector = accessible(m_form->ComboBox1);
    QCOMPARE(selector->text(QAccessible::Value), QStringLiteral("Armadura"));
    QVERIFY(selector->state().expandable);
    QVERIFY(selector->state().collapsed);

    // The value is the text as shown, the typed letter in the case it was
    // typed in.
    chooseMiMenor();
    QCOMPARE(selector->text(QAccessible::Value), QStringLiteral("mi Menor - 1 Sustenido"));
    QVERIFY(selector->state().focused);

    // The list opens and closes through its action, as F4 does.
    QAccessibleActionInterface *actions = selector->actionInterface();
    QVERIFY(actions->actionNames().contains(QAccessibleActionInterface::showMenuAction()));
    actions->doAction(QAccessibleActionInterface::showMenuAction());
    QVERIFY(m_form->ComboBox1->DroppedDown());
    QVERIFY(selector->state().expanded);
    actions->doAction(QAccessibleActionInterface::showMenuAction());
    QVERIFY(!m_form->ComboBox1->DroppedDown());
    QVERIFY(selector->state().collapsed);
    QCOMPARE(m_form->ComboBox1->ItemIndex(), 1);
}

void TestAccessibility::playersSayWhetherTheyCanPlay()
{
    // GIVEN no key chosen, THEN no Play button can play.
    for (QObject *player : {m_form->MediaPlayer1, m_form->MediaPlayer2, m_form->MediaPlayer3})
        QVERIFY(isDisabled(player));

    // WHEN a key whose files are present is chosen, THEN all three can.
    chooseMiMenor();
    for (QObject *player : {m_form->MediaPlayer1, m_form->MediaPlayer2, m_form->MediaPlayer3})
        QVERIFY(!isDisabled(player));

    // WHEN the harmonic one is pressed through its action, THEN its file
    // plays and it cannot play again until the file has ended.
    QAccessibleActionInterface *actions = accessible(m_form->MediaPlayer2)->actionInterface();
    QCOMPARE(actions->actionNames().first(), QAccessibleActionInterface::pressAction());
    m_service->clearRequests();
    actions->doAction(QAccessibleActionInterface::pressAction());
    const playback::DeviceId device = m_form->MediaPlayer2->OpenDeviceId();
    QVERIFY(m_service->requests().contains(QStringLiteral("play %1").arg(device)));
    QVERIFY(isDisabled(m_form->MediaPlayer2));
    QVERIFY(!accessible(m_form->MediaPlayer2)->state().pressed);
    QVERIFY(!isDisabled(m_form->MediaPlayer1));

    m_service->finishPlaying(device);
    QTRY_VERIFY(!isDisabled(m_form->MediaPlayer2));
}

void TestAccessibility::pressingAGreyedPlayerDoesNothing()
{
    m_form->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_form));
    // Like the pointer, and unlike Space, the action leaves a greyed
    // button alone: no request, and no error for the error box.
    accessible(m_form->MediaPlayer1)->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    QVERIFY(m_service->requests().isEmpty());
    QVERIFY(isDisabled(m_form->MediaPlayer1));
}

QTEST_MAIN(TestAccessibility)
#include "tst_accessibility.moc"
