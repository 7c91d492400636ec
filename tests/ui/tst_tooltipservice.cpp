#include "ui/tooltipservice.h"
#include "windowing/systemcolors.h"
#include "windowing/tooltipdesktop.h"

#include <QApplication>
#include <QCursor>
#include <QImage>
#include <QScopeGuard>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>
#include <QToolTip>
#include <QWheelEvent>

#include <memory>

using namespace quiralto::ui;
using namespace std::chrono_literals;
using quiralto::windowing::SystemColor;
using quiralto::windowing::systemColor;

namespace {

// Time moves only when a test says so. An expiry inside a step fires at its
// own moment, so the hide timer started by a showing runs within the step.
class ManualTimer : public TooltipTimer
{
public:
    void start(std::chrono::milliseconds interval) override { m_deadline = m_now + interval; }
    void stop() override { m_deadline.reset(); }
    std::chrono::milliseconds now() const override { return m_now; }

    void advance(std::chrono::milliseconds step)
    {
        const auto target = m_now + step;
        while (m_deadline && *m_deadline <= target) {
            m_now = *m_deadline;
            m_deadline.reset();
            emit expired();
        }
        m_now = target;
    }

private:
    std::chrono::milliseconds m_now{100000};
    std::optional<std::chrono::milliseconds> m_deadline;
};

const QString shortText = QStringLiteral("O acorde da dominante é menor.");
const QString longText = QStringLiteral(
    "A alteração da sensível não se aplica ao acorde da mediante "
    "(tonalidades relativas: I - vi, i - III).");
const QPoint inside(40, 30);

enum class Input { Click, KeyPress, Wheel };

} // namespace

Q_DECLARE_METATYPE(Input)
Q_DECLARE_METATYPE(TooltipAnimation)

class TestTooltipService : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void showsAfterRestingAndHidesForGood_data();
    void showsAfterRestingAndHidesForGood();
    void leavingTheContentsAndReturningWaitsAgain_data();
    void leavingTheContentsAndReturningWaitsAgain();
    void anotherControlShowsAtOnceWhileActive_data();
    void anotherControlShowsAtOnceWhileActive();
    void inputHidesItAndTheNextMoveWaitsAgain_data();
    void inputHidesItAndTheNextMoveWaitsAgain();
    void aPendingTooltipWaitsForTheLastMove();
    void enteringCountsAsAMove();
    void leavingTheWindow_data();
    void leavingTheWindow();
    void qtsOwnTooltipIsSwallowed();
    void drawsEdgeBackgroundAndText();
    void measuresAmpersandsAsWritten();

    void placement_data();
    void placement();
    void belowThePointerWhereItsImageCannotBeRead_data();
    void belowThePointerWhereItsImageCannotBeRead();
    void rowsBelowHotSpot_data();
    void rowsBelowHotSpot();
    void animation_data();
    void animation();
    void eventLoopTimerExpiresOncePerStart_data();
    void eventLoopTimerExpiresOncePerStart();

private:
    void moveTo(QWidget *widget, QPoint local = inside);
    void restOn(QWidget *widget);
    TooltipWindow *tooltip() const;
    bool tooltipShown() const { return tooltip() && tooltip()->isVisible(); }
    QString tooltipText() const { return tooltipShown() ? tooltip()->text() : QString(); }

    std::unique_ptr<QWidget> m_host;
    QWidget *m_first = nullptr;
    QWidget *m_second = nullptr;
    ManualTimer *m_timer = nullptr;
    std::unique_ptr<TooltipService> m_service;
};

void TestTooltipService::init()
{
    m_host = std::make_unique<QWidget>();
    m_host->setGeometry(40, 40, 400, 200);
    const auto addControl = [this](const QRect &geometry, const QString &text) {
        auto *control = new QWidget(m_host.get());
        control->setGeometry(geometry);
        control->setContentsMargins(2, 2, 2, 2);
        control->setToolTip(text);
        return control;
    };
    m_first = addControl(QRect(10, 10, 150, 60), shortText);
    m_second = addControl(QRect(200, 10, 150, 60), longText);

    auto timer = std::make_unique<ManualTimer>();
    m_timer = timer.get();
    m_service = std::make_unique<TooltipService>(*qApp, std::move(timer));

    m_host->show();
    m_host->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_host.get()));
    // Qt drops a move to where the pointer already is, and each test starts
    // with the pointer where the last one left it.
    moveTo(m_host.get(), QPoint(390, 190));
}

void TestTooltipService::cleanup()
{
    m_service.reset();
    m_host.reset();
}

void TestTooltipService::moveTo(QWidget *widget, QPoint local)
{
    QTest::mouseMove(m_host->windowHandle(), widget->mapTo(m_host.get(), local));
}

void TestTooltipService::restOn(QWidget *widget)
{
    moveTo(widget);
    m_timer->advance(500ms);
    QVERIFY(tooltipShown());
}

TooltipWindow *TestTooltipService::tooltip() const
{
    const auto windows = QApplication::topLevelWidgets();
    for (QWidget *window : windows) {
        if (auto *tooltip = qobject_cast<TooltipWindow *>(window))
            return tooltip;
    }
    return nullptr;
}

void TestTooltipService::showsAfterRestingAndHidesForGood_data()
{
    QTest::addColumn<QString>("toolTip");
    QTest::addColumn<QString>("shown");
    QTest::newRow("whole text") << shortText << shortText;
    QTest::newRow("up to the bar") << QStringLiteral("Tônica|estado") << QStringLiteral("Tônica");
}

void TestTooltipService::showsAfterRestingAndHidesForGood()
{
    QFETCH(QString, toolTip);
    QFETCH(QString, shown);
    m_first->setToolTip(toolTip);

    moveTo(m_first);
    m_timer->advance(499ms);
    QVERIFY(!tooltipShown());
    m_timer->advance(1ms);
    QCOMPARE(tooltipText(), shown);
    const QPoint pointer = m_first->mapToGlobal(inside);
    QCOMPARE(tooltip()->geometry().x(), pointer.x());
    QVERIFY(tooltip()->geometry().y() > pointer.y());

    m_timer->advance(2499ms);
    QVERIFY(tooltipShown());
    m_timer->advance(1ms);
    QVERIFY(!tooltipShown());

    // Hidden after its time, it stays hidden while the pointer stays inside.
    moveTo(m_first, QPoint(100, 40));
    m_timer->advance(5000ms);
    QVERIFY(!tooltipShown());
}

void TestTooltipService::leavingTheContentsAndReturningWaitsAgain_data()
{
    QTest::addColumn<int>("restedFor");
    QTest::addColumn<QPoint>("leaveTo"); // in the first control
    const QPoint background(-8, 100);
    QTest::newRow("pending, over the left frame") << 100 << QPoint(1, 30);
    QTest::newRow("pending, over the bottom frame") << 100 << QPoint(40, 58);
    QTest::newRow("shown, over the top frame") << 500 << QPoint(40, 0);
    QTest::newRow("shown, over the background") << 500 << background;
    QTest::newRow("hidden after its time, over the right frame") << 3000 << QPoint(148, 30);
    QTest::newRow("hidden after its time, over the background") << 3000 << background;
}

void TestTooltipService::leavingTheContentsAndReturningWaitsAgain()
{
    QFETCH(int, restedFor);
    QFETCH(QPoint, leaveTo);
    moveTo(m_first);
    m_timer->advance(std::chrono::milliseconds(restedFor));

    moveTo(m_first, leaveTo);
    QVERIFY(!tooltipShown());
    m_timer->advance(5000ms);
    QVERIFY(!tooltipShown());

    moveTo(m_first);
    m_timer->advance(499ms);
    QVERIFY(!tooltipShown());
    m_timer->advance(1ms);
    QCOMPARE(tooltipText(), shortText);
}

void TestTooltipService::anotherControlShowsAtOnceWhileActive_data()
{
    QTest::addColumn<bool>("hiddenFirst");
    QTest::newRow("while shown") << false;
    // Hiding after its time is no cancel: the tooltip stays active.
    QTest::newRow("after hiding") << true;
}

void TestTooltipService::anotherControlShowsAtOnceWhileActive()
{
    QFETCH(bool, hiddenFirst);
    restOn(m_first);
    if (hiddenFirst)
        m_timer->advance(2500ms);

    moveTo(m_second);
    QCOMPARE(tooltipText(), longText);
    // The long text reaches past the screen's right edge and is moved back.
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    const QRect shown = tooltip()->geometry();
    QCOMPARE(shown.x(), qMin(m_second->mapToGlobal(inside).x(), screen.right() + 1 - shown.width()));
}

void TestTooltipService::inputHidesItAndTheNextMoveWaitsAgain_data()
{
    QTest::addColumn<Input>("input");
    QTest::newRow("click") << Input::Click;
    QTest::newRow("key press") << Input::KeyPress;
    QTest::newRow("wheel") << Input::Wheel;
}

void TestTooltipService::inputHidesItAndTheNextMoveWaitsAgain()
{
    QFETCH(Input, input);
    restOn(m_first);

    const QPoint at = m_first->mapTo(m_host.get(), inside);
    switch (input) {
    case Input::Click:
        QTest::mouseClick(m_host->windowHandle(), Qt::LeftButton, {}, at);
        break;
    case Input::KeyPress:
        QTest::keyClick(m_host.get(), Qt::Key_A);
        break;
    case Input::Wheel: {
        QWheelEvent wheel(at, m_host->mapToGlobal(at), {}, QPoint(0, 120), Qt::NoButton, {},
                          Qt::NoScrollPhase, false);
        QApplication::sendEvent(m_first, &wheel);
        break;
    }
    }
    QVERIFY(!tooltipShown());

    moveTo(m_first, inside + QPoint(1, 0));
    m_timer->advance(499ms);
    QVERIFY(!tooltipShown());
    m_timer->advance(1ms);
    QCOMPARE(tooltipText(), shortText);
}

void TestTooltipService::aPendingTooltipWaitsForTheLastMove()
{
    for (int x = 20; x <= 100; x += 20) {
        moveTo(m_first, QPoint(x, 30));
        m_timer->advance(400ms);
        QVERIFY2(!tooltipShown(), qPrintable(QStringLiteral("x %1").arg(x)));
    }
    m_timer->advance(100ms);
    QVERIFY(tooltipShown());
    QCOMPARE(tooltip()->geometry().x(), m_first->mapToGlobal(QPoint(100, 30)).x());

    // Once shown and hidden by a click, the grid's tooltip returns 500 ms
    // after the pointer next moves, even while it keeps moving inside the
    // grid it was shown for.
    QTest::mouseClick(m_host->windowHandle(), Qt::LeftButton, {}, m_first->mapTo(m_host.get(), QPoint(100, 30)));
    QVERIFY(!tooltipShown());
    moveTo(m_first, QPoint(20, 30));
    m_timer->advance(400ms);
    moveTo(m_first, QPoint(40, 30));
    QVERIFY(!tooltipShown());
    m_timer->advance(100ms);
    QVERIFY(tooltipShown());
    QCOMPARE(tooltip()->geometry().x(), m_first->mapToGlobal(QPoint(40, 30)).x());
}

// Qt drops a move to the pixel where it last saw the pointer, so a pointer
// that left the window and came back to that very pixel is told only by
// its entering.
void TestTooltipService::enteringCountsAsAMove()
{
    restOn(m_first);
    QCursor::setPos(m_host->geometry().bottomRight() + QPoint(100, 100));
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(m_host.get(), &leave);
    QCoreApplication::processEvents();
    QVERIFY(!tooltipShown());

    QEnterEvent enter(inside, m_first->mapTo(m_host.get(), inside), m_first->mapToGlobal(inside));
    QApplication::sendEvent(m_first, &enter);
    m_timer->advance(499ms);
    QVERIFY(!tooltipShown());
    m_timer->advance(1ms);
    QCOMPARE(tooltipText(), shortText);
}

void TestTooltipService::leavingTheWindow_data()
{
    QTest::addColumn<bool>("pointerOverProgram");
    QTest::newRow("for the desktop") << false;
    QTest::newRow("for a window of the program") << true;
}

void TestTooltipService::leavingTheWindow()
{
    QFETCH(bool, pointerOverProgram);
    restOn(m_first);

    const QPoint desktop = m_host->geometry().bottomRight() + QPoint(100, 100);
    QCursor::setPos(pointerOverProgram ? m_first->mapToGlobal(inside) : desktop);
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(m_host.get(), &leave);
    QCoreApplication::processEvents();
    QCOMPARE(tooltipShown(), pointerOverProgram);
}

void TestTooltipService::qtsOwnTooltipIsSwallowed()
{
    QHelpEvent help(QEvent::ToolTip, inside, m_first->mapToGlobal(inside));
    QVERIFY(QApplication::sendEvent(m_first, &help));
    QVERIFY(!QToolTip::isVisible());
}

void TestTooltipService::drawsEdgeBackgroundAndText()
{
    restOn(m_first);
    const QImage image = tooltip()->grab().toImage();
    const auto colour = [palette = tooltip()->palette()](SystemColor name) {
        return systemColor(name, palette).rgb();
    };
    const int right = image.width() - 1;
    const int bottom = image.height() - 1;
    QCOMPARE(image.pixel(0, bottom / 2), colour(SystemColor::BtnHighlight));
    QCOMPARE(image.pixel(right / 2, 0), colour(SystemColor::BtnHighlight));
    QCOMPARE(image.pixel(right, bottom / 2), colour(SystemColor::BtnShadow));
    QCOMPARE(image.pixel(right / 2, bottom), colour(SystemColor::BtnShadow));
    // Two rows and columns of margin inside the edge, then the text.
    QCOMPARE(image.pixel(2, 2), colour(SystemColor::InfoBk));
    QCOMPARE(image.pixel(right - 2, bottom - 2), colour(SystemColor::InfoBk));
    bool inked = false;
    for (int y = 3; y <= bottom - 3; ++y) {
        for (int x = 3; x <= right - 3; ++x)
            inked = inked || image.pixel(x, y) == colour(SystemColor::InfoText);
    }
    QVERIFY(inked);
}

void TestTooltipService::measuresAmpersandsAsWritten()
{
    TooltipWindow window;
    window.setText(QStringLiteral("Dó e Ré"));
    const int widthWithout = window.sizeHint().width();
    window.setText(QStringLiteral("Dó e &Ré"));
    // Taken as a mnemonic, the '&' would vanish and lend the text no width.
    const int ampersand = window.fontMetrics().horizontalAdvance(u'&');
    QVERIFY(qAbs(window.sizeHint().width() - widthWithout - ampersand) <= 1);
}

void TestTooltipService::placement_data()
{
    QTest::addColumn<QPoint>("pointer");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QRect>("desktop");
    QTest::addColumn<QPoint>("expected");
    // The pointer image reaches 20 rows below the hot spot in every row.
    const QRect desktop(0, 0, 800, 600);
    const QSize size(100, 30);
    QTest::newRow("below the pointer") << QPoint(300, 200) << size << desktop << QPoint(300, 220);
    QTest::newRow("touching the right and bottom edges") << QPoint(700, 550) << size << desktop << QPoint(700, 570);
    QTest::newRow("past the right edge") << QPoint(750, 200) << size << desktop << QPoint(700, 220);
    QTest::newRow("past the bottom edge") << QPoint(300, 590) << size << desktop << QPoint(300, 570);
    QTest::newRow("wider than the desktop keeps its left")
        << QPoint(300, 200) << QSize(900, 30) << desktop << QPoint(0, 220);
    QTest::newRow("taller than the desktop keeps its top")
        << QPoint(300, 200) << QSize(100, 700) << desktop << QPoint(300, 0);
    QTest::newRow("screen right of another, narrower than the tooltip")
        << QPoint(1000, 100) << QSize(900, 30) << QRect(800, 0, 800, 600) << QPoint(800, 120);
    QTest::newRow("screen above another")
        << QPoint(100, -10) << size << QRect(0, -600, 800, 600) << QPoint(100, -30);
}

void TestTooltipService::placement()
{
    QFETCH(QPoint, pointer);
    QFETCH(QSize, size);
    QFETCH(QRect, desktop);
    QFETCH(QPoint, expected);
    QCOMPARE(placeTooltip(pointer, 20, size, desktop), QRect(expected, size));
}

// Off X11 no pointer image is read, and no X request is made: the size the
// desktop draws pointers at stands in.
void TestTooltipService::belowThePointerWhereItsImageCannotBeRead_data()
{
    QTest::addColumn<QByteArray>("cursorSize");
    QTest::addColumn<int>("rowsBelow");
    QTest::newRow("XCURSOR_SIZE set") << QByteArray("32") << 32;
    QTest::newRow("XCURSOR_SIZE not set") << QByteArray() << 24;
    QTest::newRow("XCURSOR_SIZE not a size") << QByteArray("big") << 24;
}

void TestTooltipService::belowThePointerWhereItsImageCannotBeRead()
{
    if (QGuiApplication::platformName() == QStringLiteral("xcb"))
        QSKIP("On X11 the pointer's image is read");
    QFETCH(QByteArray, cursorSize);
    QFETCH(int, rowsBelow);
    const bool wasSet = qEnvironmentVariableIsSet("XCURSOR_SIZE");
    const QByteArray saved = qgetenv("XCURSOR_SIZE");
    const auto restore = qScopeGuard([&] {
        if (wasSet)
            qputenv("XCURSOR_SIZE", saved);
        else
            qunsetenv("XCURSOR_SIZE");
    });
    if (cursorSize.isNull())
        qunsetenv("XCURSOR_SIZE");
    else
        qputenv("XCURSOR_SIZE", cursorSize);

    QVERIFY(!quiralto::windowing::pointerRowsBelowHotSpot(1.0));
    restOn(m_first);
    QCOMPARE(tooltip()->geometry().top(), m_first->mapToGlobal(inside).y() + rowsBelow);
}

void TestTooltipService::rowsBelowHotSpot_data()
{
    QTest::addColumn<int>("hotSpotY");
    QTest::addColumn<int>("lowestRow"); // -1: no pixel visible
    QTest::addColumn<int>("lowestAlpha");
    QTest::addColumn<int>("expected"); // -1: none
    // An arrow whose tip is the hot spot, its tail ending on row 22.
    QTest::newRow("arrow") << 4 << 22 << 255 << 18;
    QTest::newRow("faint last row") << 4 << 22 << 1 << 18;
    QTest::newRow("hot spot on the last row") << 9 << 9 << 255 << 0;
    QTest::newRow("hot spot below the image") << 15 << 9 << 255 << 0;
    QTest::newRow("nothing visible") << 4 << -1 << 0 << -1;
}

void TestTooltipService::rowsBelowHotSpot()
{
    QFETCH(int, hotSpotY);
    QFETCH(int, lowestRow);
    QFETCH(int, lowestAlpha);
    QFETCH(int, expected);
    QImage image(24, 24, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    if (lowestRow >= 0) {
        image.setPixel(4, 4, qRgba(0, 0, 0, 255));
        image.setPixel(8, lowestRow, qPremultiply(qRgba(255, 255, 255, lowestAlpha)));
    }
    const std::optional<int> rows = quiralto::windowing::rowsBelowHotSpot(image, hotSpotY);
    QCOMPARE(rows.value_or(-1), expected);
}

void TestTooltipService::animation_data()
{
    QTest::addColumn<int>("sinceLastShowing"); // -1: nothing shown yet
    QTest::addColumn<int>("textLength");
    QTest::addColumn<bool>("animateSwitch");
    QTest::addColumn<bool>("fadeSwitch");
    QTest::addColumn<int>("tooltipTop"); // the pointer is at y = 100
    QTest::addColumn<TooltipAnimation>("expected");
    using A = TooltipAnimation;
    QTest::newRow("first tooltip") << -1 << 30 << true << false << 120 << A::SlideDown;
    QTest::newRow("250 ms after the last") << 250 << 30 << true << false << 120 << A::None;
    QTest::newRow("251 ms after the last") << 251 << 30 << true << false << 120 << A::SlideDown;
    QTest::newRow("99 characters") << 1000 << 99 << true << false << 120 << A::SlideDown;
    QTest::newRow("100 characters") << 1000 << 100 << true << false << 120 << A::None;
    QTest::newRow("101 characters") << 1000 << 101 << true << false << 120 << A::None;
    QTest::newRow("animation off") << 1000 << 30 << false << true << 120 << A::None;
    QTest::newRow("fade") << 1000 << 30 << true << true << 120 << A::Fade;
    QTest::newRow("top at the pointer") << 1000 << 30 << true << false << 100 << A::SlideDown;
    QTest::newRow("pushed above the pointer") << 1000 << 30 << true << false << 99 << A::SlideUp;
}

void TestTooltipService::animation()
{
    QFETCH(int, sinceLastShowing);
    QFETCH(int, textLength);
    QFETCH(bool, animateSwitch);
    QFETCH(bool, fadeSwitch);
    QFETCH(int, tooltipTop);
    QFETCH(TooltipAnimation, expected);
    const auto since = sinceLastShowing < 0
                           ? std::nullopt
                           : std::optional(std::chrono::milliseconds(sinceLastShowing));
    QCOMPARE(chooseTooltipAnimation(since, textLength, animateSwitch, fadeSwitch, tooltipTop, 100),
             expected);
}

// The service leans on a start replacing any pending expiry, and a stop
// cancelling it. How close to its time the timer runs out is measured by
// bench-tooltiptimer (bench/RESULTS.md), not judged here.
void TestTooltipService::eventLoopTimerExpiresOncePerStart_data()
{
    QTest::addColumn<bool>("startedAgain");
    QTest::addColumn<bool>("stopped");
    QTest::addColumn<int>("expiries");
    QTest::newRow("started") << false << false << 1;
    QTest::newRow("started again while pending") << true << false << 1;
    QTest::newRow("stopped") << false << true << 0;
}

void TestTooltipService::eventLoopTimerExpiresOncePerStart()
{
    QFETCH(bool, startedAgain);
    QFETCH(bool, stopped);
    QFETCH(int, expiries);
    EventLoopTooltipTimer timer;
    QSignalSpy expired(&timer, &TooltipTimer::expired);
    timer.start(20ms);
    if (startedAgain)
        timer.start(40ms);
    if (stopped)
        timer.stop();
    // Long enough for every start to have run out many times over.
    QTest::qWait(300);
    QCOMPARE(expired.count(), expiries);
}

QTEST_MAIN(TestTooltipService)
#include "tst_tooltipservice.moc"
