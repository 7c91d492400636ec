#include "model/keytable.h"
#include "playback/mcideviceerror.h"
#include "playback/scaleplayer.h"
#include "tests/support/fakemediaservice.h"
#include "ui/tcombobox.h"
#include "ui/tform1.h"
#include "ui/tstringgrid.h"
#include "windowing/systemcolors.h"

#include <QLabel>
#include <QScrollBar>
#include <QTest>

#include <array>
#include <map>

using namespace quiralto;
using quiralto::testsupport::FakeMediaService;
using quiralto::ui::TForm1;

namespace {

QStringList row(const ui::TStringGrid *grid, int row)
{
    QStringList cells;
    for (int column = 0; column < 13; ++column)
        cells << grid->Cells(column, row);
    return cells;
}

// The cells of a row, "" for a column never written.
QStringList cells(std::initializer_list<std::pair<int, const char *>> written)
{
    QStringList out(13);
    for (const auto &[column, text] : written)
        out[column] = QString::fromUtf8(text);
    return out;
}

void addEveryScaleFile(FakeMediaService &service)
{
    for (const model::KeyTableRow &key : model::KeyTable())
        for (model::ScaleForm form : model::AllScaleForms)
            service.addFile(model::scaleFileName(key.tonicIndex, form));
}

} // namespace

class TestTForm1 : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void windowAsDesigned();
    void formsLineUp_data();
    void formsLineUp();
    void creditsEndTogether();
    void headerControlsAtTheirPlaces_data();
    void headerControlsAtTheirPlaces();
    void tabOrder();
    void startsWithHeadingsAndNoKey();
    void paintsHeadingAndChordRows();
    void choosingAKeyFillsRowsAndOpensThePlayers();
    void aMissingFileEndsTheKeyChangeAtItsPlayer();
    void aChangeBeforeAnyKeyOpensEmptyNames();
    void clicksToggleOnlyTheirGridsHeadings();

private:
    void chooseKey(int position);

    FakeMediaService *m_service = nullptr;
    TForm1 *m_form = nullptr;
};

void TestTForm1::init()
{
    m_service = new FakeMediaService;
    m_form = new TForm1(*m_service);
    m_form->FormCreate();
}

void TestTForm1::cleanup()
{
    delete m_form;
    delete m_service;
}

// As a user would: the list's arrow keys step to the key, each step being
// one change event.
void TestTForm1::chooseKey(int position)
{
    m_form->show();
    QVERIFY(QTest::qWaitForWindowActive(m_form));
    m_form->ComboBox1->setFocus();
    for (int step = 0; step < 15 && m_form->ComboBox1->ItemIndex() != position; ++step)
        QTest::keyClick(QApplication::focusWidget(),
                        m_form->ComboBox1->ItemIndex() < position ? Qt::Key_Down : Qt::Key_Up);
    QCOMPARE(m_form->ComboBox1->ItemIndex(), position);
}

void TestTForm1::windowAsDesigned()
{
    QCOMPARE(m_form->windowTitle(), QStringLiteral("Quiralto - Versão 1.0"));
    QCOMPARE(m_form->size(), QSize(981, 479));
    QCOMPARE(m_form->minimumSize(), QSize(981, 479));
    QCOMPARE(m_form->maximumSize(), QSize(981, 479));
    QCOMPARE(m_form->pos(), QPoint(196, 107));
    const Qt::WindowFlags flags = m_form->windowFlags();
    QVERIFY(flags & Qt::WindowCloseButtonHint);
    QVERIFY(!(flags & Qt::WindowMinimizeButtonHint));
    QVERIFY(!(flags & Qt::WindowMaximizeButtonHint));
    // At the designed size every column fits: no grid shows a scroll bar.
    for (const QScrollBar *bar : m_form->findChildren<QScrollBar *>())
        QVERIFY(!bar->isVisibleTo(m_form));
}

// Each form of the scale: its label above the grid at the left, its player
// to the right of the label, and the grid below both; the forms stacked
// 128 pixels apart under the first grid.
void TestTForm1::formsLineUp_data()
{
    QTest::addColumn<int>("form");
    QTest::newRow("Primitiva") << 0;
    QTest::newRow("Harmônica") << 1;
    QTest::newRow("Melódica") << 2;
}

void TestTForm1::formsLineUp()
{
    QFETCH(int, form);
    const std::array<QLabel *, 3> labels = {m_form->Label1, m_form->Label2, m_form->Label3};
    const std::array<ui::TStringGrid *, 3> grids = {m_form->StringGrid1, m_form->StringGrid2, m_form->StringGrid3};
    const std::array<playback::ScalePlayer *, 3> players = {m_form->MediaPlayer1, m_form->MediaPlayer2,
                                                            m_form->MediaPlayer3};
    const QRect grid = grids[form]->geometry();
    const QRect label = labels[form]->geometry();
    const QRect player = players[form]->geometry();

    QCOMPARE(grid, QRect(8, 104, 965, 53).translated(0, 128 * form));
    QCOMPARE(label.topLeft(), QPoint(16, grid.top() - 24));
    QCOMPARE(player, QRect(72, grid.top() - 32, 29, 30));
    QVERIFY(label.right() < player.left());
    QVERIFY(player.bottom() < grid.top());
    // A label is as wide as its text, one line of the window font high.
    QCOMPARE(label.height(), 13);
    QVERIFY(label.width() >= labels[form]->fontMetrics().horizontalAdvance(labels[form]->text()));
}

void TestTForm1::creditsEndTogether()
{
    const QRect developer = m_form->Label4->geometry();
    const QRect contact = m_form->Label5->geometry();
    QCOMPARE(developer.right(), 961);
    QCOMPARE(contact.right(), developer.right());
    QCOMPARE(developer.top(), 432);
    QCOMPARE(contact.top(), developer.top() + 24);
    for (const QLabel *label : {m_form->Label4, m_form->Label5})
        QVERIFY(label->width() >= label->fontMetrics().horizontalAdvance(label->text()));
}

void TestTForm1::headerControlsAtTheirPlaces_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("geometry");
    QTest::newRow("ComboBox1") << "ComboBox1" << QRect(128, 16, 177, 21);
    // Labels size themselves to their text: only their corner is designed.
    QTest::newRow("Label6") << "Label6" << QRect(368, 16, 0, 0);
    QTest::newRow("Label7") << "Label7" << QRect(368, 40, 0, 0);
    QTest::newRow("Label8") << "Label8" << QRect(368, 64, 0, 0);
    QTest::newRow("Label9") << "Label9" << QRect(800, 40, 0, 0);
}

void TestTForm1::headerControlsAtTheirPlaces()
{
    QFETCH(QString, name);
    QFETCH(QRect, geometry);
    const std::map<QString, QWidget *> controls = {
        {"ComboBox1", m_form->ComboBox1}, {"Label6", m_form->Label6}, {"Label7", m_form->Label7},
        {"Label8", m_form->Label8}, {"Label9", m_form->Label9},
    };
    QWidget *control = controls.at(name);
    if (geometry.isEmpty()) {
        QCOMPARE(control->pos(), geometry.topLeft());
        QCOMPARE(control->height(), 13);
        QVERIFY2(control->geometry().right() < 981, "label runs off the window");
    } else {
        QCOMPARE(control->geometry(), geometry);
    }
}

void TestTForm1::tabOrder()
{
    const QList<QWidget *> expected = {m_form->StringGrid1, m_form->StringGrid2, m_form->StringGrid3,
                                       m_form->ComboBox1, m_form->MediaPlayer1, m_form->MediaPlayer2,
                                       m_form->MediaPlayer3};
    m_form->show();
    QVERIFY(QTest::qWaitForWindowActive(m_form));
    // The first control in tab order has the focus when the window opens.
    QCOMPARE(QApplication::focusWidget(), m_form->StringGrid1);
    for (int i = 1; i <= expected.size(); ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        // The selector's focus sits in its edit field.
        QWidget *focus = QApplication::focusWidget();
        QWidget *control = expected[i % expected.size()];
        QVERIFY2(focus == control || control->isAncestorOf(focus), qPrintable(QString::number(i)));
    }
    // Labels never take the focus.
    for (QLabel *label : m_form->findChildren<QLabel *>())
        QCOMPARE(label->focusPolicy(), Qt::NoFocus);
}

void TestTForm1::startsWithHeadingsAndNoKey()
{
    QCOMPARE(row(m_form->StringGrid1, 0),
             cells({{0, "Tônica"}, {2, "Sobretônica"}, {3, "Mediante"}, {5, "Subdominante"},
                    {7, "Dominante"}, {8, "Submediante"}, {10, "Subtônica"}, {12, "Tônica"}}));
    QCOMPARE(row(m_form->StringGrid2, 0)[11], QStringLiteral("Sensível"));
    QCOMPARE(row(m_form->StringGrid3, 0)[9], QStringLiteral("Submediante"));
    for (const ui::TStringGrid *grid : {m_form->StringGrid1, m_form->StringGrid2, m_form->StringGrid3})
        QCOMPARE(row(grid, 1), QStringList(13));
    QCOMPARE(m_form->ComboBox1->Text(), QStringLiteral("Armadura"));
    QCOMPARE(m_form->ComboBox1->ItemIndex(), -1);
    QCOMPARE(m_form->ComboBox1->Items().size(), 15);
    QCOMPARE(m_form->harmonicField().TonicIndex(), 0);
    for (const playback::ScalePlayer *player : {m_form->MediaPlayer1, m_form->MediaPlayer2, m_form->MediaPlayer3}) {
        QCOMPARE(player->FileName(), std::string());
        QVERIFY(!player->PlayAvailable());
    }
    QVERIFY(m_service->requests().isEmpty());
}

void TestTForm1::paintsHeadingAndChordRows()
{
    const QImage image = m_form->grab().toImage();
    const QPalette palette = m_form->StringGrid1->palette();
    const QColor face = windowing::systemColor(windowing::SystemColor::BtnFace, palette);
    const QColor window = windowing::systemColor(windowing::SystemColor::Window, palette);
    const QPoint grid(8 + 2, 104 + 2); // the first grid's cells, in the window
    // Column 1 is empty in both rows: background only.
    QCOMPARE(image.pixelColor(grid + QPoint(74 + 36, 12)), face);
    QCOMPARE(image.pixelColor(grid + QPoint(74 + 36, 37)), window);
    // The lines: black in the heading row, silver in the chord row.
    QCOMPARE(image.pixelColor(grid + QPoint(74 + 73, 12)), QColor(Qt::black));
    QCOMPARE(image.pixelColor(grid + QPoint(74 + 36, 24)), QColor(Qt::black));
    QCOMPARE(image.pixelColor(grid + QPoint(74 + 73, 37)), QColor(192, 192, 192));
    // And the window around the grids in button face.
    QCOMPARE(image.pixelColor(4, 200), face);
}

void TestTForm1::choosingAKeyFillsRowsAndOpensThePlayers()
{
    addEveryScaleFile(*m_service);
    chooseKey(1); // "Mi Menor - 1 Sustenido"
    QCOMPARE(m_form->harmonicField().TonicIndex(), 12);
    QCOMPARE(row(m_form->StringGrid1, 1),
             cells({{0, "Mi Menor"}, {2, "Fá # Dim."}, {3, "Sol Maior"}, {5, "Lá Menor"},
                    {7, "Si Menor"}, {8, "Dó Maior"}, {10, "Ré Maior"}, {12, "Mi Menor"}}));
    QCOMPARE(row(m_form->StringGrid2, 1)[11], QStringLiteral("Ré # Dim."));
    QCOMPARE(row(m_form->StringGrid3, 1)[9], QStringLiteral("Dó # Dim."));
    QCOMPARE(m_form->MediaPlayer1->FileName(), std::string("Mi Prim.MID"));
    QCOMPARE(m_form->MediaPlayer2->FileName(), std::string("Mi Harm.MID"));
    QCOMPARE(m_form->MediaPlayer3->FileName(), std::string("Mi Mel.MID"));
    for (const playback::ScalePlayer *player : {m_form->MediaPlayer1, m_form->MediaPlayer2, m_form->MediaPlayer3})
        QVERIFY(player->PlayAvailable());
    QCOMPARE(int(m_service->openDevices().size()), 3);

    // Each step of the arrows reopened all three, natural first.
    const QStringList opens = m_service->requests().filter(QStringLiteral("open "));
    QCOMPARE(opens.mid(opens.size() - 3), QStringList({"open Mi Prim.MID", "open Mi Harm.MID", "open Mi Mel.MID"}));

    // A column one form leaves empty stays empty whatever key came before.
    chooseKey(14);
    QCOMPARE(row(m_form->StringGrid1, 1)[9], QString());
    QCOMPARE(row(m_form->StringGrid1, 1)[8], QStringLiteral("Fá b Maior"));
    QCOMPARE(int(m_service->openDevices().size()), 3);
}

void TestTForm1::aMissingFileEndsTheKeyChangeAtItsPlayer()
{
    addEveryScaleFile(*m_service);
    chooseKey(0);
    const auto harmonicDevice = m_form->MediaPlayer2->OpenDeviceId();
    const auto melodicDevice = m_form->MediaPlayer3->OpenDeviceId();

    // "Mi Prim.MID" disappears from the folder.
    m_service->addFile("Mi Prim.MID", {playback::ErrorFileNotFound});
    m_form->ComboBox1->setItemIndex(1);
    QVERIFY_THROWS_EXCEPTION(playback::EMCIDeviceError, m_form->ComboBox1Change(m_form->ComboBox1));

    // The grids already show the new key; the natural player holds nothing;
    // the others were not reopened and still hold the earlier key's files.
    QCOMPARE(row(m_form->StringGrid1, 1)[0], QStringLiteral("Mi Menor"));
    QCOMPARE(row(m_form->StringGrid3, 1)[0], QStringLiteral("Mi Menor"));
    QCOMPARE(m_form->MediaPlayer1->OpenDeviceId(), 0);
    QVERIFY(!m_form->MediaPlayer1->PlayAvailable());
    QCOMPARE(m_form->MediaPlayer2->OpenDeviceId(), harmonicDevice);
    QCOMPARE(m_form->MediaPlayer3->OpenDeviceId(), melodicDevice);
    QCOMPARE(m_form->MediaPlayer2->FileName(), std::string("Mi Harm.MID"));
    QVERIFY(m_form->MediaPlayer2->PlayAvailable());
    QCOMPARE(m_service->requests().filter(QStringLiteral("open ")).last(), QStringLiteral("open Mi Prim.MID"));
}

void TestTForm1::aChangeBeforeAnyKeyOpensEmptyNames()
{
    addEveryScaleFile(*m_service);
    // As after typing a character that completes nothing into "Armadura".
    QVERIFY_THROWS_EXCEPTION(playback::EMCIDeviceError, m_form->ComboBox1Change(m_form->ComboBox1));
    QCOMPARE(m_form->harmonicField().TonicIndex(), 0);
    for (const ui::TStringGrid *grid : {m_form->StringGrid1, m_form->StringGrid2, m_form->StringGrid3})
        QCOMPARE(row(grid, 1), QStringList(13));
    QCOMPARE(m_service->requests(), QStringList({"open "}));
}

void TestTForm1::clicksToggleOnlyTheirGridsHeadings()
{
    addEveryScaleFile(*m_service);
    chooseKey(0);
    m_form->show();
    QVERIFY(QTest::qWaitForWindowActive(m_form));
    const QStringList chords = row(m_form->StringGrid2, 1);
    const QStringList naturalNames = row(m_form->StringGrid1, 0);
    const QPoint chordCell(2 + 74 * 4 + 30, 2 + 37);

    QTest::mouseClick(m_form->StringGrid2, Qt::LeftButton, {}, chordCell);
    QCOMPARE(row(m_form->StringGrid2, 0),
             cells({{0, "i"}, {2, "ii°"}, {3, "III"}, {5, "iv"}, {7, "V"}, {8, "VI"}, {11, "vii°"}, {12, "i"}}));
    QCOMPARE(row(m_form->StringGrid2, 1), chords);
    QCOMPARE(row(m_form->StringGrid1, 0), naturalNames);

    // A new key leaves the numerals where they are.
    chooseKey(2);
    QCOMPARE(row(m_form->StringGrid2, 0)[0], QStringLiteral("i"));

    QTest::mouseClick(m_form->StringGrid2, Qt::LeftButton, {}, chordCell);
    QCOMPARE(row(m_form->StringGrid2, 0)[11], QStringLiteral("Sensível"));
    QCOMPARE(row(m_form->StringGrid2, 0)[0], QStringLiteral("Tônica"));
}

QTEST_MAIN(TestTForm1)
#include "tst_tform1.moc"
