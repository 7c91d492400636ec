// The grids' tooltips in the real program on a private desktop, once on the
// bare X server and once with a window manager (openbox), watched through
// the X server's own reports of windows mapped and unmapped. A tooltip comes
// after the pointer has rested on a grid, just below the pointer's image,
// and goes again by itself. It never catches the pointer: the pointer over a
// tooltip is the pointer over the grid beneath, so moving onto a tooltip
// keeps it and a click on it reaches the grid. A pointer that leaves the
// window and comes back to the very same pixel brings the tooltip again.
//
// Every test function starts the program afresh, with the pointer resting
// on the window's background.

#include "tests/e2e/desktopsession.h"
#include "tests/e2e/programscreen.h"

#include <QDeadlineTimer>
#include <QImage>
#include <QRegularExpression>
#include <QTest>
#include <QThread>

#include <functional>
#include <optional>

namespace {

// A spot of bare window between the natural and the harmonic grid, where
// no tooltip is offered.
constexpr QPoint Background(600, 180);
// A spot of the desktop outside the window, wherever the window is.
constexpr QPoint OutsideWindow(20, 20);

// How long the tests wait for what must come: a tooltip after the pointer's
// half second of rest, a tooltip going after its 2.5 seconds, and the
// program's answer to anything else (drawing, a click, the pointer
// leaving). These allow for a loaded machine and say nothing of the timing
// itself, which the unit tests check on a clock of their own.
constexpr int ShowTimeoutMs = 3000;
constexpr int HideTimeoutMs = 6000;
constexpr int ReactionTimeoutMs = 2000;
// Long enough for a tooltip that would come back to have done so.
constexpr int ComesBackWithinMs = 1200;

// A top-level window mapped or unmapped, as xwindow watch-maps reports it.
struct MapEvent
{
    bool mapped = false;
    QString window;
    QRect geometry;
    QString type;
};

std::optional<MapEvent> parseMapEvent(const QByteArray &line)
{
    const QList<QByteArray> fields = line.trimmed().split(' ');
    if (fields.size() == 3 && fields[0] == "unmap")
        return MapEvent{false, QString::fromLatin1(fields[1]), {}, {}};
    if (fields.size() == 8 && fields[0] == "map")
        return MapEvent{true, QString::fromLatin1(fields[1]),
                        QRect(fields[3].toInt(), fields[4].toInt(), fields[5].toInt(), fields[6].toInt()),
                        QString::fromLatin1(fields[7])};
    return std::nullopt;
}

bool isTooltipShown(const MapEvent &event)
{
    return event.mapped && event.type == QStringLiteral("_NET_WM_WINDOW_TYPE_TOOLTIP");
}

} // namespace

class TestTooltip : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase_data();
    void initTestCase();
    void init();
    void cleanup();

    void comesAfterARestAndGoesByItself();
    void movingOntoItKeepsIt();
    void aClickOnItReachesTheGridBeneath();
    void returningToTheSamePixelBringsItBack();

private:
    bool xdotool(const QStringList &arguments) const { return m_desktop.xdotool(arguments); }
    std::optional<QByteArray> xwindow(const QStringList &arguments) const;
    // Where the window's client area lies on the screen, as the X server
    // has it now.
    std::optional<QPoint> windowOrigin() const;
    QPoint onScreen(QPoint inWindow) const { return m_origin + inWindow; }
    QRect onScreen(const QRect &inWindow) const { return inWindow.translated(m_origin); }
    bool pointerTo(QPoint onScreen) const;
    // Moves the window's client area to \a origin, as the user would by
    // dragging the window. A window manager may take the place asked for as
    // that of its frame; the move is then corrected by the difference.
    bool moveWindowTo(QPoint origin);

    // The next map or unmap that satisfies \a wanted within \a timeoutMs.
    std::optional<MapEvent> nextMapEvent(const std::function<bool(const MapEvent &)> &wanted, int timeoutMs);
    std::optional<MapEvent> nextTooltipShown(int timeoutMs) { return nextMapEvent(isTooltipShown, timeoutMs); }
    std::optional<MapEvent> nextHidden(const MapEvent &shown, int timeoutMs);
    // Rests the pointer on \a inWindow and waits for the tooltip.
    std::optional<MapEvent> restFor(QPoint inWindow);
    // How far below the hot spot the pointer's image reaches, as the X
    // server shows it now.
    std::optional<int> pointerRowsBelowHotSpot() const;
    // The rectangles through which the window takes pointer input.
    std::optional<QStringList> inputShape(const MapEvent &shown) const;

    DesktopSession m_desktop;
    QProcess m_program;
    QProcess m_watch;
    QString m_window;
    QPoint m_origin;
};

void TestTooltip::initTestCase_data()
{
    QTest::addColumn<bool>("windowManager");
    QTest::newRow("bare X") << false;
    QTest::newRow("openbox") << true;
}

void TestTooltip::initTestCase()
{
    QVERIFY2(m_desktop.failure().isEmpty(), qPrintable(m_desktop.failure()));
}

std::optional<QByteArray> TestTooltip::xwindow(const QStringList &arguments) const
{
    return m_desktop.run(QStringLiteral(XWINDOW_PATH), arguments);
}

std::optional<QPoint> TestTooltip::windowOrigin() const
{
    const QRect client = m_desktop.clientGeometry(m_window);
    return client.isValid() ? std::optional(client.topLeft()) : std::nullopt;
}
bool TestTooltip::pointerTo(QPoint at) const
{
    return xdotool({QStringLiteral("mousemove"), QStringLiteral("--sync"), QString::number(at.x()),
                    QString::number(at.y())});
}

bool TestTooltip::moveWindowTo(QPoint origin)
{
    QPoint asked = origin;
    for (int attempt = 0; attempt < 2 && m_origin != origin; ++attempt) {
        if (!xdotool({QStringLiteral("windowmove"), QStringLiteral("--sync"), m_window, QString::number(asked.x()),
                      QString::number(asked.y())}))
            return false;
        const auto moved = windowOrigin();
        if (!moved)
            return false;
        asked += origin - *moved;
        m_origin = *moved;
    }
    return m_origin == origin;
}

void TestTooltip::init()
{
    QFETCH_GLOBAL(bool, windowManager);
    if (windowManager)
        QVERIFY2(m_desktop.startWindowManager(), "openbox did not start");
    const auto window = m_desktop.launch(m_program);
    QVERIFY2(window, "the window never appeared");
    m_window = *window;
    QVERIFY(xdotool({QStringLiteral("windowfocus"), QStringLiteral("--sync"), m_window}));
    const auto origin = windowOrigin();
    QVERIFY(origin);
    m_origin = *origin;
    QVERIFY(pointerTo(onScreen(Background)));

    m_watch.setProcessEnvironment(m_desktop.environment());
    m_watch.start(QStringLiteral(XWINDOW_PATH), {QStringLiteral("watch-maps"), QStringLiteral("60000")});
    QVERIFY(m_watch.waitForStarted(5000));
    while (!m_watch.canReadLine() && m_watch.waitForReadyRead(5000)) {
    }
    QCOMPARE(m_watch.readLine().trimmed(), QByteArray("ready"));
}

void TestTooltip::cleanup()
{
    m_watch.kill();
    m_watch.waitForFinished(3000);
    if (!m_window.isEmpty())
        xwindow({QStringLiteral("close"), m_window});
    if (!m_program.waitForFinished(5000)) {
        m_program.kill();
        m_program.waitForFinished(3000);
    }
    m_window.clear();
    m_desktop.stopWindowManager();
}

std::optional<MapEvent> TestTooltip::nextMapEvent(const std::function<bool(const MapEvent &)> &wanted, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    do {
        while (m_watch.canReadLine()) {
            const auto event = parseMapEvent(m_watch.readLine());
            if (event && wanted(*event))
                return event;
        }
        m_watch.waitForReadyRead(int(std::max<qint64>(deadline.remainingTime(), 1)));
    } while (!deadline.hasExpired());
    return std::nullopt;
}

std::optional<MapEvent> TestTooltip::nextHidden(const MapEvent &shown, int timeoutMs)
{
    return nextMapEvent([&](const MapEvent &event) { return !event.mapped && event.window == shown.window; },
                        timeoutMs);
}

std::optional<MapEvent> TestTooltip::restFor(QPoint inWindow)
{
    if (!pointerTo(onScreen(inWindow)))
        return std::nullopt;
    return nextTooltipShown(ShowTimeoutMs);
}

std::optional<int> TestTooltip::pointerRowsBelowHotSpot() const
{
    // "<width> <height> <xhot> <yhot> <lowest visible row>"
    const auto image = xwindow({QStringLiteral("pointer-image")});
    const QList<QByteArray> fields = image ? image->trimmed().split(' ') : QList<QByteArray>();
    if (fields.size() != 5)
        return std::nullopt;
    return fields[4].toInt() - fields[3].toInt();
}

std::optional<QStringList> TestTooltip::inputShape(const MapEvent &shown) const
{
    const auto shape = xwindow({QStringLiteral("input-shape"), shown.window});
    if (!shape)
        return std::nullopt;
    return QString::fromLatin1(*shape).split(u'\n', Qt::SkipEmptyParts);
}

// The pointer comes to rest on a chord cell of the harmonic grid: the
// tooltip shows after the pause, its left edge at the pointer and its top
// just below the pointer's image, drawn as text on a plain background, and
// takes no pointer input. It goes by itself, and does not come back while
// the pointer moves about inside the grid; leaving the grid for the
// background and returning brings it again.
void TestTooltip::comesAfterARestAndGoesByItself()
{
    const QPoint rest = cellRect(Harmonic, 6, ChordRow).center();
    const QImage before = m_desktop.screenshot();
    const auto shown = restFor(rest);
    QVERIFY2(shown, "no tooltip came up");

    const auto rowsBelow = pointerRowsBelowHotSpot();
    QVERIFY(rowsBelow);
    qInfo("the pointer's image reaches %d rows below its hot spot", *rowsBelow);
    const QPoint pointer = onScreen(rest);
    QCOMPARE(shown->geometry.topLeft(), pointer + QPoint(0, *rowsBelow));
    QCOMPARE(inputShape(*shown), QStringList());

    // The window is mapped before it is drawn; its text shows soon after.
    const QRect text = shown->geometry.adjusted(3, 3, -3, -3);
    const QImage screen =
        screenWhen(m_desktop, [&](const QImage &s) { return inkIn(s, text) > 50; }, ReactionTimeoutMs);
    QVERIFY(inkIn(screen, text) > 50);
    const QRgb background = screen.pixel(shown->geometry.topLeft() + QPoint(2, 1));
    QVERIFY(background != before.pixel(shown->geometry.topLeft() + QPoint(2, 1)));
    saveImage(screen.copy(shown->geometry.adjusted(-40, -40, 40, 40)), QStringLiteral(SCREENSHOT_DIR),
              QStringLiteral("tooltip"));

    QVERIFY2(nextHidden(*shown, HideTimeoutMs), "the tooltip never went");

    QVERIFY(pointerTo(onScreen(rest + QPoint(30, 0))));
    QVERIFY2(!nextTooltipShown(ComesBackWithinMs), "the tooltip came back while the pointer stayed on the grid");

    QVERIFY(pointerTo(onScreen(Background)));
    const auto again = restFor(rest);
    QVERIFY2(again, "the tooltip did not come back after the pointer left the grid and returned");
    QCOMPARE(inputShape(*again), QStringList());
}

// Resting near the top of the first heading cell puts the tooltip over the
// same grid's cells, under the pointer images of both releases (18 rows
// below the hot spot on Debian 12, 22 on Debian 13). The pointer then moves
// onto the tooltip and on across it, which is moving over the grid beneath:
// the tooltip is shown once, and goes only by itself. A tooltip that caught the pointer would be hidden by the first
// move, as the pointer would have left the grid, and the next move, back
// over the grid, would start its pause again.
void TestTooltip::movingOntoItKeepsIt()
{
    const QRect heading = cellRect(Harmonic, 0, HeadingRow);
    const auto shown = restFor(QPoint(heading.center().x(), heading.top() + 2));
    QVERIFY2(shown, "no tooltip came up");
    QVERIFY2(onScreen(cellAreaRect(Harmonic)).contains(shown->geometry),
             "the tooltip does not lie over the grid; the test cannot tell what it should");

    QVERIFY(pointerTo(shown->geometry.center()));
    QVERIFY(pointerTo(shown->geometry.center() + QPoint(20, 0)));
    QVERIFY2(nextHidden(*shown, HideTimeoutMs), "the tooltip never went");
    QVERIFY2(!nextTooltipShown(ComesBackWithinMs), "the tooltip was shown again while the pointer stayed on it");
}

// Near the bottom of the screen the tooltip is pushed up under the pointer.
// A click there goes through it to the grid, whose headings turn from the
// degree names to the numerals, and hides the tooltip.
void TestTooltip::aClickOnItReachesTheGridBeneath()
{
    const QRect screen = m_desktop.screenshot().rect();
    const QRect cell = cellRect(Melodic, 0, ChordRow);
    // The window moved down until the chord row's middle is 10 pixels from
    // the screen's bottom.
    QVERIFY(moveWindowTo(m_origin + QPoint(0, screen.bottom() - 10 - onScreen(cell.center()).y())));

    const QRect tonicHeading = onScreen(cellRect(Melodic, 0, HeadingRow).adjusted(2, 2, -2, -2));
    const int namesInk = inkIn(m_desktop.screenshot(), tonicHeading);
    QVERIFY2(namesInk > 0, "the melodic grid's headings are not on the screen");

    const QPoint pointer = onScreen(cell.center());
    const auto shown = restFor(cell.center());
    QVERIFY2(shown, "no tooltip came up");
    QVERIFY2(shown->geometry.contains(pointer), "the tooltip was not pushed up under the pointer");
    QCOMPARE(shown->geometry.bottom(), screen.bottom());

    QVERIFY(xdotool({QStringLiteral("click"), QStringLiteral("1")}));
    QVERIFY2(nextHidden(*shown, ReactionTimeoutMs), "the click did not hide the tooltip");
    // "i" over the tonic leaves far less ink than "Tônica".
    const QImage after = screenWhen(
        m_desktop, [&](const QImage &s) { return inkIn(s, tonicHeading) * 3 < namesInk; }, ReactionTimeoutMs);
    saveImage(after.copy(onScreen(cellAreaRect(Melodic)).adjusted(-20, -40, 20, 0)), QStringLiteral(SCREENSHOT_DIR),
              QStringLiteral("clicked-through-tooltip"));
    QVERIFY2(inkIn(after, tonicHeading) * 3 < namesInk, "the click did not reach the grid beneath the tooltip");
}

// Qt drops a move to the pixel where it last saw the pointer; the pointer
// that left the window and came back to that pixel has still come back,
// and rests there.
void TestTooltip::returningToTheSamePixelBringsItBack()
{
    const QPoint rest = cellRect(Natural, 3, ChordRow).center();
    const auto shown = restFor(rest);
    QVERIFY2(shown, "no tooltip came up");

    QVERIFY(pointerTo(OutsideWindow));
    QVERIFY2(nextHidden(*shown, ReactionTimeoutMs), "leaving the window did not hide the tooltip");

    const auto again = restFor(rest);
    QVERIFY2(again, "the tooltip did not come back with the pointer");
}

QTEST_GUILESS_MAIN(TestTooltip)
#include "tst_tooltip.moc"
