// The real program on a private desktop, handled with the keyboard and the
// pointer as a student would, and read back from the screen: typing in the
// key selector completes keys and the grids follow each change of key and
// nothing else; and in a grid, clicks, a double-click, a drag and the arrow
// keys toggle the degree headings exactly as often as they count as clicks,
// with the selection drawn as the grid really holds it. The tooltips have
// tests of their own (tst_tooltip).
//
// Every test function starts the program afresh: no key chosen, the chord
// rows empty, the headings showing the degree names and the focus in the
// natural grid.

#include "tests/e2e/desktopsession.h"
#include "tests/e2e/programscreen.h"

#include <QElapsedTimer>
#include <QImage>
#include <QTest>
#include <QThread>

#include <array>
#include <functional>
#include <optional>

namespace {

// A spot of bare window between the natural and the harmonic grid:
// the pointer rests there between actions, where it offers no tooltip.
constexpr QPoint Background(600, 180);
constexpr QRect SelectorBox(128, 16, 177, 21);

// Time for the program to take in an action that should change nothing
// visible, before the screen is taken as its answer. Anything it does later
// still shows in the checks of the next action.
constexpr int SettleMs = 300;
// Actions that change the screen are waited for this long at most.
constexpr int ChangeTimeoutMs = 4000;
// Qt joins two presses into a double-click within 400 ms; separate clicks
// are kept further apart than that.
constexpr int ClickSpacingMs = 600;

QPoint onScreen(QPoint inWindow)
{
    return WindowOrigin + inWindow;
}

QRect onScreen(const QRect &inWindow)
{
    return inWindow.translated(WindowOrigin);
}

QStringList pointerAt(QPoint inWindow)
{
    const QPoint at = onScreen(inWindow);
    return {QStringLiteral("mousemove"), QStringLiteral("--sync"), QString::number(at.x()), QString::number(at.y())};
}

// The chord rows of the three grids. While the focus stays where it is,
// they show the chosen key and nothing else: the same key gives the same
// pixels, and no two keys share a row.
using ChordRows = std::array<QImage, GridCount>;

ChordRows chordRows(const QImage &screen)
{
    ChordRows rows;
    for (int grid = 0; grid < GridCount; ++grid)
        rows[grid] = screen.copy(onScreen(chordRowRect(grid)));
    return rows;
}

// The desktop's window and highlight colours, as the grids show them.
struct CellColours
{
    QRgb window = 0;
    QRgb highlight = 0;
};

// The focus rectangle's dots alternate along every edge of the cell.
bool hasFocusRect(const QImage &screen, const QRect &cell)
{
    const QRect area = onScreen(cell);
    for (int x = area.left(); x < area.right(); ++x)
        if (screen.pixel(x, area.top()) == screen.pixel(x + 1, area.top()))
            return false;
    for (int y = area.top(); y < area.bottom(); ++y)
        if (screen.pixel(area.left(), y) == screen.pixel(area.left(), y + 1))
            return false;
    return true;
}

// How each chord cell of a grid looks, one character a cell, so that a
// whole row reads at a glance: '.' plain (window colour), 'c' current
// (window colour with the dotted focus rectangle), '#' selected (highlight
// colour), '?' none of these. The chord rows are empty until a key is
// chosen, so a cell's middle shows its background.
QString chordRowLooks(const QImage &screen, int grid, const CellColours &colours)
{
    QString looks;
    for (int col = 0; col < ColumnCount; ++col) {
        const QRect cell = cellRect(grid, col, ChordRow);
        const QRgb middle = screen.pixel(onScreen(cell.center()));
        const bool focusRect = hasFocusRect(screen, cell);
        if (middle == colours.window)
            looks += focusRect ? u'c' : u'.';
        else if (middle == colours.highlight && !focusRect)
            looks += u'#';
        else
            looks += u'?';
    }
    return looks;
}

} // namespace

class TestInteraction : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void typingCompletesKeysAndTheGridsFollow();
    void clicksToggleTheHeadingsOncePerClick();
    void arrowKeysToggleTheHeadingsPerStep();
    void dragSelectsARunAndTabSwapsTheRoles();

private:
    QImage screenshot() const { return m_desktop.screenshot(); }
    QImage screenWhen(const std::function<bool(const QImage &)> &wanted, int timeoutMs = ChangeTimeoutMs) const
    {
        return ::screenWhen(m_desktop, wanted, timeoutMs);
    }
    QImage settledScreen() const;
    bool xdotool(const QStringList &arguments) const { return m_desktop.xdotool(arguments); }
    bool click(int grid, int col, int row, const QStringList &how);
    void saveImage(const QImage &image, const QString &name) const;
    void saveWindow(const QImage &screen, const QString &name) const;

    // Which heading set each grid shows, read from its heading row: the
    // names as seen at start, or the numerals as first seen after a toggle.
    enum class Headings { Names, Numerals, Unknown };
    Headings headingsOf(const QImage &screen, int grid);
    // Empty when every grid shows the headings that its number of toggles
    // since start calls for; otherwise what is wrong.
    QString headingsMismatch(const QImage &screen, const std::array<int, GridCount> &toggles);
    QImage screenWithHeadings(const std::array<int, GridCount> &toggles);
    int selectorHighlightStart(const QImage &screen) const;

    DesktopSession m_desktop;
    QProcess m_program;
    QString m_window;
    CellColours m_colours;
    std::array<QImage, GridCount> m_namesRow;
    std::array<std::optional<QImage>, GridCount> m_numeralsRow;
    QElapsedTimer m_sinceClick;
};

QImage TestInteraction::settledScreen() const
{
    QThread::msleep(SettleMs);
    return screenshot();
}

// Moves to the cell, clicks there as \a how says, and leaves the pointer on
// the window's background, where no tooltip can come up over the grids.
bool TestInteraction::click(int grid, int col, int row, const QStringList &how)
{
    if (m_sinceClick.isValid() && m_sinceClick.elapsed() < ClickSpacingMs)
        QThread::msleep(ClickSpacingMs - m_sinceClick.elapsed());
    const bool done = xdotool(pointerAt(cellRect(grid, col, row).center()) + how + pointerAt(Background));
    m_sinceClick.start();
    return done;
}

// The telling moments are kept in the build folder, to be looked at when a
// check fails or the look is in doubt.
void TestInteraction::saveImage(const QImage &image, const QString &name) const
{
    ::saveImage(image, QStringLiteral(SCREENSHOT_DIR), name);
}

void TestInteraction::saveWindow(const QImage &screen, const QString &name) const
{
    saveImage(screen.copy(QRect(WindowOrigin, WindowSize)), name);
}

TestInteraction::Headings TestInteraction::headingsOf(const QImage &screen, int grid)
{
    const QImage row = screen.copy(onScreen(headingRowRect(grid)));
    if (row == m_namesRow[grid])
        return Headings::Names;
    if (!m_numeralsRow[grid]) {
        // The first other look must be the numerals: "i" over the tonic
        // leaves far less ink than "Tônica" did.
        const QRect tonic = cellRect(grid, 0, HeadingRow).adjusted(2, 2, -2, -2);
        const int namesInk = inkIn(m_namesRow[grid], tonic.translated(-headingRowRect(grid).topLeft()));
        if (inkIn(screen, onScreen(tonic)) * 3 >= namesInk)
            return Headings::Unknown;
        m_numeralsRow[grid] = row;
    }
    return row == *m_numeralsRow[grid] ? Headings::Numerals : Headings::Unknown;
}

QString TestInteraction::headingsMismatch(const QImage &screen, const std::array<int, GridCount> &toggles)
{
    QString mismatch;
    for (int grid = 0; grid < GridCount; ++grid) {
        const Headings expected = toggles[grid] % 2 == 0 ? Headings::Names : Headings::Numerals;
        const Headings shown = headingsOf(screen, grid);
        if (shown != expected) {
            mismatch += QStringLiteral("StringGrid%1 shows %2 after %3 toggles; ")
                            .arg(grid + 1)
                            .arg(shown == Headings::Names ? QStringLiteral("the names")
                                 : shown == Headings::Numerals ? QStringLiteral("the numerals")
                                                               : QStringLiteral("neither heading set"))
                            .arg(toggles[grid]);
        }
    }
    return mismatch;
}

// Lets the action settle first, so that a second toggle that should not
// have happened has happened before the headings are judged.
QImage TestInteraction::screenWithHeadings(const std::array<int, GridCount> &toggles)
{
    QThread::msleep(SettleMs);
    return screenWhen([&](const QImage &screen) { return headingsMismatch(screen, toggles).isEmpty(); });
}

// Where the highlighted part of the selector's text begins: the first
// column of its edit field with highlight colour in it. A whole column is
// searched because a narrow letter such as "l" at the start of the
// highlight leaves no pure highlight colour along the text's middle; above
// and below the letters there is some. -1 when nothing is highlighted.
int TestInteraction::selectorHighlightStart(const QImage &screen) const
{
    const QRect edit = onScreen(SelectorBox.adjusted(2, 2, -2 - 17, -2));
    for (int x = edit.left(); x <= edit.right(); ++x)
        for (int y = edit.top(); y <= edit.bottom(); ++y)
            if (screen.pixel(x, y) == m_colours.highlight)
                return x - edit.left();
    return -1;
}

void TestInteraction::initTestCase()
{
    QVERIFY2(m_desktop.failure().isEmpty(), qPrintable(m_desktop.failure()));
}

void TestInteraction::init()
{
    const auto window = m_desktop.launch(m_program);
    QVERIFY2(window, "the window never appeared");
    m_window = *window;
    // The pointer starts in the middle of the screen, which is over the
    // harmonic grid; it waits on the background instead.
    QVERIFY(xdotool(pointerAt(Background)));
    QVERIFY(xdotool({QStringLiteral("windowfocus"), QStringLiteral("--sync"), m_window}));

    // At start the natural grid has the focus: its current cell keeps the
    // window colour and shows the focus rectangle, while the other grids
    // show theirs selected. Those two cells give the desktop's colours.
    const QImage start = screenWhen([](const QImage &screen) {
        return hasFocusRect(screen, cellRect(Natural, 0, ChordRow))
            && inkIn(screen, onScreen(cellRect(Melodic, 0, HeadingRow))) > 0;
    });
    m_colours = {start.pixel(onScreen(cellRect(Natural, 1, ChordRow).center())),
                 start.pixel(onScreen(cellRect(Harmonic, 0, ChordRow).center()))};
    QVERIFY(m_colours.highlight != m_colours.window);
    QCOMPARE(chordRowLooks(start, Natural, m_colours), QStringLiteral("c............"));
    QCOMPARE(chordRowLooks(start, Harmonic, m_colours), QStringLiteral("#............"));
    QCOMPARE(chordRowLooks(start, Melodic, m_colours), QStringLiteral("#............"));
    for (int grid = 0; grid < GridCount; ++grid) {
        m_namesRow[grid] = start.copy(onScreen(headingRowRect(grid)));
        m_numeralsRow[grid].reset();
    }
    m_sinceClick.invalidate();
}

void TestInteraction::cleanup()
{
    if (!m_window.isEmpty())
        m_desktop.run(QStringLiteral(XWINDOW_PATH), {QStringLiteral("close"), m_window});
    if (!m_program.waitForFinished(5000)) {
        m_program.kill();
        m_program.waitForFinished(3000);
    }
    m_window.clear();
}

// The selector, reached by three Tabs, arrives with "Armadura" selected.
// Typing "s", "o", "l", a space and "m" then completes "Si Menor", then
// "Sol # Menor", keeps it for "l" and the space, and completes "Sol Menor":
// three changes of key, which the chord rows follow, and no change besides,
// which the playing scale would reveal, as every change reopens the players
// and so stops it. The keys are then walked again with the arrow keys, from
// the top of the list, and the typed states must be the same keys.
void TestInteraction::typingCompletesKeysAndTheGridsFollow()
{
    QVERIFY(xdotool({QStringLiteral("key"), QStringLiteral("--delay"), QStringLiteral("50"),
                     QStringLiteral("Tab"), QStringLiteral("Tab"), QStringLiteral("Tab")}));
    QImage screen = screenWhen([&](const QImage &s) { return selectorHighlightStart(s) >= 0; });
    QVERIFY2(selectorHighlightStart(screen) >= 0 && selectorHighlightStart(screen) <= 3,
             "the selector's text did not arrive selected");
    // The natural grid has lost the focus, which changes the look of its
    // current cell; the rows are compared from here on, with the focus
    // staying in the selector.
    screen = settledScreen();
    const ChordRows emptyRows = chordRows(screen);
    QVERIFY2(!isPlayAvailable(screen, Natural), "moving the focus opened the players");
    QVERIFY2(headingsMismatch(screen, {0, 0, 0}).isEmpty(), "moving the focus through the grids toggled headings");

    // Each typed character leaves its letters plain and the completed rest
    // highlighted, so the highlight starts further right with every one.
    int highlightStart = selectorHighlightStart(screen);
    const auto type = [&](const char *key) {
        return xdotool({QStringLiteral("key"), QString::fromLatin1(key)});
    };
    const auto highlightMovedOn = [&](const QImage &s) { return selectorHighlightStart(s) > highlightStart; };

    QVERIFY(type("s"));
    screen = screenWhen([&](const QImage &s) { return highlightMovedOn(s) && chordRows(s) != emptyRows; });
    QVERIFY2(highlightMovedOn(screen), "\"s\" completed nothing");
    const ChordRows typedSi = chordRows(screen);
    QVERIFY2(typedSi != emptyRows, "\"s\" chose no key");
    highlightStart = selectorHighlightStart(screen);
    screen = screenWhen([](const QImage &s) { return isPlayAvailable(s, Natural); });
    QVERIFY2(isPlayAvailable(screen, Natural), "the key's scale never became playable");

    QVERIFY(type("o"));
    screen = screenWhen([&](const QImage &s) { return highlightMovedOn(s) && chordRows(s) != typedSi; });
    QVERIFY2(highlightMovedOn(screen), "\"o\" completed nothing");
    const ChordRows typedSolSharp = chordRows(screen);
    QVERIFY2(typedSolSharp != typedSi, "\"o\" did not change the key");
    QVERIFY2(typedSolSharp != emptyRows, "\"o\" left no key chosen");
    highlightStart = selectorHighlightStart(screen);
    saveWindow(screen, QStringLiteral("typed-so"));
    // The players are reopened for the new key; Play is pressed only once
    // they are, so that its greying can only mean the scale is playing.
    screen = screenWhen([](const QImage &s) { return isPlayAvailable(s, Natural); });
    QVERIFY2(isPlayAvailable(screen, Natural), "the new key's scale never became playable");

    // Play on the natural scale; the button stays grey while it plays. A
    // click on the player leaves the focus, and the selector's text, alone.
    QVERIFY(xdotool(pointerAt(playerRect(Natural).center()) + QStringList{QStringLiteral("click"), QStringLiteral("1")}
                    + pointerAt(Background)));
    screen = screenWhen([](const QImage &s) { return !isPlayAvailable(s, Natural); });
    QVERIFY2(!isPlayAvailable(screen, Natural), "Play did not start");

    for (const char *key : {"l", "space"}) {
        QVERIFY(type(key));
        screen = screenWhen(highlightMovedOn);
        QVERIFY2(highlightMovedOn(screen), qPrintable(QStringLiteral("\"%1\" did not reach the selector")
                                                          .arg(QString::fromLatin1(key))));
        highlightStart = selectorHighlightStart(screen);
        screen = settledScreen();
        QVERIFY2(chordRows(screen) == typedSolSharp,
                 qPrintable(QStringLiteral("\"%1\" changed the key").arg(QString::fromLatin1(key))));
        QVERIFY2(!isPlayAvailable(screen, Natural),
                 qPrintable(QStringLiteral("\"%1\" reopened the players").arg(QString::fromLatin1(key))));
    }

    // The scale was still playing when "m" was typed: Play was grey just
    // above. The change of key writes the rows and reopens the players in
    // one go, so Play must be green again in the first look at the new rows,
    // not later, when the scale would have ended by itself. A frame can reach
    // the screen in parts; one more look completes it.
    QVERIFY(type("m"));
    screen = screenWhen([&](const QImage &s) { return highlightMovedOn(s) && chordRows(s) != typedSolSharp; });
    QVERIFY2(highlightMovedOn(screen), "\"m\" completed nothing");
    if (!isPlayAvailable(screen, Natural))
        screen = screenshot();
    QVERIFY2(isPlayAvailable(screen, Natural), "the change of key did not reopen the players");
    screen = settledScreen();
    const ChordRows typedSol = chordRows(screen);
    QVERIFY2(typedSol != typedSolSharp, "\"m\" did not change the key");
    QVERIFY2(typedSol != typedSi && typedSol != emptyRows, "\"m\" chose a key already seen");
    saveWindow(screen, QStringLiteral("typed-sol-m"));

    // Backspace takes the completed rest away; no item is selected then, and
    // the grids keep the key they show.
    QVERIFY(type("BackSpace"));
    screen = screenWhen([&](const QImage &s) { return selectorHighlightStart(s) < 0; });
    QVERIFY2(selectorHighlightStart(screen) < 0, "Backspace left the completion");
    QVERIFY2(chordRows(settledScreen()) == typedSol, "Backspace changed the key");

    // With no item selected, Down enters the list at its first item; every
    // further Down is the next key. Collect the first ten keys that way.
    std::vector<ChordRows> listed;
    ChordRows previous = typedSol;
    for (int position = 0; position < 10; ++position) {
        QVERIFY(type("Down"));
        screen = screenWhen([&](const QImage &s) { return chordRows(s) != previous; });
        QVERIFY2(chordRows(screen) != previous,
                 qPrintable(QStringLiteral("Down to list position %1 did not change the key").arg(position)));
        previous = chordRows(screen);
        listed.push_back(previous);
    }
    for (std::size_t a = 0; a < listed.size(); ++a)
        for (std::size_t b = a + 1; b < listed.size(); ++b)
            QVERIFY2(listed[a] != listed[b], "two keys of the list look alike; the rows cannot tell keys apart");
    QVERIFY2(typedSi == listed[2], "\"s\" did not choose \"Si Menor - 2 Sustenidos\"");
    QVERIFY2(typedSolSharp == listed[5], "\"so\" did not choose \"Sol # Menor - 5 Sustenidos\"");
    QVERIFY2(typedSol == listed[9], "\"sol m\" did not choose \"Sol Menor - 2 Bemóis\"");
}

// Only a left click on a chord cell counts: once per click, once for a
// double-click, never on a heading cell, never with the right button. The
// clicks follow each other in one run of the program, each judged by the
// headings of all three grids and by where the current cells are.
void TestInteraction::clicksToggleTheHeadingsOncePerClick()
{
    const QStringList left{QStringLiteral("click"), QStringLiteral("1")};
    const QStringList right{QStringLiteral("click"), QStringLiteral("3")};
    const QStringList doubleClick{QStringLiteral("click"), QStringLiteral("--repeat"), QStringLiteral("2"),
                                  QStringLiteral("--delay"), QStringLiteral("60"), QStringLiteral("1")};
    struct Click
    {
        const char *what;
        int grid;
        int col;
        int row;
        QStringList how;
        bool counts;
        const char *naturalLooks; // the chord rows afterwards
        const char *melodicLooks;
    };
    const Click clicks[] = {
        {"a click on a chord cell", Natural, 5, ChordRow, left, true, ".....c.......", "#............"},
        {"a click on a heading cell", Natural, 2, HeadingRow, left, false, ".....c.......", "#............"},
        {"a double-click on a chord cell", Natural, 9, ChordRow, doubleClick, true, ".........c...", "#............"},
        {"a right click on a chord cell", Natural, 11, ChordRow, right, false, ".........c...", "#............"},
        // Another grid takes the focus and counts the click for itself; the
        // natural grid then shows its current cell selected.
        {"a click in another grid", Melodic, 4, ChordRow, left, true, ".........#...", "....c........"},
    };
    std::array<int, GridCount> toggles{};
    for (const Click &c : clicks) {
        const QString what = QString::fromLatin1(c.what);
        QVERIFY(click(c.grid, c.col, c.row, c.how));
        toggles[c.grid] += c.counts;
        const QImage screen = screenWithHeadings(toggles);
        const QString mismatch = headingsMismatch(screen, toggles);
        QVERIFY2(mismatch.isEmpty(), qPrintable(what + QStringLiteral(": ") + mismatch));
        QCOMPARE(chordRowLooks(screen, Natural, m_colours), QString::fromLatin1(c.naturalLooks));
        QCOMPARE(chordRowLooks(screen, Melodic, m_colours), QString::fromLatin1(c.melodicLooks));
        saveWindow(screen, QStringLiteral("after ") + what);
    }
}

// Each key step that moves the current cell counts as a click; a key that
// cannot move it counts for nothing.
void TestInteraction::arrowKeysToggleTheHeadingsPerStep()
{
    struct Step
    {
        const char *key;
        bool moves;
        const char *looks; // the natural grid's chord row afterwards
    };
    const Step steps[] = {
        {"Left", false, "c............"}, // already in column 0
        {"Right", true, ".c..........."},
        {"Right", true, "..c.........."},
        {"Right", true, "...c........."},
        {"End", true, "............c"},
        {"Right", false, "............c"}, // already in column 12
    };
    std::array<int, GridCount> toggles{};
    for (const Step &step : steps) {
        QVERIFY(xdotool({QStringLiteral("key"), QString::fromLatin1(step.key)}));
        toggles[Natural] += step.moves;
        const QImage screen = screenWithHeadings(toggles);
        const QString mismatch = headingsMismatch(screen, toggles);
        QVERIFY2(mismatch.isEmpty(), qPrintable(QString::fromLatin1(step.key) + QStringLiteral(": ") + mismatch));
        QCOMPARE(chordRowLooks(screen, Natural, m_colours), QString::fromLatin1(step.looks));
    }
}

// A drag along the chord row from column 3 to column 7 counts as one click.
// The press cell stays current and the release cell becomes the selection's
// far end: columns 4 to 7 selected, column 3 current with the focus
// rectangle. Tab then moves the focus to the harmonic grid without a click:
// the whole run 3 to 7 turns selected, and the harmonic grid's current cell
// takes the focus rectangle.
void TestInteraction::dragSelectsARunAndTabSwapsTheRoles()
{
    const auto at = [](int col) { return pointerAt(cellRect(Natural, col, ChordRow).center()); };
    const QStringList pause{QStringLiteral("sleep"), QStringLiteral("0.1")};
    QVERIFY(xdotool(at(3) + QStringList{QStringLiteral("mousedown"), QStringLiteral("1")} + pause + at(5) + pause
                    + at(7) + pause + QStringList{QStringLiteral("mouseup"), QStringLiteral("1")}
                    + pointerAt(Background)));
    std::array<int, GridCount> toggles{1, 0, 0};
    QImage screen = screenWithHeadings(toggles);
    QVERIFY2(headingsMismatch(screen, toggles).isEmpty(), qPrintable(headingsMismatch(screen, toggles)));
    QCOMPARE(chordRowLooks(screen, Natural, m_colours), QStringLiteral("...c####....."));
    saveWindow(screen, QStringLiteral("dragged-3-to-7"));

    QVERIFY(xdotool({QStringLiteral("key"), QStringLiteral("Tab")}));
    screen = screenWhen([&](const QImage &s) { return hasFocusRect(s, cellRect(Harmonic, 0, ChordRow)); });
    QCOMPARE(chordRowLooks(screen, Natural, m_colours), QStringLiteral("...#####....."));
    QCOMPARE(chordRowLooks(screen, Harmonic, m_colours), QStringLiteral("c............"));
    QCOMPARE(chordRowLooks(screen, Melodic, m_colours), QStringLiteral("#............"));
    screen = screenWithHeadings(toggles);
    QVERIFY2(headingsMismatch(screen, toggles).isEmpty(), qPrintable(headingsMismatch(screen, toggles)));
    saveWindow(screen, QStringLiteral("tabbed-to-harmonic"));
}

QTEST_GUILESS_MAIN(TestInteraction)
#include "tst_interaction.moc"
