// The real program on a private desktop whose sound server goes away and
// comes back, as PulseAudio does when it crashes or is restarted. Play
// becomes available again by itself when the server goes in the middle of a
// scale, and the first press once the server is back sounds the whole
// scale; a press sounds again after the server went while nothing played;
// a press while no server answers shows one error box and leaves Play
// available; and a server that hangs rather than goes holds neither the
// window nor its closing.

#include "tests/e2e/audioanalysis.h"
#include "tests/e2e/desktopsession.h"
#include "tests/e2e/programscreen.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTest>
#include <QThread>

#include <algorithm>
#include <functional>

namespace {

// Long enough for the program to notice that the server has gone, even when
// it went before the program's output had begun to flow, which an idle null
// sink can hold back for two seconds.
constexpr int NoticeTime = 4000;

} // namespace

class TestSoundServer : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void killedWhileAScalePlays();
    void restartedWhileNothingPlays();
    void goneAtAPress();
    void hungWhileAScalePlays();
    void cleanupTestCase();

private:
    bool playAvailable(int form = Harmonic) const;
    bool waitFor(const std::function<bool()> &condition, int timeoutMs, int pollMs = 50) const;
    void click(QPoint inWindow) const;
    void clickPlay(int form = Harmonic) const;
    bool hangSoundServerUnderAScale(int playingMs);
    void verifyPressSounds(bool wholeScale);
    std::optional<QString> errorBox(int timeoutMs) const;
    void restartSoundServer();

    DesktopSession m_desktop;
    QProcess m_program;
    QString m_window;
};

bool TestSoundServer::playAvailable(int form) const
{
    return isPlayAvailable(m_desktop.screenshot(), form);
}

bool TestSoundServer::waitFor(const std::function<bool()> &condition, int timeoutMs, int pollMs) const
{
    const QDeadlineTimer deadline(timeoutMs);
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        QThread::msleep(pollMs);
    }
    return true;
}

void TestSoundServer::click(QPoint inWindow) const
{
    const QPoint point = WindowOrigin + inWindow;
    QVERIFY(m_desktop.run(QStringLiteral("xdotool"),
                          {QStringLiteral("mousemove"), QString::number(point.x()), QString::number(point.y()),
                           QStringLiteral("click"), QStringLiteral("1")}));
}

void TestSoundServer::clickPlay(int form) const
{
    click(playerRect(form).center());
}

// The id of the error box once it is shown, or nothing.
std::optional<QString> TestSoundServer::errorBox(int timeoutMs) const
{
    // Its caption is the application's title: the program file's name, cut
    // at its first dot, in lower case after the first letter.
    const QString name = QFileInfo(QStringLiteral(QUIRALTO_PATH)).baseName();
    const QString title = name.left(1) + name.mid(1).toLower();
    const auto box = m_desktop.run(QStringLiteral(XWINDOW_PATH),
                                   {QStringLiteral("wait-map"), title, QString::number(timeoutMs)}, timeoutMs + 5000);
    if (!box)
        return std::nullopt;
    return QString::fromLatin1(box->trimmed());
}

// A server just started settles in before a user's next press, as it does
// while the user reaches for Play.
void TestSoundServer::restartSoundServer()
{
    QVERIFY2(m_desktop.startSoundServer(), qPrintable(m_desktop.failure()));
    QThread::msleep(2000);
}

// A click on Play greys it, sound is heard, and Play comes back when the
// scale has played; with \a wholeScale, every note of the harmonic scale is
// heard in its order. (A machine so busy that the sound stutters can cost a
// note: the check by pitch is made where it matters most.)
void TestSoundServer::verifyPressSounds(bool wholeScale)
{
    MonitorRecorder recorder(m_desktop);
    QVERIFY2(recorder.start(), "nothing can be recorded from the sound server");
    const std::size_t clickSample = recorder.samplesSoFar();
    clickPlay();
    QVERIFY2(waitFor([this] { return !playAvailable(); }, 2000), "Play did not grey");
    // Screenshots are costly: taken seldom, they leave the audio thread the machine.
    QVERIFY2(waitFor([this] { return playAvailable(); }, 20000, 500), "Play never came back after the scale");
    // The recording trails what is played; give the last note time to land.
    QThread::msleep(1000);
    const Recording recording = recorder.stop();

    const auto onset = firstSoundAfter(recording, clickSample, 0.003f);
    QVERIFY2(onset, "nothing was heard");
    if (!wholeScale)
        return;
    const QString wrong = notTheEHarmonicMinorScale(recording, clickSample);
    QVERIFY2(wrong.isEmpty(), qPrintable(wrong));
}

// The sound server stops answering \a playingMs into the harmonic scale;
// true when Play greyed at the press and came back by itself.
bool TestSoundServer::hangSoundServerUnderAScale(int playingMs)
{
    clickPlay();
    if (!waitFor([this] { return !playAvailable(); }, 2000))
        return false;
    QThread::msleep(playingMs);
    return m_desktop.suspendSoundServer() && waitFor([this] { return playAvailable(); }, 5000);
}

void TestSoundServer::initTestCase()
{
    QVERIFY2(m_desktop.failure().isEmpty(), qPrintable(m_desktop.failure()));
    const auto window = m_desktop.launch(m_program);
    QVERIFY2(window, "the window never appeared");
    m_window = *window;
    QVERIFY(m_desktop.run(QStringLiteral("xdotool"), {QStringLiteral("windowfocus"), QStringLiteral("--sync"), m_window}));
    // The selector is three Tabs on from the first grid; "m" chooses
    // "Mi Menor - 1 Sustenido".
    QVERIFY(m_desktop.run(QStringLiteral("xdotool"),
                          {QStringLiteral("key"), QStringLiteral("--delay"), QStringLiteral("50"), QStringLiteral("Tab"),
                           QStringLiteral("Tab"), QStringLiteral("Tab"), QStringLiteral("m")}));
    if (!waitFor([this] { return playAvailable(); }, 5000)) {
        // Tells a sound server that refused the output from keys that went astray.
        QFAIL(errorBox(500) ? "choosing a key showed an error box, and Play stayed unavailable"
                            : "choosing a key did not make Play available, and no error box came");
    }
}

void TestSoundServer::killedWhileAScalePlays()
{
    // GIVEN the harmonic scale playing for a second and a half
    clickPlay();
    QVERIFY2(waitFor([this] { return !playAvailable(); }, 2000), "Play did not grey");
    QThread::msleep(1500);

    // WHEN the sound server is killed
    QElapsedTimer sinceKill;
    sinceKill.start();
    QVERIFY(m_desktop.killSoundServer());

    // THEN Play comes back by itself, long before the scale would have ended
    // (the figure is printed; a second is what the program aims at)
    QVERIFY2(waitFor([this] { return playAvailable(); }, 5000), "Play stayed grey after the server went");
    qInfo("Play available again %lld ms after the sound server was killed", sinceKill.elapsed());

    // AND once the server is back, the next press sounds the whole scale
    QThread::msleep(1000);
    restartSoundServer();
    verifyPressSounds(true);
}

void TestSoundServer::restartedWhileNothingPlays()
{
    QVERIFY(playAvailable());
    QVERIFY(m_desktop.killSoundServer());
    QThread::msleep(NoticeTime);
    restartSoundServer();

    QVERIFY(playAvailable());
    verifyPressSounds(false);
}

void TestSoundServer::goneAtAPress()
{
    QVERIFY(m_desktop.killSoundServer());
    QThread::msleep(NoticeTime);

    // Every press shows one box, and leaves Play available.
    for (int press = 1; press <= 2; ++press) {
        clickPlay();
        const auto box = errorBox(5000);
        QVERIFY2(box, "no error box");
        QVERIFY(playAvailable());
        QVERIFY(m_desktop.run(QStringLiteral(XWINDOW_PATH), {QStringLiteral("close"), *box}));
        QVERIFY2(waitFor([this] { return !errorBox(0); }, 5000), "the error box did not close");
        QVERIFY2(!errorBox(1500), "a second error box came for one press");
        QVERIFY(playAvailable());
    }

    // Once a server answers again, the next press plays.
    restartSoundServer();
    verifyPressSounds(false);
}

void TestSoundServer::hungWhileAScalePlays()
{
    // GIVEN the harmonic scale playing for a second and a half, when the
    // sound server stops answering: Play comes back by itself
    QVERIFY(playAvailable());
    QVERIFY2(hangSoundServerUnderAScale(1500), "Play did not grey, or stayed grey after the server hung");

    // WHEN another Play is pressed
    QElapsedTimer sincePress;
    sincePress.start();
    clickPlay(Natural);

    // THEN the window still answers: a click toggles the headings at once
    const QRect headings = headingRowRect(Natural).translated(WindowOrigin);
    const QImage before = m_desktop.screenshot().copy(headings);
    click(cellRect(Natural, 0, ChordRow).center());
    const QImage after = screenWhen(m_desktop, [&](const QImage &screen) { return screen.copy(headings) != before; }, 1000);
    QVERIFY2(after.copy(headings) != before, "the window did not answer a click while the server hung");

    // AND the error box of a missing output comes within two seconds of the
    // press, with Play available
    const auto box = errorBox(int(std::max<qint64>(0, 2000 - sincePress.elapsed())));
    QVERIFY2(box, "no error box within two seconds of the press");
    qInfo("error box %lld ms after the press", sincePress.elapsed());
    QVERIFY(playAvailable(Natural));
    QVERIFY(m_desktop.run(QStringLiteral(XWINDOW_PATH), {QStringLiteral("close"), *box}));
    QVERIFY2(waitFor([this] { return !errorBox(0); }, 5000), "the error box did not close");

    // AND once the server wakes, the next press sounds
    QVERIFY(m_desktop.resumeSoundServer());
    verifyPressSounds(false);

    // AND with the server hung under a scale again, closing the window ends
    // the program within two seconds, as a success
    QVERIFY2(hangSoundServerUnderAScale(1000), "Play did not grey, or stayed grey after the server hung");
    QElapsedTimer sinceClose;
    sinceClose.start();
    QVERIFY(m_desktop.run(QStringLiteral(XWINDOW_PATH), {QStringLiteral("close"), m_window}));
    const bool ended = m_program.waitForFinished(2000);
    qInfo("program ended %lld ms after its window was closed", sinceClose.elapsed());
    QVERIFY(m_desktop.resumeSoundServer());
    QVERIFY2(ended, "the program outlived its window while the server hung");
    QCOMPARE(m_program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(m_program.exitCode(), 0);
}

void TestSoundServer::cleanupTestCase()
{
    if (m_program.state() == QProcess::NotRunning)
        return;
    m_desktop.run(QStringLiteral(XWINDOW_PATH), {QStringLiteral("close"), m_window});
    if (!m_program.waitForFinished(10000)) {
        m_program.kill();
        m_program.waitForFinished(3000);
    }
}

QTEST_GUILESS_MAIN(TestSoundServer)
#include "tst_soundserver.moc"
