#include "ui/tstringgrid.h"
#include "windowing/cancelmode.h"
#include "windowing/drawing.h"
#include "windowing/systemcolors.h"

#include <QLineEdit>
#include <QScrollBar>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>
#include <QTestEventList>

#include <memory>

using quiralto::ui::TStringGrid;
using namespace quiralto::windowing;
using namespace QTest;

namespace {

// Points well inside a cell of the designed grid, clear of any text.
QPoint chord(int col) { return {2 + 74 * col + 60, 2 + 25 + 20}; }
QPoint heading(int col) { return {2 + 74 * col + 60, 2 + 20}; }

struct Mouse
{
    MouseAction action;
    Qt::MouseButton button;
    QPoint pos;
    Qt::KeyboardModifiers modifiers = {};
};

QTestEventList mouse(std::initializer_list<Mouse> steps)
{
    QTestEventList events;
    for (const Mouse &step : steps)
        events.append(new QTestMouseEvent(step.action, step.button, step.modifiers, step.pos, -1));
    return events;
}

QTestEventList keys(const QList<Qt::Key> &presses, Qt::KeyboardModifiers modifiers = {})
{
    QTestEventList events;
    for (Qt::Key key : presses)
        events.addKeyClick(key, modifiers);
    return events;
}

// As a pixel of a rendered image holds it: 8 bits a channel.
QColor colorOf(const QWidget *widget, SystemColor color)
{
    return QColor(systemColor(color, widget->palette()).rgb());
}

// What the user sees of a grid: for a grid on screen, the window's own
// pixels, so that a cell the grid forgot to repaint shows its old look.
QImage seen(TStringGrid *grid)
{
    if (!grid->isVisible())
        return grid->grab().toImage();
    QCoreApplication::processEvents();
    const QRect area = grid->geometry();
    return grid->screen()
        ->grabWindow(grid->window()->winId(), area.x(), area.y(), area.width(), area.height())
        .toImage();
}

// A chord cell's fill, plus "+focus" when a focus rectangle dots its edge.
QString chordLook(TStringGrid *grid, int col)
{
    const QImage image = seen(grid);
    const QRect cell = grid->cellRect(col, 1);
    const QColor fill = image.pixelColor(cell.bottomRight() - QPoint(2, 2));
    int dots = 0;
    for (int x = cell.left(); x <= cell.right(); ++x)
        dots += image.pixelColor(x, cell.top()) != fill;
    const QString name = fill == colorOf(grid, SystemColor::Highlight) ? QStringLiteral("highlight")
        : fill == colorOf(grid, SystemColor::Window)                   ? QStringLiteral("window")
                                                                       : fill.name();
    return dots > cell.width() / 3 ? name + QStringLiteral("+focus") : dots == 0 ? name : name + QStringLiteral("+?");
}

// Another window made active, small and in a corner of the screen so that
// it hides none of the grids.
bool bringToFront(QWidget &front)
{
    const QRect screen = front.screen()->geometry();
    front.setGeometry(screen.right() - 20, screen.bottom() - 20, 10, 10);
    front.show();
    front.activateWindow();
    return qWaitForWindowActive(&front);
}

// The window as the grids meet it: three grids first in tab order, and one
// other control that can hold the focus.
struct Host : QWidget
{
    Host()
    {
        setFont(windowFont());
        for (int i = 0; i < 3; ++i) {
            grids[i] = new TStringGrid(this);
            grids[i]->setGeometry(8, 104 + 128 * i, 965, 53);
            grids[i]->setColCount(13);
            grids[i]->setRowCount(2);
            grids[i]->setDefaultColWidth(73);
        }
        other = new QLineEdit(this);
        other->setGeometry(128, 16, 177, 21);
        resize(981, 479);
    }
    std::array<TStringGrid *, 3> grids{};
    QLineEdit *other;
};

} // namespace

class TestStringGrid : public QObject
{
    Q_OBJECT

    TStringGrid *grid() const { return m_host->grids[0]; }
    std::unique_ptr<Host> m_host;

private slots:
    void init()
    {
        m_host = std::make_unique<Host>();
        m_host->show();
        m_host->activateWindow();
        QVERIFY(qWaitForWindowActive(m_host.get()));
    }
    void cleanup() { m_host.reset(); }

    void mouseClicks_data()
    {
        addColumn<QTestEventList>("events");
        addColumn<int>("clicks");
        addColumn<int>("current");
        addColumn<int>("anchor");
        addColumn<bool>("focused");
        const auto L = Qt::LeftButton, R = Qt::RightButton;
        const QPoint outside(-100, 300);

        newRow("chord cell") << mouse({{MouseClick, L, chord(3)}}) << 1 << 3 << 3 << true;
        newRow("current cell") << mouse({{MouseClick, L, chord(0)}}) << 1 << 0 << 0 << true;
        newRow("Shift stretches") << mouse({{MouseClick, L, chord(5), Qt::ShiftModifier}}) << 1 << 0 << 5 << true;
        newRow("Ctrl ignored") << mouse({{MouseClick, L, chord(5), Qt::ControlModifier}}) << 1 << 5 << 5 << true;
        newRow("heading") << mouse({{MouseClick, L, heading(3)}}) << 0 << 0 << 0 << true;
        newRow("right button") << mouse({{MouseClick, R, chord(3)}}) << 0 << 0 << 0 << true;
        newRow("middle button") << mouse({{MouseClick, Qt::MiddleButton, chord(3)}}) << 0 << 0 << 0 << true;
        newRow("border") << mouse({{MouseClick, L, QPoint(1, chord(3).y())}}) << 0 << 0 << 0 << false;
        newRow("double-click")
            << mouse({{MouseClick, L, chord(3)}, {MouseDClick, L, chord(3)}, {MouseRelease, L, chord(3)}})
            << 1 << 3 << 3 << true;
        newRow("three quick clicks")
            << mouse({{MouseClick, L, chord(3)}, {MouseDClick, L, chord(3)}, {MouseRelease, L, chord(3)},
                      {MouseClick, L, chord(3)}})
            << 2 << 3 << 3 << true;
        newRow("released outside the window")
            << mouse({{MousePress, L, chord(3)}, {MouseMove, L, outside}, {MouseRelease, L, outside}})
            << 1 << 3 << 3 << true;
        newRow("right release ends a drag")
            << mouse({{MousePress, L, chord(3)}, {MouseClick, R, chord(6)}, {MouseRelease, L, chord(6)}})
            << 1 << 3 << 6 << true;
    }

    // GIVEN the focus elsewhere WHEN the user clicks THEN the grid reports
    // one click per left press on a chord cell, except the second press of
    // a double-click, and nothing else.
    void mouseClicks()
    {
        QFETCH(QTestEventList, events);
        QFETCH(int, clicks);
        m_host->other->setFocus();
        QSignalSpy spy(grid(), &TStringGrid::OnClick);

        events.simulate(grid());

        QCOMPARE(spy.count(), clicks);
        if (clicks)
            QCOMPARE(spy.first().first().value<TStringGrid *>(), grid());
        QTEST(grid()->currentColumn(), "current");
        QTEST(grid()->anchorColumn(), "anchor");
        QTEST(m_host->focusWidget() == grid(), "focused");
        QVERIFY(!grid()->isSelecting());
    }

    void keyPresses_data()
    {
        addColumn<int>("start");
        addColumn<QTestEventList>("events");
        addColumn<int>("clicks");
        addColumn<int>("current");
        addColumn<int>("anchor");
        newRow("Left in column 0") << 0 << keys({Qt::Key_Left}) << 0 << 0 << 0;
        newRow("Right 14 times") << 0 << keys(QList<Qt::Key>(14, Qt::Key_Right)) << 12 << 12 << 12;
        newRow("Home, twice") << 5 << keys({Qt::Key_Home, Qt::Key_Home}) << 1 << 0 << 0;
        newRow("Ctrl+Home") << 5 << keys({Qt::Key_Home}, Qt::ControlModifier) << 1 << 0 << 0;
        newRow("End") << 5 << keys({Qt::Key_End}) << 1 << 12 << 12;
        newRow("Ctrl+Left") << 7 << keys({Qt::Key_Left}, Qt::ControlModifier) << 1 << 0 << 0;
        newRow("Ctrl+Right") << 3 << keys({Qt::Key_Right}, Qt::ControlModifier) << 1 << 12 << 12;
        newRow("Shift+Left keeps the anchor") << 4 << keys({Qt::Key_Left, Qt::Key_Left}, Qt::ShiftModifier) << 2 << 2 << 4;
        newRow("keys that cannot move")
            << 4
            << keys({Qt::Key_Up, Qt::Key_Down, Qt::Key_PageUp, Qt::Key_PageDown, Qt::Key_Return, Qt::Key_F2,
                     Qt::Key_Escape, Qt::Key_Space, Qt::Key_A})
            << 0 << 4 << 4;
    }

    void keyPresses()
    {
        QFETCH(int, start);
        QFETCH(QTestEventList, events);
        mouseClick(grid(), Qt::LeftButton, {}, chord(start));
        QSignalSpy spy(grid(), &TStringGrid::OnClick);

        events.simulate(grid());

        QTEST(int(spy.count()), "clicks");
        QTEST(grid()->currentColumn(), "current");
        QTEST(grid()->anchorColumn(), "anchor");
        QCOMPARE(m_host->focusWidget(), grid());
    }

    void wheelChangesNothing()
    {
        QSignalSpy spy(grid(), &TStringGrid::OnClick);
        QWheelEvent wheel(chord(4), grid()->mapToGlobal(QPointF(chord(4))), {}, {0, -120}, Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        wheel.ignore();
        QApplication::sendEvent(grid(), &wheel);
        QVERIFY(wheel.isAccepted()); // the window behind gets no wheel either
        QCOMPARE(spy.count(), 0);
    }

    void dragSelectsAlongTheChordRow()
    {
        QSignalSpy spy(grid(), &TStringGrid::OnClick);
        mousePress(grid(), Qt::LeftButton, {}, chord(3));
        for (int col = 4; col <= 7; ++col)
            mouseMove(grid(), chord(col));
        mouseMove(grid(), heading(5));
        mouseRelease(grid(), Qt::LeftButton, {}, heading(5));

        QCOMPARE(spy.count(), 1);
        QCOMPARE(grid()->currentColumn(), 3);
        QCOMPARE(grid()->anchorColumn(), 7);
        const QStringList looks{chordLook(grid(), 3), chordLook(grid(), 7), chordLook(grid(), 8)};
        QCOMPARE(looks, QStringList({"window+focus", "highlight", "window"}));
    }

    void timerStretchesBeyondTheGrid_data()
    {
        addColumn<int>("start");
        addColumn<int>("pointerX");
        addColumn<int>("end");
        newRow("left of the grid") << 3 << -30 << 0;
        newRow("right of the grid") << 9 << 995 << 12;
    }

    void timerStretchesBeyondTheGrid()
    {
        QFETCH(int, start);
        QFETCH(int, pointerX);
        QFETCH(int, end);
        QSignalSpy spy(grid(), &TStringGrid::OnClick);
        const QPoint beyond(pointerX, chord(0).y());

        mousePress(grid(), Qt::LeftButton, {}, chord(start));
        mouseMove(grid(), beyond);
        QCOMPARE(grid()->anchorColumn(), start); // beyond the cells is no cell
        QTRY_COMPARE(grid()->anchorColumn(), end);
        mouseRelease(grid(), Qt::LeftButton, {}, beyond);

        QCOMPARE(spy.count(), 1);
        QCOMPARE(grid()->currentColumn(), start);
        QCOMPARE(grid()->anchorColumn(), end);
    }

    void cancelledSelectionRaisesNothing()
    {
        QSignalSpy spy(grid(), &TStringGrid::OnClick);
        mousePress(grid(), Qt::LeftButton, {}, chord(4));
        CancelModeEvent cancel;
        QApplication::sendEvent(grid(), &cancel);
        QVERIFY(!grid()->isSelecting());
        mouseRelease(grid(), Qt::LeftButton, {}, chord(6));

        QCOMPARE(spy.count(), 0);
        QCOMPARE(grid()->anchorColumn(), 4);
    }

    void activeRoleShowsInTheCurrentCell()
    {
        const auto [grid1, grid2, grid3] = m_host->grids;

        // GIVEN a window never activated THEN no grid is active
        Host unshown;
        QCOMPARE(chordLook(unshown.grids[0], 0), QStringLiteral("highlight"));

        // GIVEN the window activated THEN the first grid took the focus
        QCOMPARE(chordLook(grid1, 0), QStringLiteral("window+focus"));
        QCOMPARE(chordLook(grid2, 0), QStringLiteral("highlight"));

        // WHEN Tab THEN the roles swap, and no grid reports a click
        QSignalSpy spy1(grid1, &TStringGrid::OnClick);
        QSignalSpy spy2(grid2, &TStringGrid::OnClick);
        keyClick(grid1, Qt::Key_Tab);
        QCOMPARE(m_host->focusWidget(), grid2);
        QCOMPARE(chordLook(grid1, 0), QStringLiteral("highlight"));
        QCOMPARE(chordLook(grid2, 0), QStringLiteral("window+focus"));
        QCOMPARE(spy1.count() + spy2.count(), 0);

        // WHEN another window comes to the front THEN the grid keeps its role
        QWidget front;
        QVERIFY(bringToFront(front));
        QCOMPARE(chordLook(grid2, 0), QStringLiteral("window+focus"));
        QCOMPARE(chordLook(grid3, 0), QStringLiteral("highlight"));
    }

    void clickInBackgroundWindowCounts()
    {
        const auto [grid1, grid2, grid3] = m_host->grids;
        QWidget front;
        QVERIFY(bringToFront(front));
        QCOMPARE(chordLook(grid1, 0), QStringLiteral("window+focus"));
        QSignalSpy spy(grid2, &TStringGrid::OnClick);

        mouseClick(grid2, Qt::LeftButton, {}, chord(4));

        QCOMPARE(spy.count(), 1);
        QCOMPARE(m_host->focusWidget(), grid2);
        QCOMPARE(chordLook(grid1, 0), QStringLiteral("highlight"));
        QCOMPARE(chordLook(grid2, 4), QStringLiteral("window+focus"));
    }

    void shiftRightHighlightsTheRun()
    {
        mouseClick(grid(), Qt::LeftButton, {}, chord(2));
        QSignalSpy spy(grid(), &TStringGrid::OnClick);
        for (int i = 0; i < 3; ++i)
            keyClick(grid(), Qt::Key_Right, Qt::ShiftModifier);

        QCOMPARE(spy.count(), 3);
        QStringList looks;
        for (int col = 1; col <= 6; ++col)
            looks << chordLook(grid(), col);
        QCOMPARE(looks, QStringList({"window", "highlight", "highlight", "highlight", "window+focus", "window"}));
    }

    void cellAt_data()
    {
        addColumn<QPoint>("pos");
        addColumn<int>("col"); // -1: no cell
        addColumn<int>("row");
        newRow("first pixel") << QPoint(2, 2) << 0 << 0;
        newRow("line after column 0") << QPoint(75, 2) << 0 << 0;
        newRow("column 1") << QPoint(76, 2) << 1 << 0;
        newRow("line under the headings") << QPoint(30, 26) << 0 << 0;
        newRow("chord row") << QPoint(30, 27) << 0 << 1;
        newRow("line after column 12") << QPoint(963, 30) << 12 << 1;
        newRow("line under the chord row") << QPoint(30, 51) << 0 << 1;
        newRow("beyond column 12") << QPoint(964, 30) << -1 << -1;
        newRow("beyond the chord row") << QPoint(30, 52) << -1 << -1;
        newRow("left border") << QPoint(1, 30) << -1 << -1;
        newRow("top border") << QPoint(30, 1) << -1 << -1;
        newRow("left of the grid") << QPoint(-40, 30) << -1 << -1;
    }

    void cellAt()
    {
        QFETCH(QPoint, pos);
        QFETCH(int, col);
        QFETCH(int, row);
        const auto cell = grid()->cellAt(pos);
        QCOMPARE(cell.has_value(), col >= 0);
        if (cell)
            QCOMPARE(*cell, (TStringGrid::Cell{col, row}));
    }

    void headingsLinesAndFill_data()
    {
        addColumn<QColor>("window");
        addColumn<QColor>("chordLine");
        newRow("white window") << QColor(255, 255, 255) << QColor(192, 192, 192);
        newRow("silver window") << QColor(192, 192, 192) << QColor(128, 128, 128);
    }

    // Scaled up with the window, the grid grows and its cells do not.
    void headingsLinesAndFill()
    {
        QFETCH(QColor, window);
        QPalette palette = grid()->palette();
        palette.setColor(QPalette::Base, window);
        grid()->setPalette(palette);
        grid()->resize(1100, 80);
        const QImage image = grid()->grab().toImage();
        const QRect head = grid()->cellRect(0, 0);
        const QColor black(0, 0, 0);

        QCOMPARE(image.pixelColor(head.center()), colorOf(grid(), SystemColor::BtnFace));
        QCOMPARE(image.pixelColor(head.center().x(), head.top()), colorOf(grid(), SystemColor::BtnHighlight));
        QCOMPARE(image.pixelColor(head.center().x(), head.bottom()), colorOf(grid(), SystemColor::BtnShadow));
        QCOMPARE(image.pixelColor(head.right() + 1, head.center().y()), black);
        QCOMPARE(image.pixelColor(head.center().x(), head.bottom() + 1), black);
        QCOMPARE(image.pixelColor(head.right() + 1, head.bottom() + 1), black);
        QTEST(image.pixelColor(head.right() + 1, chord(0).y()), "chordLine");
        QCOMPARE(image.pixelColor(1050, 12), window);
        QCOMPARE(image.pixelColor(30, 70), window);
    }

    // The 13 columns need 962 pixels, the trailing line of the last one
    // included, which may lie under the border: at the designed 965 they
    // fit, one pixel narrower they do not.
    void scrollBarOnlyWhereColumnsDoNotFit_data()
    {
        addColumn<int>("width");
        addColumn<bool>("scrolls");
        newRow("designed") << 965 << false;
        newRow("one pixel narrower") << 964 << true;
        newRow("scaled down") << 500 << true;
        newRow("scaled up") << 1200 << false;
    }

    void scrollBarOnlyWhereColumnsDoNotFit()
    {
        QFETCH(int, width);
        QFETCH(bool, scrolls);
        const int height = 53 + 20;
        grid()->resize(width, height);
        const QScrollBar *bar = grid()->findChild<QScrollBar *>();
        QVERIFY(bar);
        QCOMPARE(bar->isVisible(), scrolls);
        // The bar takes its room from the bottom of the cells, inside the border.
        const QRect cells = grid()->contentsRect();
        QCOMPARE(cells.top(), 2);
        QCOMPARE(cells.bottom(), scrolls ? bar->geometry().top() - 1 : height - 3);
        if (scrolls)
            QCOMPARE(bar->geometry(), QRect(2, cells.bottom() + 1, width - 4, height - 2 - cells.bottom() - 1));
    }

    // GIVEN a grid too narrow for its columns WHEN the current cell moves
    // out of view THEN the columns scroll after it, whole columns at a time.
    void keysScrollTheCurrentCellIntoView()
    {
        grid()->resize(500, 53 + 20);
        mouseClick(grid(), Qt::LeftButton, {}, chord(0));
        const auto inView = [this](int col) { return grid()->contentsRect().contains(grid()->cellRect(col, 1)); };

        keyClick(grid(), Qt::Key_End);
        QCOMPARE(grid()->currentColumn(), 12);
        QVERIFY(inView(12));
        QVERIFY(!inView(0));
        const int left = grid()->leftColumn();
        QCOMPARE(grid()->findChild<QScrollBar *>()->value(), left);

        for (int col = 11; col >= left; --col) {
            keyClick(grid(), Qt::Key_Left);
            QCOMPARE(grid()->leftColumn(), left);
        }
        keyClick(grid(), Qt::Key_Left);
        QCOMPARE(grid()->leftColumn(), left - 1);
        QVERIFY(inView(left - 1));
        keyClick(grid(), Qt::Key_Home);
        QCOMPARE(grid()->leftColumn(), 0);
    }

    // GIVEN the columns scrolled by the bar THEN what is painted and what is
    // clicked is the same scrolled column.
    void scrollBarMovesPaintingAndClicksAlike()
    {
        grid()->resize(500, 53 + 20);
        grid()->setCells(2, 0, QStringLiteral("Sobretônica"));
        auto *bar = grid()->findChild<QScrollBar *>();
        bar->setValue(2);
        QCOMPARE(grid()->leftColumn(), 2);
        QCOMPARE(grid()->cellRect(2, 0).topLeft(), grid()->contentsRect().topLeft());
        const QImage image = grid()->grab().toImage();
        int ink = 0;
        for (int x = 2; x < 60; ++x)
            for (int y = 2; y < 20; ++y)
                ink += qGray(image.pixel(x, y)) < 100;
        QVERIFY(ink > 10);

        QSignalSpy spy(grid(), &TStringGrid::OnClick);
        mouseClick(grid(), Qt::LeftButton, {}, chord(1));
        QCOMPARE(spy.count(), 1);
        QCOMPARE(grid()->currentColumn(), 3);
        // The bar can reach the last column but no further.
        bar->setValue(bar->maximum());
        QVERIFY(grid()->contentsRect().contains(grid()->cellRect(12, 1)));
        QVERIFY(!grid()->contentsRect().contains(grid()->cellRect(grid()->leftColumn() - 1, 1)));
    }

    void longTextIsCutAtTheCellEdge()
    {
        grid()->setCells(1, 1, QString(30, QLatin1Char('W')));
        const QImage image = grid()->grab().toImage();
        const QRect cell = grid()->cellRect(1, 1);
        const QColor window = colorOf(grid(), SystemColor::Window);

        int inkAtEdge = 0;
        for (int y = cell.top(); y <= cell.bottom(); ++y) {
            for (int x = cell.right() - 2; x <= cell.right(); ++x)
                inkAtEdge += image.pixelColor(x, y) != window;
            QCOMPARE(image.pixelColor(cell.right() + 1, y), QColor(192, 192, 192));
            for (int x = cell.right() + 2; x <= grid()->cellRect(2, 1).right(); ++x)
                QCOMPARE(image.pixelColor(x, y), window);
        }
        QVERIFY(inkAtEdge > 0);
    }
};

QTEST_MAIN(TestStringGrid)
#include "tst_stringgrid.moc"
