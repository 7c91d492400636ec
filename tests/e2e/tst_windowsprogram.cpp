// Quiralto for Windows, from its folder as it is shipped, under Wine on a
// private desktop, used as a student would: the folder lies where a user's
// folders do, under a name with accents; the window opens with its title
// and size, a typed key makes Play available, Play sounds the scale, and
// Alt+F4 ends the program as a user's close does.
//
// The program is the folder QUIRALTO_WINDOWS_FOLDER names, copied, or the
// installed QUIRALTO_INSTALLED_PROGRAM, started in QUIRALTO_INSTALLED_FOLDER;
// either in the Wine prefix WINEPREFIX names. Without one the test is
// skipped.

#include "tests/e2e/audioanalysis.h"
#include "tests/e2e/desktopsession.h"
#include "tests/e2e/programscreen.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <cstdio>

// Wine starts its own services with the first program of a prefix.
constexpr int WineStartMs = 60000;

class TestWindowsProgram : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void windowOpensWithItsTitleAndSize();
    void typingAKeyMakesPlayAvailable();
    void playSoundsTheHarmonicScale();
    void altF4EndsTheProgram();
    void cleanupTestCase();

private:
    bool xdotool(const QStringList &arguments) const { return m_desktop.xdotool(arguments); }
    bool harmonicPlayAvailable() const { return isPlayAvailable(m_desktop.screenshot(), Harmonic, m_origin); }
    bool waitFor(bool (TestWindowsProgram::*condition)() const, bool wanted, int timeoutMs) const;
    static void endWineServer();

    DesktopSession m_desktop;
    QTemporaryDir m_home;
    QProcess m_program;
    QString m_window;
    QPoint m_origin;
};

bool TestWindowsProgram::waitFor(bool (TestWindowsProgram::*condition)() const, bool wanted, int timeoutMs) const
{
    const QDeadlineTimer deadline(timeoutMs);
    while ((this->*condition)() != wanted) {
        if (deadline.hasExpired())
            return false;
        QThread::msleep(200);
    }
    return true;
}

void TestWindowsProgram::initTestCase()
{
    QVERIFY2(m_desktop.failure().isEmpty(), qPrintable(m_desktop.failure()));
    // The installer's test runs the program it installed, in the folder its
    // shortcut starts it in.
    QString program = qEnvironmentVariable("QUIRALTO_INSTALLED_PROGRAM");
    QString folder = qEnvironmentVariable("QUIRALTO_INSTALLED_FOLDER");
    if (program.isEmpty()) {
        // The SoundFont is found by the program's own path, which must
        // survive the characters of a Portuguese user's folders.
        program = QStringLiteral("quiralto.exe");
        folder = m_home.filePath(QStringLiteral("Área de Trabalho/Músicas Ção"));
        QVERIFY(QDir().mkpath(QFileInfo(folder).path()));
        QCOMPARE(QProcess::execute(QStringLiteral("cp"), {QStringLiteral("-al"), qEnvironmentVariable("QUIRALTO_WINDOWS_FOLDER"), folder}), 0);
    }

    // Wine shows every program of a prefix on the X display its server
    // started with: a server left from another display has to go first.
    endWineServer();
    QProcessEnvironment environment = m_desktop.environment();
    // The desktop's choice of Qt platform is Linux's: the program takes Windows'.
    environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
    const auto window = m_desktop.launch(m_program, environment, QStringLiteral(WINE_RUN), {program}, folder, WineStartMs);
    QVERIFY2(window, "the window never appeared");
    m_window = *window;
    m_origin = m_desktop.clientGeometry(m_window).topLeft();
    QVERIFY(xdotool({QStringLiteral("windowfocus"), QStringLiteral("--sync"), m_window}));
}

void TestWindowsProgram::windowOpensWithItsTitleAndSize()
{
    // Found by its title when it appeared; its size is the design's at 96
    // pixels per inch, which MS Sans Serif's 13-pixel text keeps unscaled.
    QCOMPARE(m_desktop.clientGeometry(m_window).size(), WindowSize);
    QVERIFY(!harmonicPlayAvailable());
}

void TestWindowsProgram::typingAKeyMakesPlayAvailable()
{
    QVERIFY(xdotool({QStringLiteral("key"), QStringLiteral("--delay"), QStringLiteral("50"),
                     QStringLiteral("Tab"), QStringLiteral("Tab"), QStringLiteral("Tab"), QStringLiteral("m")}));
    QVERIFY2(waitFor(&TestWindowsProgram::harmonicPlayAvailable, true, 10000), "Play never became available");
}

void TestWindowsProgram::playSoundsTheHarmonicScale()
{
    MonitorRecorder recorder(m_desktop);
    QVERIFY2(recorder.start(), "nothing can be recorded from the sound server");
    const std::size_t clickSample = recorder.samplesSoFar();
    const QPoint player = m_origin + playerRect(Harmonic).center();
    QVERIFY(xdotool({QStringLiteral("mousemove"), QString::number(player.x()), QString::number(player.y()),
                     QStringLiteral("click"), QStringLiteral("1")}));
    QVERIFY2(waitFor(&TestWindowsProgram::harmonicPlayAvailable, false, 3000), "Play did not grey");
    QVERIFY2(waitFor(&TestWindowsProgram::harmonicPlayAvailable, true, 20000), "Play never came back after the scale");
    // The recording trails what is played; give the last note time to land.
    QThread::msleep(1000);
    const Recording recording = recorder.stop();

    // Wine's small sound buffers may drop a block on a busy machine: the
    // notes are checked by pitch and order, not by timing.
    const QString wrong = notTheEHarmonicMinorScale(recording, clickSample);
    QVERIFY2(wrong.isEmpty(), qPrintable(wrong));
}

void TestWindowsProgram::altF4EndsTheProgram()
{
    QVERIFY(xdotool({QStringLiteral("windowfocus"), QStringLiteral("--sync"), m_window}));
    QVERIFY(xdotool({QStringLiteral("key"), QStringLiteral("alt+F4")}));
    QVERIFY(m_program.waitForFinished(15000));
    QCOMPARE(m_program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(m_program.exitCode(), 0);
}

void TestWindowsProgram::endWineServer()
{
    QProcess server;
    server.start(QStringLiteral("wineserver"), {QStringLiteral("-k")});
    server.waitForFinished(10000);
}

// A Windows program outlives the Wine process that started it when that is
// ended: the prefix's Wine server ends them all.
void TestWindowsProgram::cleanupTestCase()
{
    stopProcess(m_program);
    endWineServer();
}

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QUIRALTO_WINDOWS_FOLDER") && qEnvironmentVariableIsEmpty("QUIRALTO_INSTALLED_PROGRAM")) {
        std::puts("SKIP: no Windows program named (scripts/windows names it)");
        return 77;
    }
    QCoreApplication application(argc, argv);
    TestWindowsProgram test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_windowsprogram.moc"
