#include "model/keytable.h"
#include "tests/support/failurerecorder.h"
#include "ui/tcombobox.h"
#include "windowing/cancelmode.h"
#include "windowing/drawing.h"
#include "windowing/handlerboundary.h"
#include "windowing/systemcolors.h"

#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>
#include <QTestEventList>

#include <memory>
#include <stdexcept>
#include <utility>

using quiralto::ui::TComboBox;
using namespace quiralto::windowing;

namespace {

QStringList keyTexts()
{
    QStringList texts;
    for (const quiralto::model::KeyTableRow &key : quiralto::model::KeyTable())
        texts << QString::fromLatin1(key.listText);
    return texts;
}

const QString Armadura = QStringLiteral("Armadura");

// Types each character as the desktop would deliver it, accents included.
void type(QWidget *target, const QString &text)
{
    for (const QChar c : text)
        QTest::sendKeyEvent(QTest::Click, target, Qt::Key(c.toUpper().unicode()), QString(c), Qt::NoModifier);
}

} // namespace

class TestComboBox : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup() { m_window.reset(); }

    void typing_data();
    void typing();
    void edits_data();
    void edits();
    void arrows_data();
    void arrows();
    void openingAndClosingRaiseNothing_data();
    void openingAndClosingRaiseNothing();
    void clickInList_data();
    void clickInList();
    void openListShowsEveryItem();
    void shortListScrollsToSelection();
    void dropButtonThenTypingKeepsListOpen();
    void tabMovesOnOnlyWithListClosed();
    void codeRaisesNothing();
    void approachedOnlyByTheUser_data();
    void approachedOnlyByTheUser();
    void throwingHandlerFindsSelectorSettled();

private:
    // Where the desktop delivers keys: the open list, else the edit field.
    QWidget *keyTarget() const;
    QWidget *openList();
    void arrange(const QString &text, int index, int selStart, int selLength);
    QPoint rowCentre(int row) const;

    std::unique_ptr<QWidget> m_window;
    TComboBox *m_box = nullptr;
    QLineEdit *m_edit = nullptr;
    QLineEdit *m_next = nullptr;
    QList<int> m_reported;
};

void TestComboBox::init()
{
    m_window = std::make_unique<QWidget>();
    m_window->setFont(windowFont());
    m_box = new TComboBox(m_window.get());
    m_box->setGeometry(128, 16, 177, 21);
    m_box->setItems(keyTexts());
    m_box->setDropDownCount(15);
    m_box->setText(Armadura);
    m_next = new QLineEdit(m_window.get());
    m_next->setGeometry(128, 60, 177, 21);
    m_window->resize(400, 300);
    m_edit = qobject_cast<QLineEdit *>(m_box->focusProxy());
    QVERIFY(m_edit);
    m_reported.clear();
    connect(m_box, &TComboBox::OnChange, this, [this](TComboBox *sender) {
        QCOMPARE(sender, m_box);
        m_reported << sender->ItemIndex();
    });
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
}

QWidget *TestComboBox::keyTarget() const
{
    QWidget *popup = QApplication::activePopupWidget();
    return popup ? popup : m_edit;
}

QWidget *TestComboBox::openList()
{
    m_box->setDroppedDown(true);
    return QApplication::activePopupWidget();
}

void TestComboBox::arrange(const QString &text, int index, int selStart, int selLength)
{
    if (index >= 0)
        m_box->setItemIndex(index);
    else
        m_box->setText(text);
    m_edit->setSelection(selStart, selLength);
}

QPoint TestComboBox::rowCentre(int row) const
{
    const int rowHeight = QFontMetrics(windowFont()).height();
    return {m_box->width() / 2, 1 + row * rowHeight + rowHeight / 2};
}

void TestComboBox::typing_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("selStart");
    QTest::addColumn<int>("selLength");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("expectedText");
    QTest::addColumn<int>("expectedCaret");
    QTest::addColumn<int>("expectedIndex");
    QTest::addColumn<QList<int>>("reported");

    // A completion leaves the caret at the end, the completed tail selected
    // from the end of what was typed; anything else selects nothing.
    const int all = Armadura.size();
    QTest::newRow("s o l space m") << Armadura << 0 << all << "sol m"
                                   << QString::fromUtf8("sol menor - 2 Bemóis") << 5 << 9 << QList<int>{2, 5, 9};
    QTest::newRow("a does not match á") << Armadura << 0 << all << "la" << "la" << 2 << -1 << QList<int>{0, -1};
    QTest::newRow("á matches á") << Armadura << 0 << all << QString::fromUtf8("lá")
                                 << QString::fromUtf8("lá Menor - Nenhuma Alteração") << 2 << 0 << QList<int>{0};
    QTest::newRow("lower case kept") << Armadura << 0 << all << "m" << "mi Menor - 1 Sustenido" << 1 << 1
                                     << QList<int>{1};
    QTest::newRow("upper case kept") << Armadura << 0 << all << "M" << "Mi Menor - 1 Sustenido" << 1 << 1
                                     << QList<int>{1};
    QTest::newRow("next letter of the item") << Armadura << 0 << all << "si" << "si Menor - 2 Sustenidos" << 2 << 2
                                             << QList<int>{2};
    QTest::newRow("next letter, other case") << Armadura << 0 << all << "sI" << "sI Menor - 2 Sustenidos" << 2
                                             << 2 << QList<int>{2};
    QTest::newRow("appended to Armadura") << Armadura << all << 0 << "s" << "Armaduras" << 9 << -1 << QList<int>{-1};
    QTest::newRow("inserted at the caret") << Armadura << 0 << 0 << "x" << "xArmadura" << 1 << -1
                                           << QList<int>{-1};
    QTest::newRow("replaces a middle range") << Armadura << 2 << 3 << "x" << "Arxura" << 3 << -1
                                             << QList<int>{-1};
    QTest::newRow("searched as if at the end") << "Si" << 0 << 0 << " " << "Si Menor - 2 Sustenidos" << 3 << 2
                                               << QList<int>{2};
}

void TestComboBox::typing()
{
    QFETCH(QString, text);
    QFETCH(int, selStart);
    QFETCH(int, selLength);
    QFETCH(QString, typed);
    QFETCH(QString, expectedText);
    QFETCH(int, expectedCaret);
    QFETCH(int, expectedIndex);
    QFETCH(QList<int>, reported);

    arrange(text, -1, selStart, selLength);
    type(keyTarget(), typed);

    QCOMPARE(m_box->Text(), expectedText);
    QCOMPARE(m_box->ItemIndex(), expectedIndex);
    QCOMPARE(m_reported, reported);
    const bool completed = expectedIndex >= 0;
    QCOMPARE(m_edit->selectedText(), completed ? expectedText.mid(expectedCaret) : QString());
    QCOMPARE(m_edit->cursorPosition(), completed ? expectedText.size() : expectedCaret);
    QVERIFY(!m_box->DroppedDown());
}

void TestComboBox::edits_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<int>("selStart");
    QTest::addColumn<int>("selLength");
    QTest::addColumn<QString>("clipboard");
    QTest::addColumn<QTestEventList>("keys");
    QTest::addColumn<QString>("expectedText");
    QTest::addColumn<int>("expectedCaret");
    QTest::addColumn<QList<int>>("reported");

    const int end = Armadura.size();
    const auto keys = [](std::initializer_list<std::pair<Qt::Key, Qt::KeyboardModifiers>> clicks) {
        QTestEventList list;
        for (const auto &[key, modifiers] : clicks)
            list.addKeyClick(key, modifiers);
        return list;
    };
    const Qt::KeyboardModifiers none;
    const auto backspace = keys({{Qt::Key_Backspace, none}});
    const auto del = keys({{Qt::Key_Delete, none}});
    const auto paste = keys({{Qt::Key_V, Qt::ControlModifier}});
    const QString re = QString::fromUtf8("Ré");

    QTest::newRow("Backspace, range") << -1 << 2 << 3 << QString() << backspace << "Arura" << 2 << QList<int>{-1};
    QTest::newRow("Backspace, caret") << -1 << 3 << 0 << QString() << backspace << "Aradura" << 2 << QList<int>{-1};
    QTest::newRow("Backspace at the start") << 1 << 0 << 0 << QString() << backspace << "Mi Menor - 1 Sustenido"
                                            << 0 << QList<int>{-1};
    QTest::newRow("Backspace, empty text") << -1 << 0 << end << QString()
                                           << keys({{Qt::Key_Backspace, none}, {Qt::Key_Backspace, none}})
                                           << QString() << 0 << QList<int>{-1, -1};
    QTest::newRow("Delete") << -1 << 0 << 0 << QString() << del << "rmadura" << 0 << QList<int>{-1};
    QTest::newRow("Delete at the end") << -1 << end << 0 << QString() << del << Armadura << end << QList<int>{};
    QTest::newRow("Ctrl+X") << -1 << 0 << 3 << QString() << keys({{Qt::Key_X, Qt::ControlModifier}}) << "adura"
                            << 0 << QList<int>{-1};
    QTest::newRow("Shift+Delete") << -1 << 0 << 3 << QString() << keys({{Qt::Key_Delete, Qt::ShiftModifier}})
                                  << "adura" << 0 << QList<int>{-1};
    QTest::newRow("Ctrl+V keeps an item that still fits") << 8 << 0 << 18 << re << paste << re << 2
                                                          << QList<int>{8};
    QTest::newRow("Shift+Insert drops an item that no longer fits")
        << 8 << 0 << 18 << "Mi" << keys({{Qt::Key_Insert, Qt::ShiftModifier}}) << "Mi" << 2 << QList<int>{-1};
    QTest::newRow("Ctrl+Z") << -1 << end << 0 << QString()
                            << keys({{Qt::Key_S, none}, {Qt::Key_Z, Qt::ControlModifier}}) << Armadura << end
                            << QList<int>{-1, -1};
    QTest::newRow("Delete of a completed tail") << -1 << 0 << end << QString()
                                                << keys({{Qt::Key_M, none}, {Qt::Key_I, none}, {Qt::Key_Delete, none}})
                                                << "mi" << 2 << QList<int>{1, 1};
    QTest::newRow("F1") << -1 << 0 << end << QString() << keys({{Qt::Key_F1, none}}) << Armadura << end
                        << QList<int>{};
    // No length limit, not even a text field's usual 32767 characters.
    for (const int length : {600, 40000}) {
        const QString pasted = QStringLiteral("Sol # Menor, ").repeated(length / 13 + 1).left(length);
        QTest::addRow("Ctrl+V of %d characters", length) << -1 << 0 << end << pasted << paste << pasted << length
                                                         << QList<int>{-1};
    }
}

void TestComboBox::edits()
{
    QFETCH(int, index);
    QFETCH(int, selStart);
    QFETCH(int, selLength);
    QFETCH(QString, clipboard);
    QFETCH(QTestEventList, keys);
    QFETCH(QString, expectedText);
    QFETCH(int, expectedCaret);
    QFETCH(QList<int>, reported);

    QApplication::clipboard()->setText(clipboard);
    arrange(Armadura, index, selStart, selLength);
    keys.simulate(keyTarget());

    QCOMPARE(m_box->Text(), expectedText);
    QCOMPARE(m_edit->cursorPosition(), expectedCaret);
    QCOMPARE(m_reported, reported);
    QCOMPARE(m_box->ItemIndex(), reported.isEmpty() ? index : reported.last());
}

void TestComboBox::arrows_data()
{
    QTest::addColumn<bool>("dropped");
    QTest::addColumn<int>("index");
    QTest::addColumn<QList<Qt::Key>>("keys");
    QTest::addColumn<QList<int>>("reported");

    for (const bool dropped : {false, true}) {
        const char *const state = dropped ? "open" : "closed";
        QTest::addRow("%s: down, down, up", state) << dropped << -1
                                                   << QList<Qt::Key>{Qt::Key_Down, Qt::Key_Down, Qt::Key_Up}
                                                   << QList<int>{0, 1, 0};
        QTest::addRow("%s: up from nothing", state) << dropped << -1 << QList<Qt::Key>{Qt::Key_Up}
                                                    << QList<int>{14};
        QTest::addRow("%s: up from the middle", state) << dropped << 7 << QList<Qt::Key>{Qt::Key_Up}
                                                       << QList<int>{6};
        QTest::addRow("%s: down past the end", state) << dropped << 13
                                                      << QList<Qt::Key>{Qt::Key_Down, Qt::Key_Down}
                                                      << QList<int>{14};
        QTest::addRow("%s: up past the start", state) << dropped << 0 << QList<Qt::Key>{Qt::Key_Up}
                                                      << QList<int>{};
    }
}

void TestComboBox::arrows()
{
    QFETCH(bool, dropped);
    QFETCH(int, index);
    QFETCH(QList<Qt::Key>, keys);
    QFETCH(QList<int>, reported);

    m_box->setItemIndex(index);
    if (dropped)
        openList();
    for (const Qt::Key key : keys)
        QTest::keyClick(keyTarget(), key);

    QCOMPARE(m_reported, reported);
    const int selected = reported.isEmpty() ? index : reported.last();
    QCOMPARE(m_box->ItemIndex(), selected);
    QCOMPARE(m_box->Text(), keyTexts().at(selected));
    QCOMPARE(m_box->DroppedDown(), dropped);
}

void TestComboBox::openingAndClosingRaiseNothing_data()
{
    QTest::addColumn<bool>("dropped");
    QTest::addColumn<int>("key");
    QTest::addColumn<Qt::KeyboardModifiers>("modifiers");

    QTest::newRow("Enter") << true << int(Qt::Key_Return) << Qt::KeyboardModifiers();
    QTest::newRow("keypad Enter") << true << int(Qt::Key_Enter) << Qt::KeyboardModifiers(Qt::KeypadModifier);
    QTest::newRow("Esc") << true << int(Qt::Key_Escape) << Qt::KeyboardModifiers();
    QTest::newRow("F4 opens") << false << int(Qt::Key_F4) << Qt::KeyboardModifiers();
    QTest::newRow("F4 closes") << true << int(Qt::Key_F4) << Qt::KeyboardModifiers();
    QTest::newRow("Alt+Down opens") << false << int(Qt::Key_Down) << Qt::KeyboardModifiers(Qt::AltModifier);
    QTest::newRow("Alt+Up closes") << true << int(Qt::Key_Up) << Qt::KeyboardModifiers(Qt::AltModifier);
}

void TestComboBox::openingAndClosingRaiseNothing()
{
    QFETCH(bool, dropped);
    QFETCH(int, key);
    QFETCH(Qt::KeyboardModifiers, modifiers);

    m_box->setItemIndex(4);
    m_box->setDroppedDown(dropped);
    QTest::keyClick(keyTarget(), Qt::Key(key), modifiers);

    QCOMPARE(m_box->DroppedDown(), !dropped);
    QCOMPARE(m_box->ItemIndex(), 4);
    QCOMPARE(m_box->Text(), keyTexts().at(4));
    QCOMPARE(m_reported, QList<int>{});
}

void TestComboBox::clickInList_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<int>("row");
    QTest::addColumn<QList<int>>("reported");

    QTest::newRow("first row") << -1 << 0 << QList<int>{0};
    QTest::newRow("last row, no scrolling") << -1 << 14 << QList<int>{14};
    QTest::newRow("another item") << 4 << 9 << QList<int>{9};
    QTest::newRow("the selected item") << 4 << 4 << QList<int>{};
}

void TestComboBox::clickInList()
{
    QFETCH(int, index);
    QFETCH(int, row);
    QFETCH(QList<int>, reported);

    m_box->setItemIndex(index);
    QTest::mouseClick(openList(), Qt::LeftButton, {}, rowCentre(row));

    QVERIFY(!m_box->DroppedDown());
    QCOMPARE(m_box->ItemIndex(), row);
    QCOMPARE(m_box->Text(), keyTexts().at(row));
    QCOMPARE(m_reported, reported);
}

void TestComboBox::openListShowsEveryItem()
{
    QCOMPARE(m_box->height(), m_box->sizeHint().height());
    m_box->setItemIndex(2);
    QWidget *list = openList();
    const int rowHeight = QFontMetrics(windowFont()).height();
    QCOMPARE(list->size(), QSize(177, 15 * rowHeight + 2));
    QCOMPARE(list->geometry().topLeft(), m_box->mapToGlobal(QPoint(0, m_box->height())));

    // The selected row is lit until the pointer lights another.
    const QColor highlight = systemColor(SystemColor::Highlight, list->palette());
    const QColor window = systemColor(SystemColor::Window, list->palette());
    const auto fill = [&](int row) { return list->grab().toImage().pixelColor(list->width() - 6, rowCentre(row).y()); };
    QCOMPARE(fill(2), highlight);
    QTest::mouseMove(list, rowCentre(6));
    QTRY_COMPARE(fill(6), highlight);
    QCOMPARE(fill(2), window);

    // The frame ends an open list before showing an error.
    CancelModeEvent cancel;
    QApplication::sendEvent(m_box, &cancel);
    QVERIFY(!m_box->DroppedDown());
    QCOMPARE(m_box->ItemIndex(), 2);
    QCOMPARE(m_reported, QList<int>{});
}

void TestComboBox::shortListScrollsToSelection()
{
    m_box->setDropDownCount(4);
    QWidget *list = openList();
    QCOMPARE(list->height(), 4 * QFontMetrics(windowFont()).height() + 2);
    for (int i = 0; i < 6; ++i)
        QTest::keyClick(list, Qt::Key_Down);
    QCOMPARE(m_reported, (QList<int>{0, 1, 2, 3, 4, 5}));

    // The selection has scrolled into the bottom row.
    QTest::mouseClick(list, Qt::LeftButton, {}, rowCentre(3));
    QCOMPARE(m_box->ItemIndex(), 5);
    QCOMPARE(m_reported.size(), 6);
}

void TestComboBox::dropButtonThenTypingKeepsListOpen()
{
    // The drop button selects the whole text, so typing starts afresh.
    QTest::mouseClick(m_box, Qt::LeftButton, {}, QPoint(m_box->width() - 8, m_box->height() / 2));
    type(keyTarget(), keyTexts().at(1).toLower());

    QVERIFY(m_box->DroppedDown());
    QCOMPARE(m_box->Text(), keyTexts().at(1).toLower());
    QCOMPARE(m_reported, QList<int>{1});
}

void TestComboBox::tabMovesOnOnlyWithListClosed()
{
    m_window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
    m_box->setFocus(Qt::TabFocusReason);
    QTRY_VERIFY(m_edit->hasFocus());

    QTest::keyClick(openList(), Qt::Key_Tab);
    QVERIFY(m_box->DroppedDown());
    QTest::keyClick(keyTarget(), Qt::Key_Escape);
    QTRY_VERIFY(m_edit->hasFocus());

    QTest::keyClick(m_edit, Qt::Key_Tab);
    QTRY_VERIFY(m_next->hasFocus());
    QCOMPARE(m_reported, QList<int>{});
}

void TestComboBox::codeRaisesNothing()
{
    const QStringList items = keyTexts();
    m_box->setText(items.at(5));
    QCOMPARE(m_box->ItemIndex(), 5);
    m_box->setText(items.at(5).toUpper());
    QCOMPARE(m_box->ItemIndex(), -1);
    m_box->setItemIndex(3);
    QCOMPARE(m_box->Text(), items.at(3));
    m_box->setItemIndex(15);
    QCOMPARE(m_box->ItemIndex(), -1);
    QCOMPARE(m_box->Text(), QString());
    m_box->setItemIndex(3);
    m_box->setItems(items);
    QCOMPARE(m_box->ItemIndex(), -1);
    QCOMPARE(m_reported, QList<int>{});
}

void TestComboBox::approachedOnlyByTheUser_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<bool>("approached");

    QTest::newRow("the pointer enters") << "enter" << true;
    QTest::newRow("Shift+Tab brings the focus") << "backtab" << true;
    QTest::newRow("a click on the drop button") << "drop button" << true;
    QTest::newRow("F4 opens the list") << "F4" << true;
    QTest::newRow("the focus set from code") << "focus from code" << false;
    QTest::newRow("the list opened from code") << "list from code" << false;
    QTest::newRow("text and item set from code") << "text from code" << false;
}

void TestComboBox::approachedOnlyByTheUser()
{
    QFETCH(QString, action);
    QFETCH(bool, approached);

    // GIVEN the focus in the next field and the pointer away from the selector
    m_window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
    m_next->setFocus();
    QTRY_VERIFY(m_next->hasFocus());
    QTest::mouseMove(m_window.get(), QPoint(390, 290));
    QSignalSpy approaches(m_box, &TComboBox::approached);

    // WHEN
    if (action == QLatin1String("enter")) {
        QTest::mouseMove(m_box, QPoint(20, 10));
    } else if (action == QLatin1String("backtab")) {
        QTest::keyClick(m_next, Qt::Key_Backtab, Qt::ShiftModifier);
        QTRY_VERIFY(m_edit->hasFocus());
    } else if (action == QLatin1String("drop button")) {
        QTest::mouseClick(m_box, Qt::LeftButton, {}, QPoint(m_box->width() - 8, m_box->height() / 2));
        QVERIFY(m_box->DroppedDown());
    } else if (action == QLatin1String("F4")) {
        m_box->setFocus();
        QTRY_VERIFY(m_edit->hasFocus());
        QCOMPARE(approaches.size(), 0);
        QTest::keyClick(m_edit, Qt::Key_F4);
        QVERIFY(m_box->DroppedDown());
    } else if (action == QLatin1String("focus from code")) {
        m_box->setFocus();
        QTRY_VERIFY(m_edit->hasFocus());
    } else if (action == QLatin1String("list from code")) {
        m_box->setDroppedDown(true);
        QVERIFY(m_box->DroppedDown());
    } else {
        m_box->setText(keyTexts().at(2));
        m_box->setItemIndex(5);
    }

    // THEN
    QCOMPARE(!approaches.isEmpty(), approached);
    for (const QList<QVariant> &arguments : approaches)
        QCOMPARE(arguments.first().value<TComboBox *>(), m_box);
    QCOMPARE(m_reported, QList<int>{});
}

// A handler that fails ends at the boundary the window wires it through; the
// selector has settled before it reports, so what the handler left undone
// leaves no half-made change behind, and the next change is reported.
void TestComboBox::throwingHandlerFindsSelectorSettled()
{
    const FailureRecorder failures;
    auto thrower = connect(m_box, &TComboBox::OnChange, this, [](TComboBox *) {
        guarded([] { throw std::runtime_error("handler failed"); });
    });
    arrange(Armadura, -1, 0, Armadura.size());
    QTest::keyClick(keyTarget(), 's');
    QCOMPARE(m_box->Text(), QStringLiteral("si Menor - 2 Sustenidos"));
    QCOMPARE(m_edit->selectedText(), QStringLiteral("i Menor - 2 Sustenidos"));

    QTest::mouseClick(openList(), Qt::LeftButton, {}, rowCentre(9));
    QVERIFY(!m_box->DroppedDown());
    QCOMPARE(m_box->Text(), keyTexts().at(9));
    QCOMPARE(failures.messages(), (std::vector<std::string>{"handler failed", "handler failed"}));

    disconnect(thrower);
    QTest::keyClick(keyTarget(), Qt::Key_Up);
    QCOMPARE(m_reported, (QList<int>{2, 9, 8}));
}

QTEST_MAIN(TestComboBox)
#include "tst_combobox.moc"
