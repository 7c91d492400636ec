// The real program on a private desktop, handled with the keyboard and the
// pointer as a student would, and read back from the screen: typing in the
// key selector completes keys and the grids follow each change of key and
// nothing else; a grid's tooltip comes after a short rest of the pointer and
// goes again by itself; and in a grid, clicks, a double-click, a drag and
// the arrow keys toggle the degree headings exactly as often as they count
// as clicks, with the selection drawn as the grid really holds it.
//
// Every test function starts the program afresh: no key chosen, the chord
// rows empty, the headings showing the degree names and the focus in the
// natural grid.

#include "desktopsession.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QImage>
#include <QTest>
#include <QScopeGuard>
#include <QThread>

#include <array>
#include <chrono>
#include <functional>
#include <optional>

namespace {

const QString WindowTitle = QStringLiteral("Quiralto - Versão 1.0");
constexpr QPoint WindowOrigin(196, 107); // the window's client area on screen
constexpr QSize WindowSize(981, 479);
// A spot of bare window between the natural and the harmonic grid:
// the pointer rests there between actions, where it offers no tooltip.
constexpr QPoint Background(600, 180);
constexpr QRect SelectorBox(128, 16, 177, 21);
constexpr QRect NaturalPlayer(72, 72, 29, 30);

// The three grids, StringGrid1 to StringGrid3, from the top.
constexpr int Natural = 0;
constexpr int Harmonic = 1;
constexpr int Melodic = 2;
constexpr int GridCount = 3;
constexpr int ColumnCount = 13;
constexpr int HeadingRow = 0;
constexpr int ChordRow = 1;

// Time for the program to take in an action that should change nothing
// visible, before the screen is taken as its answer. Anything it does later
// still shows in the checks of the next action.
constexpr int SettleMs = 300;
// Actions that change the screen are waited for this long at most.
constexpr int ChangeTimeoutMs = 4000;
// Qt joins two presses into a double-click within 400 ms; separate clicks
// are kept further apart than that.
constexpr int ClickSpacingMs = 600;

// Window coordinates of a grid's cell: each grid has a 2-pixel border, and
// its cells follow each other every 74 pixels across and 25 down.
QRect cellRect(int grid, int col, int row)
{
    const QPoint gridOrigin(8, 104 + 128 * grid);
    return QRect(gridOrigin + QPoint(2 + 74 * col, 2 + 25 * row), QSize(73, 24));
}

QRect headingRowRect(int grid)
{
    return cellRect(grid, 0, HeadingRow).united(cellRect(grid, ColumnCount - 1, HeadingRow));
}

QRect chordRowRect(int grid)
{
    return cellRect(grid, 0, ChordRow).united(cellRect(grid, ColumnCount - 1, ChordRow));
}

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

// Dark pixels in \a area of \a image, in the image's own coordinates.
int inkIn(const QImage &image, const QRect &area)
{
    int ink = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            ink += qGray(image.pixel(x, y)) < 128;
    return ink;
}

bool isPlayGreen(const QImage &screen, const QRect &player)
{
    const QRect area = onScreen(player);
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (screen.pixel(x, y) == qRgb(0, 255, 0))
                return true;
    return false;
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

std::chrono::milliseconds steadyNow()
{
    // The clock xwindow stamps its events with.
    return std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now().time_since_epoch());
}

// A top-level window mapped or unmapped, as xwindow watch-maps reports it.
struct MapEvent
{
    bool mapped = false;
    QString window;
    std::chrono::milliseconds at{};
    QRect geometry;
    QString type;
};

std::optional<MapEvent> parseMapEvent(const QByteArray &line)
{
    const QList<QByteArray> fields = line.trimmed().split(' ');
    if (fields.size() == 3 && fields[0] == "unmap")
        return MapEvent{false, QString::fromLatin1(fields[1]), std::chrono::milliseconds(fields[2].toLongLong()), {}, {}};
    if (fields.size() == 8 && fields[0] == "map")
        return MapEvent{true, QString::fromLatin1(fields[1]), std::chrono::milliseconds(fields[2].toLongLong()),
                        QRect(fields[3].toInt(), fields[4].toInt(), fields[5].toInt(), fields[6].toInt()),
                        QString::fromLatin1(fields[7])};
    return std::nullopt;
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
    void tooltipComesAfterARestAndGoesByItself();
    void clicksToggleTheHeadingsOncePerClick();
    void arrowKeysToggleTheHeadingsPerStep();
    void dragSelectsARunAndTabSwapsTheRoles();

private:
    QImage screenshot() const;
    // Takes screenshots until one satisfies \a wanted, or the time is up;
    // returns the last one either way.
    QImage screenWhen(const std::function<bool(const QImage &)> &wanted, int timeoutMs = ChangeTimeoutMs) const;
    QImage settledScreen() const;
    bool xdotool(const QStringList &arguments) const;
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

QImage TestInteraction::screenshot() const
{
    const auto png = m_desktop.run(QStringLiteral("import"),
                                   {QStringLiteral("-window"), QStringLiteral("root"), QStringLiteral("png:-")});
    return png ? QImage::fromData(*png, "PNG").convertToFormat(QImage::Format_RGB32) : QImage();
}

QImage TestInteraction::screenWhen(const std::function<bool(const QImage &)> &wanted, int timeoutMs) const
{
    const QDeadlineTimer deadline(timeoutMs);
    QImage screen = screenshot();
    while (!screen.isNull() && !wanted(screen) && !deadline.hasExpired()) {
        QThread::msleep(50);
        screen = screenshot();
    }
    return screen;
}

QImage TestInteraction::settledScreen() const
{
    QThread::msleep(SettleMs);
    return screenshot();
}

bool TestInteraction::xdotool(const QStringList &arguments) const
{
    return m_desktop.run(QStringLiteral("xdotool"), arguments).has_value();
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
    const QDir folder(QStringLiteral(SCREENSHOT_DIR));
    folder.mkpath(QStringLiteral("."));
    image.save(folder.filePath(QString(name).replace(u' ', u'-') + QStringLiteral(".png")));
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
    const auto window = m_desktop.launch(m_program, QStringLiteral(QUIRALTO_PATH), QStringLiteral(SCALES_DIR),
                                         QStringLiteral(XWINDOW_PATH), WindowTitle);
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
    QVERIFY2(!isPlayGreen(screen, NaturalPlayer), "moving the focus opened the players");
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
    screen = screenWhen([](const QImage &s) { return isPlayGreen(s, NaturalPlayer); });
    QVERIFY2(isPlayGreen(screen, NaturalPlayer), "the key's scale never became playable");

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
    screen = screenWhen([](const QImage &s) { return isPlayGreen(s, NaturalPlayer); });
    QVERIFY2(isPlayGreen(screen, NaturalPlayer), "the new key's scale never became playable");

    // Play on the natural scale; the button stays grey while it plays. A
    // click on the player leaves the focus, and the selector's text, alone.
    QVERIFY(xdotool(pointerAt(NaturalPlayer.center()) + QStringList{QStringLiteral("click"), QStringLiteral("1")}
                    + pointerAt(Background)));
    QElapsedTimer sincePlay;
    sincePlay.start();
    screen = screenWhen([](const QImage &s) { return !isPlayGreen(s, NaturalPlayer); });
    QVERIFY2(!isPlayGreen(screen, NaturalPlayer), "Play did not start");

    for (const char *key : {"l", "space"}) {
        QVERIFY(type(key));
        screen = screenWhen(highlightMovedOn);
        QVERIFY2(highlightMovedOn(screen), qPrintable(QStringLiteral("\"%1\" did not reach the selector")
                                                          .arg(QString::fromLatin1(key))));
        highlightStart = selectorHighlightStart(screen);
        screen = settledScreen();
        QVERIFY2(chordRows(screen) == typedSolSharp,
                 qPrintable(QStringLiteral("\"%1\" changed the key").arg(QString::fromLatin1(key))));
        QVERIFY2(!isPlayGreen(screen, NaturalPlayer),
                 qPrintable(QStringLiteral("\"%1\" reopened the players").arg(QString::fromLatin1(key))));
    }

    QVERIFY(type("m"));
    screen = screenWhen([&](const QImage &s) {
        return highlightMovedOn(s) && chordRows(s) != typedSolSharp && isPlayGreen(s, NaturalPlayer);
    });
    const ChordRows typedSol = chordRows(screen);
    QVERIFY2(highlightMovedOn(screen), "\"m\" completed nothing");
    QVERIFY2(typedSol != typedSolSharp, "\"m\" did not change the key");
    QVERIFY2(typedSol != typedSi && typedSol != emptyRows, "\"m\" chose a key already seen");
    // The scale plays for nine seconds; well before that only the reopening
    // of the players can have brought Play back.
    QVERIFY2(isPlayGreen(screen, NaturalPlayer) && sincePlay.elapsed() < 6000,
             "the change of key did not reopen the players");
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

// The pointer comes to rest on the harmonic grid: its tooltip shows about
// half a second later, just below the pointer, and hides by itself about two
// and a half seconds after that. Moving about inside the grid does not bring
// it back; leaving the grid and returning does.
void TestInteraction::tooltipComesAfterARestAndGoesByItself()
{
    QProcess watch;
    watch.setProcessEnvironment(m_desktop.environment());
    watch.start(QStringLiteral(XWINDOW_PATH), {QStringLiteral("watch-maps"), QStringLiteral("20000")});
    const auto stopWatching = qScopeGuard([&watch] {
        watch.kill();
        watch.waitForFinished(3000);
    });
    QVERIFY(watch.waitForStarted(5000));
    while (!watch.canReadLine() && watch.waitForReadyRead(5000)) {
    }
    QCOMPARE(watch.readLine().trimmed(), QByteArray("ready"));
    const auto nextEvent = [&](const std::function<bool(const MapEvent &)> &wanted,
                               int timeoutMs) -> std::optional<MapEvent> {
        const QDeadlineTimer deadline(timeoutMs);
        while (!deadline.hasExpired()) {
            while (watch.canReadLine()) {
                const auto event = parseMapEvent(watch.readLine());
                if (event && wanted(*event))
                    return event;
            }
            watch.waitForReadyRead(int(std::max<qint64>(deadline.remainingTime(), 1)));
        }
        return std::nullopt;
    };
    const auto tooltipShown = [](const MapEvent &event) {
        return event.mapped && event.type == QStringLiteral("_NET_WM_WINDOW_TYPE_TOOLTIP");
    };

    const QPoint rest = cellRect(Harmonic, 6, ChordRow).center();
    const auto beforeArrival = steadyNow();
    QVERIFY(xdotool(pointerAt(rest)));
    const auto afterArrival = steadyNow();

    const auto shown = nextEvent(tooltipShown, 3000);
    QVERIFY2(shown, "no tooltip came up");
    // The window is mapped before it is drawn; its text shows soon after.
    const QRect tooltipText = shown->geometry.adjusted(3, 3, -3, -3);
    const QImage screen = screenWhen([&](const QImage &s) { return inkIn(s, tooltipText) > 50; }, 1000);
    const auto hidden = nextEvent([&](const MapEvent &event) { return !event.mapped && event.window == shown->window; },
                                  6000);
    QVERIFY2(hidden, "the tooltip never went");

    const qint64 earliest = (shown->at - afterArrival).count();
    const qint64 latest = (shown->at - beforeArrival).count();
    const qint64 showing = (hidden->at - shown->at).count();
    qInfo("tooltip shown %lld-%lld ms after the pointer came to rest, for %lld ms", qlonglong(earliest),
          qlonglong(latest), qlonglong(showing));
    QVERIFY2(latest >= 350, "the tooltip came before the pointer had rested");
    QVERIFY2(earliest <= 1200, "the tooltip kept the pointer waiting");
    QVERIFY2(showing >= 2000 && showing <= 4000, "the tooltip stayed for the wrong time");

    // Just below the pointer, and drawn: a plain background with text on it.
    const QPoint pointer = onScreen(rest);
    QCOMPARE(shown->geometry.left(), pointer.x());
    QVERIFY(shown->geometry.top() > pointer.y() && shown->geometry.top() <= pointer.y() + 64);
    QVERIFY(shown->geometry.width() > 100);
    const QRgb background = screen.pixel(shown->geometry.topLeft() + QPoint(2, 1));
    QVERIFY(inkIn(screen, tooltipText) > 50);
    QVERIFY(background != m_colours.window && background != m_colours.highlight);
    saveImage(screen.copy(shown->geometry.adjusted(-40, -40, 40, 40)), QStringLiteral("tooltip"));

    // The tooltip has had its turn while the pointer stays on the grid.
    QVERIFY(xdotool(pointerAt(rest + QPoint(30, 0))));
    QVERIFY2(!nextEvent(tooltipShown, 1200), "the tooltip came back while the pointer stayed on the grid");

    // Leaving for the background and returning starts the pause again.
    QVERIFY(xdotool(pointerAt(Background)));
    QThread::msleep(200);
    const auto beforeReturn = steadyNow();
    QVERIFY(xdotool(pointerAt(rest)));
    const auto afterReturn = steadyNow();
    const auto again = nextEvent(tooltipShown, 3000);
    QVERIFY2(again, "the tooltip did not come back after the pointer left the grid and returned");
    QVERIFY((again->at - beforeReturn).count() >= 350);
    QVERIFY((again->at - afterReturn).count() <= 1200);
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
