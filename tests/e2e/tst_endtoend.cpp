// The real program on a private desktop, used as a student would use it:
// it opens where designed, a typed key fills the grids, Play plays the scale
// that can be heard, and closing the window ends the program.

#include "tests/e2e/audioanalysis.h"
#include "tests/e2e/desktopsession.h"
#include "tests/e2e/programscreen.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QImage>
#include <QTest>
#include <QThread>

class TestEndToEnd : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void windowOpensAsDesigned();
    void typingAKeyFillsTheGrids();
    void playSoundsTheHarmonicScale();
    void closingTheWindowEndsTheProgram();
    void cleanupTestCase();

private:
    QImage screenshot() const { return m_desktop.screenshot(); }
    bool xdotool(const QStringList &arguments) const { return m_desktop.xdotool(arguments); }

    DesktopSession m_desktop;
    QProcess m_program;
    QString m_window;
};

void TestEndToEnd::initTestCase()
{
    QVERIFY2(m_desktop.failure().isEmpty(), qPrintable(m_desktop.failure()));
    const auto window = m_desktop.launch(m_program);
    QVERIFY2(window, "the window never appeared");
    m_window = *window;
    QVERIFY(xdotool({QStringLiteral("windowfocus"), QStringLiteral("--sync"), m_window}));
}

void TestEndToEnd::windowOpensAsDesigned()
{
    QCOMPARE(m_desktop.clientGeometry(m_window), QRect(WindowOrigin, WindowSize));

    const QImage screen = screenshot();
    QVERIFY(!screen.isNull());
    screen.copy(QRect(WindowOrigin, WindowSize)).save(QStringLiteral(SCREENSHOT_PATH));
    // An empty heading cell and the empty chord cell below it (column 1 of
    // the natural grid), and the greyed Play buttons.
    const QRgb heading = screen.pixel(WindowOrigin + QPoint(8 + 2 + 74 + 36, 104 + 2 + 12));
    const QRgb chord = screen.pixel(WindowOrigin + QPoint(8 + 2 + 74 + 36, 104 + 2 + 37));
    QCOMPARE(chord, qRgb(255, 255, 255));
    QVERIFY(heading != chord);
    QVERIFY(!isPlayAvailable(screen, Harmonic));
}

void TestEndToEnd::typingAKeyFillsTheGrids()
{
    // The focus starts in the first grid; the selector is three Tabs on,
    // and arrives with its text selected, so "m" completes the first key
    // that begins with it, "Mi Menor - 1 Sustenido".
    QVERIFY(xdotool({QStringLiteral("key"), QStringLiteral("--delay"), QStringLiteral("50"),
                     QStringLiteral("Tab"), QStringLiteral("Tab"), QStringLiteral("Tab"), QStringLiteral("m")}));
    QImage screen;
    const QDeadlineTimer deadline(5000);
    do {
        QThread::msleep(100);
        screen = screenshot();
    } while (!isPlayAvailable(screen, Harmonic) && !deadline.hasExpired());
    QVERIFY2(isPlayAvailable(screen, Harmonic), "Play never became available");

    // Ink in the natural grid's first chord cell: "Mi Menor".
    int ink = 0;
    for (int x = 0; x < 60; ++x)
        for (int y = 0; y < 14; ++y)
            ink += qGray(screen.pixel(WindowOrigin + QPoint(8 + 2 + 2 + x, 104 + 2 + 27 + y))) < 128;
    QVERIFY(ink > 20);
}

void TestEndToEnd::playSoundsTheHarmonicScale()
{
    MonitorRecorder recorder(m_desktop);
    QVERIFY(recorder.start());

    // What has been recorded before the click is taken as the click's
    // moment: nothing heard before it counts.
    const std::size_t clickSample = recorder.samplesSoFar();
    const QPoint player = WindowOrigin + playerRect(Harmonic).center();
    QVERIFY(xdotool({QStringLiteral("mousemove"), QString::number(player.x()), QString::number(player.y()),
                     QStringLiteral("click"), QStringLiteral("1")}));
    QThread::msleep(400);
    QVERIFY2(!isPlayAvailable(screenshot(), Harmonic), "Play stayed available while playing");

    // Fifteen notes, the last held for two beats.
    const QDeadlineTimer deadline(20000);
    while (!isPlayAvailable(screenshot(), Harmonic) && !deadline.hasExpired())
        QThread::msleep(200);
    QVERIFY2(!deadline.hasExpired(), "Play never came back after the scale");
    // The recording trails what is played; give the last note time to land.
    QThread::msleep(1000);
    const Recording recording = recorder.stop();

    // How soon the sound follows the click is the benchmarks' business
    // (scripts/bench); here it must follow it, and be the right scale.
    const QString wrong = notTheEHarmonicMinorScale(recording, clickSample);
    QVERIFY2(wrong.isEmpty(), qPrintable(wrong));
}

void TestEndToEnd::closingTheWindowEndsTheProgram()
{
    QVERIFY(m_desktop.run(QStringLiteral(XWINDOW_PATH), {QStringLiteral("close"), m_window}));
    QVERIFY(m_program.waitForFinished(10000));
    QCOMPARE(m_program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(m_program.exitCode(), 0);
}

void TestEndToEnd::cleanupTestCase()
{
    if (m_program.state() != QProcess::NotRunning) {
        m_program.kill();
        m_program.waitForFinished(3000);
    }
}

QTEST_GUILESS_MAIN(TestEndToEnd)
#include "tst_endtoend.moc"
