// The real program on a desktop whose text resolution is set as desktops
// set it, by Xft.dpi in the X resources, with and without a window manager:
// the window scales itself by its text and nothing else scales it, every
// heading and chord stays inside its cell, and the error box stands in the
// middle of the screen. Everything is read back from the X server: window
// properties and the screen's pixels.

#include "model/degreeheadings.h"
#include "model/harmonicfield.h"
#include "tests/e2e/desktopsession.h"
#include "ui/screenscaling.h"
#include "windowing/drawing.h"

#include <QDeadlineTimer>
#include <QFontMetrics>
#include <QImage>
#include <QRegularExpression>
#include <QTemporaryFile>
#include <QTest>
#include <QThread>

#include <optional>

using namespace quiralto;

namespace {

// Window names as xdotool searches for them: regular expressions.
const QString WindowTitle = QStringLiteral("^Quiralto - Vers");
// The application's title, from the program file's name.
const QString ErrorBoxTitle = QStringLiteral("^quiralto$");
constexpr QPoint WindowPosition(196, 107);
constexpr QSize ScreenSize(1280, 720);
constexpr QRect DesignedGrid(8, 104, 965, 53);
constexpr QRect DesignedPlayer(72, 72, 29, 30);
constexpr QSize SmallestPlayer(29, 20);
constexpr int BorderWidth = 2;
constexpr int ColumnPitch = 74;
constexpr int ColumnWidth = 73;
constexpr int RowPitch = 25;

// The window font's text height on a screen of \a dotsPerInch, as the
// program measures it.
int textHeightAt(int dotsPerInch)
{
    QFont font = windowing::windowFont();
    if (dotsPerInch != ui::DesignDotsPerInch)
        font.setPixelSize(-ui::scaleValue(ui::DesignFontHeight, dotsPerInch, ui::DesignDotsPerInch));
    return QFontMetrics(font).height();
}

int scaled(int designed, int textHeight)
{
    return ui::scaleValue(designed, textHeight, ui::DesignTextHeight);
}

// The first pixel, walking from \a from by \a step, whose colour is not
// \a background.
QPoint firstNotOf(const QImage &screen, QPoint from, QPoint step, QRgb background)
{
    QPoint at = from;
    while (screen.rect().contains(at) && screen.pixel(at) == background)
        at += step;
    return at;
}

// The smallest rectangle holding every pixel of \a area not of \a background.
QRect inkBounds(const QImage &image, const QRect &area, QRgb background)
{
    QRect bounds;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (image.pixel(x, y) != background)
                bounds |= QRect(x, y, 1, 1);
    return bounds;
}

// The grid's cells: the designed texts of every column, by row.
using GridTexts = std::array<QStringList, 2>;

GridTexts gridTexts(const model::RowCells &headings, const model::RowCells &chords)
{
    GridTexts texts{QStringList(13), QStringList(13)};
    for (const model::Cell &cell : headings)
        texts[0][cell.column] = QString::fromLatin1(cell.text);
    for (const model::Cell &cell : chords)
        texts[1][cell.column] = QString::fromLatin1(cell.text);
    return texts;
}

} // namespace

class TestDesktop : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void scalesByItsText_data();
    void scalesByItsText();
    void scrollsColumnsThatDoNotFit();
    void errorBoxInTheMiddle_data();
    void errorBoxInTheMiddle();
    void textsStayInsideTheirCells();

private:
    std::optional<QString> launchOn(int dotsPerInch, bool windowManager);
    bool setResolution(int dotsPerInch);
    std::optional<QString> launch();
    std::optional<QString> waitForWindow(const QString &title) const;
    void focusWindow(const QString &window) const;
    QRect clientGeometry(const QString &window) const { return m_desktop.clientGeometry(window); }
    QMargins frameExtents(const QString &window) const;
    QImage screenshot() const { return m_desktop.screenshot(); }
    bool xdotool(const QStringList &arguments) const { return m_desktop.xdotool(arguments); }
    QString textsOutOfPlace(const QImage &screen, const QPoint &client, const std::array<GridTexts, 3> &grids) const;

    // The X resources stay set between the program's starts.
    DesktopSession m_desktop{DesktopSession::ServerState::Kept};
    QProcess m_program;
};

void TestDesktop::initTestCase()
{
    QVERIFY2(m_desktop.failure().isEmpty(), qPrintable(m_desktop.failure()));
}

void TestDesktop::cleanup()
{
    stopProcess(m_program);
    m_desktop.stopWindowManager();
}

// The program started on a desktop of that resolution, under a window
// manager or not; its window's id.
std::optional<QString> TestDesktop::launchOn(int dotsPerInch, bool windowManager)
{
    if (!setResolution(dotsPerInch) || (windowManager && !m_desktop.startWindowManager()))
        return std::nullopt;
    return launch();
}

// As a desktop's settings do it: merged into the X resources, where Qt and
// every other toolkit read it when they start.
bool TestDesktop::setResolution(int dotsPerInch)
{
    QTemporaryFile resources;
    if (!resources.open())
        return false;
    resources.write("Xft.dpi:\t" + QByteArray::number(dotsPerInch) + "\n");
    resources.close();
    return m_desktop
        .run(QStringLiteral("xrdb"), {QStringLiteral("-nocpp"), QStringLiteral("-merge"), resources.fileName()})
        .has_value();
}

// Started as a desktop starts it: the platform is the program's choice.
std::optional<QString> TestDesktop::launch()
{
    QProcessEnvironment environment = m_desktop.environment();
    environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
    return m_desktop.launch(m_program, environment);
}

// Searched for through the whole tree, since a window manager puts its
// frame between the root window and the program's window.
std::optional<QString> TestDesktop::waitForWindow(const QString &title) const
{
    const auto found = m_desktop.run(QStringLiteral("xdotool"),
                                     {QStringLiteral("search"), QStringLiteral("--sync"), QStringLiteral("--onlyvisible"),
                                      QStringLiteral("--name"), title},
                                     30000);
    if (!found)
        return std::nullopt;
    return QString::fromLatin1(found->split('\n').first().trimmed());
}

void TestDesktop::focusWindow(const QString &window) const
{
    // A window manager activates the window when asked; without one the
    // focus is simply given to it.
    const bool managed = m_desktop.windowManagerRuns();
    QVERIFY(xdotool({managed ? QStringLiteral("windowactivate") : QStringLiteral("windowfocus"),
                     QStringLiteral("--sync"), window}));
    QThread::msleep(200);
}

// What the window manager's frame adds on each side; nothing without one.
QMargins TestDesktop::frameExtents(const QString &window) const
{
    const QString property = QString::fromLatin1(
        m_desktop.run(QStringLiteral("xprop"), {QStringLiteral("-id"), window, QStringLiteral("_NET_FRAME_EXTENTS")})
            .value_or(QByteArray()));
    const QRegularExpressionMatch match =
        QRegularExpression(QStringLiteral("= (\\d+), (\\d+), (\\d+), (\\d+)")).match(property);
    if (!match.hasMatch())
        return {};
    return QMargins(match.captured(1).toInt(), match.captured(3).toInt(), match.captured(2).toInt(),
                    match.captured(4).toInt());
}

void TestDesktop::scalesByItsText_data()
{
    QTest::addColumn<int>("dotsPerInch");
    QTest::addColumn<bool>("windowManager");
    for (const int dotsPerInch : {72, 96, 120, 144}) {
        const QByteArray resolution = QByteArray::number(dotsPerInch) + " dpi";
        QTest::newRow(resolution) << dotsPerInch << false;
        QTest::newRow(resolution + ", openbox") << dotsPerInch << true;
    }
}

// The window opens where it was designed to, every control scaled by the
// text height over 13, the grids' columns and the players' lines and glyphs
// as designed: one scaling, the program's, and none by Qt on top of it.
void TestDesktop::scalesByItsText()
{
    QFETCH(int, dotsPerInch);
    QFETCH(bool, windowManager);
    const auto window = launchOn(dotsPerInch, windowManager);
    QVERIFY2(window, "the window never appeared");
    const int h = textHeightAt(dotsPerInch);

    const QRect client = clientGeometry(*window);
    const QMargins frame = frameExtents(*window);
    QCOMPARE(frame.isNull(), !windowManager);
    QCOMPARE(client.topLeft() - QPoint(frame.left(), frame.top()), WindowPosition);
    QCOMPARE(client.size(), QSize(scaled(981, h), scaled(479, h)));

    const QImage screen = screenshot();
    QVERIFY(!screen.isNull());
    const QRgb windowBackground = screen.pixel(client.topLeft() + QPoint(2, 2));

    // The heading row's lines, looked at below the text: one pixel wide,
    // 74 apart, as far as the cell area or the screen reaches.
    const QRect grid = ui::scaledGeometry(DesignedGrid, h).translated(client.topLeft());
    const QPoint cells = grid.topLeft() + QPoint(BorderWidth, BorderWidth);
    const int visibleWidth = std::min(grid.width() - 2 * BorderWidth, screen.width() - cells.x());
    const int belowText = cells.y() + std::min(2 + h + 1, 21);
    QList<int> lines, expectedLines;
    for (int x = 0; x < visibleWidth; ++x)
        if (screen.pixel(cells.x() + x, belowText) == qRgb(0, 0, 0))
            lines << x;
    for (int x = ColumnWidth; x < visibleWidth && x < 13 * ColumnPitch; x += ColumnPitch)
        expectedLines << x;
    QCOMPARE(lines, expectedLines);
    // Right of the last column, in both rows, the window colour of the
    // empty chord cells.
    const QRgb cellBackground = screen.pixel(cells + QPoint(ColumnPitch + 36, RowPitch + 12));
    for (int x = 13 * ColumnPitch; x < visibleWidth; ++x) {
        QCOMPARE(screen.pixel(cells.x() + x, belowText), cellBackground);
        QCOMPARE(screen.pixel(cells.x() + x, cells.y() + RowPitch + 12), cellBackground);
    }

    // The natural scale's player: its outline where the scaled design puts
    // it, no smaller than a player can be.
    QRect expectedPlayer = ui::scaledGeometry(DesignedPlayer, h);
    expectedPlayer.setSize(expectedPlayer.size().expandedTo(SmallestPlayer));
    expectedPlayer.translate(client.topLeft());
    const QPoint middle = expectedPlayer.center();
    const int left = firstNotOf(screen, QPoint(expectedPlayer.left() - 2, middle.y()), {1, 0}, windowBackground).x();
    const int right = firstNotOf(screen, QPoint(expectedPlayer.right() + 2, middle.y()), {-1, 0}, windowBackground).x();
    const int top = firstNotOf(screen, QPoint(middle.x(), expectedPlayer.top() - 2), {0, 1}, windowBackground).y();
    const int bottom = firstNotOf(screen, QPoint(middle.x(), expectedPlayer.bottom() + 2), {0, -1}, windowBackground).y();
    const QRect player(QPoint(left, top), QPoint(right, bottom));
    QCOMPARE(player, expectedPlayer);
    QVERIFY2(player.bottom() < grid.top(), "the player runs into the grid");

    // Its bevel one pixel wide on every side, the face inside it.
    const QRgb face = screen.pixel(player.topLeft() + QPoint(3, 3));
    for (const auto &[edge, inward] : {std::pair{QPoint(player.left() + 1, middle.y()), QPoint(1, 0)},
                                       std::pair{QPoint(player.right() - 1, middle.y()), QPoint(-1, 0)},
                                       std::pair{QPoint(middle.x(), player.top() + 1), QPoint(0, 1)},
                                       std::pair{QPoint(middle.x(), player.bottom() - 1), QPoint(0, -1)}}) {
        QVERIFY(screen.pixel(edge) != face);
        QCOMPARE(screen.pixel(edge + inward), face);
    }

    // Its glyph pixel for pixel as drawn, centred by the player's size.
    const QImage glyph = QImage(QStringLiteral(GLYPH_DIR "/DI_MPPLAY.png")).convertToFormat(QImage::Format_RGB32);
    const QRect glyphInk = inkBounds(glyph, glyph.rect(), qRgb(128, 128, 0));
    const QPoint glyphOrigin(player.width() / 2 - glyph.width() / 2, player.height() / 2 - glyph.height() / 2);
    QCOMPARE(inkBounds(screen, player.adjusted(2, 2, -2, -2), face),
             glyphInk.translated(player.topLeft() + glyphOrigin));
}

// Scaled down so far that the columns no longer fit, a grid shows a scroll
// bar, and its arrow brings in the next column.
void TestDesktop::scrollsColumnsThatDoNotFit()
{
    const auto window = launchOn(72, false);
    QVERIFY2(window, "the window never appeared");
    const int h = textHeightAt(72);
    const QRect grid = ui::scaledGeometry(DesignedGrid, h).translated(clientGeometry(*window).topLeft());
    QVERIFY(13 * ColumnPitch > grid.width() - 2 * BorderWidth + 1);
    const QRect firstHeading(grid.topLeft() + QPoint(BorderWidth + 2, BorderWidth + 2), QSize(ColumnWidth - 4, h));
    const auto headingInk = [&](const QImage &screen) {
        return inkBounds(screen, firstHeading, screen.pixel(firstHeading.topRight()));
    };
    QVERIFY2(!headingInk(screenshot()).isEmpty(), "no heading in the first column");

    // The right arrow sits at the bar's end, in the grid's bottom right corner.
    const QPoint arrow = grid.bottomRight() - QPoint(BorderWidth + 4, BorderWidth + 4);
    QVERIFY(xdotool({QStringLiteral("mousemove"), QString::number(arrow.x()), QString::number(arrow.y()),
                     QStringLiteral("click"), QStringLiteral("1")}));
    // Column 1 of the natural scale has no heading.
    QTRY_VERIFY_WITH_TIMEOUT(headingInk(screenshot()).isEmpty(), 3000);
}

void TestDesktop::errorBoxInTheMiddle_data()
{
    QTest::addColumn<int>("dotsPerInch");
    QTest::addColumn<bool>("windowManager");
    QTest::newRow("96 dpi") << 96 << false;
    QTest::newRow("96 dpi, openbox") << 96 << true;
    QTest::newRow("120 dpi, openbox") << 120 << true;
}

// Space on a player without a file raises "No MCI device open"; the box
// that shows it has its frame centred on the screen once it has settled.
void TestDesktop::errorBoxInTheMiddle()
{
    QFETCH(int, dotsPerInch);
    QFETCH(bool, windowManager);
    const auto window = launchOn(dotsPerInch, windowManager);
    QVERIFY2(window, "the window never appeared");
    focusWindow(*window);
    // The focus starts in the first grid; the first player is four Tabs on.
    QVERIFY(xdotool({QStringLiteral("key"), QStringLiteral("--delay"), QStringLiteral("50"), QStringLiteral("Tab"),
                     QStringLiteral("Tab"), QStringLiteral("Tab"), QStringLiteral("Tab"), QStringLiteral("space")}));
    const auto box = waitForWindow(ErrorBoxTitle);
    QVERIFY2(box, "no error box");
    const QString boxId = *box;

    // Twice the offset of the frame's centre from the screen's, so that a
    // half pixel, which an odd difference in size leaves, counts as 1.
    QPoint offset;
    const QDeadlineTimer deadline(3000);
    do {
        QThread::msleep(100);
        const QRect frame = clientGeometry(boxId).marginsAdded(frameExtents(boxId));
        offset = QPoint(2 * frame.left() + frame.width() - ScreenSize.width(),
                        2 * frame.top() + frame.height() - ScreenSize.height());
    } while ((std::abs(offset.x()) > 1 || std::abs(offset.y()) > 1) && !deadline.hasExpired());
    QVERIFY2(std::abs(offset.x()) <= 1 && std::abs(offset.y()) <= 1,
             qPrintable(QStringLiteral("the frame's centre is (%1, %2)/2 off the screen's")
                            .arg(offset.x()).arg(offset.y())));
    QVERIFY(xdotool({QStringLiteral("key"), QStringLiteral("Return")}));
}

// Every heading name, numeral and chord of the fifteen keys ends before the
// last pixel column of its cell, in all three grids.
void TestDesktop::textsStayInsideTheirCells()
{
    const auto window = launchOn(ui::DesignDotsPerInch, false);
    QVERIFY2(window, "the window never appeared");
    const QPoint client = clientGeometry(*window).topLeft();
    focusWindow(*window);
    // The selector is three Tabs on from the first grid; each Down then
    // chooses the next key.
    QVERIFY(xdotool({QStringLiteral("key"), QStringLiteral("--delay"), QStringLiteral("50"), QStringLiteral("Tab"),
                     QStringLiteral("Tab"), QStringLiteral("Tab")}));

    model::HarmonicField field;
    field.fillNoteNames();
    const auto expected = [&](model::HeadingSet headings) {
        std::array<GridTexts, 3> grids;
        for (const model::ScaleForm form : model::AllScaleForms)
            grids[int(form)] = gridTexts(model::DegreeHeadings(form, headings), field.row(form));
        return grids;
    };
    // The window repaints soon after each key, not at once.
    const auto settled = [&](const std::array<GridTexts, 3> &grids) {
        QString problem;
        const QDeadlineTimer deadline(5000);
        do {
            problem = textsOutOfPlace(screenshot(), client, grids);
        } while (!problem.isEmpty() && !deadline.hasExpired());
        return problem;
    };

    QString problem = settled(expected(model::HeadingSet::Names));
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
    for (int key = 0; key < model::KeyCount; ++key) {
        QVERIFY(xdotool({QStringLiteral("key"), QStringLiteral("Down")}));
        field.selectKeyByListPosition(key);
        problem = settled(expected(model::HeadingSet::Names));
        QVERIFY2(problem.isEmpty(), qPrintable(QString::fromLatin1(model::KeyTable()[key].listText) + ": " + problem));
    }
    // A click on a chord turns each grid's headings to numerals.
    for (int form = 0; form < 3; ++form) {
        const QPoint chord = client + DesignedGrid.topLeft() + QPoint(BorderWidth + 36, BorderWidth + RowPitch + 12 + 128 * form);
        QVERIFY(xdotool({QStringLiteral("mousemove"), QString::number(chord.x()), QString::number(chord.y()),
                         QStringLiteral("click"), QStringLiteral("1")}));
    }
    problem = settled(expected(model::HeadingSet::Numerals));
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
}

// What in \a screen does not match the texts of the three grids: a cell
// without ink that has a text, or with ink that has none, or ink in the
// cell's last column but one; the last one belongs to the heading's edge
// and to the focus rectangle, and a text that reached it would be cut.
QString TestDesktop::textsOutOfPlace(const QImage &screen, const QPoint &client,
                                     const std::array<GridTexts, 3> &grids) const
{
    for (int form = 0; form < 3; ++form) {
        const QPoint cells = client + DesignedGrid.topLeft() + QPoint(BorderWidth, BorderWidth + 128 * form);
        for (int row = 0; row < 2; ++row) {
            for (int col = 0; col < 13; ++col) {
                const QRect cell(cells + QPoint(ColumnPitch * col, RowPitch * row), QSize(ColumnWidth, 24));
                const QRgb background = screen.pixel(cell.topRight() + QPoint(-1, 1));
                const QString text = grids[form][row][col];
                const QString where = QStringLiteral("grid %1, cell (%2, %3) \"%4\"").arg(form + 1).arg(col).arg(row).arg(text);
                const QRect ink = inkBounds(screen, cell.adjusted(1, 1, -1, -1), background);
                if (ink.isEmpty() != text.isEmpty())
                    return where + (text.isEmpty() ? QStringLiteral(" has ink") : QStringLiteral(" has none"));
                if (ink.right() >= cell.right() - 1)
                    return where + QStringLiteral(" reaches column %1").arg(ink.right() - cell.left());
            }
        }
    }
    return {};
}

QTEST_MAIN(TestDesktop)
#include "tst_desktop.moc"
