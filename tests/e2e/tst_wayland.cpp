// The real program started on a Wayland desktop, a headless weston, with
// and without an X display beside it: where there is one and the user has
// chosen no platform, it runs on X11 and places its window there; when the
// user chose Wayland, or there is no X display, it runs as a Wayland client
// and draws its window there. Where there is no desktop at all, it says so.

#include "tests/e2e/desktopsession.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

namespace {

const QString WaylandSocket = QStringLiteral("quiralto-e2e");
// As the client's Wayland protocol log shows the title it gives its window.
const QByteArray WaylandTitleRequest = "set_title(\"Quiralto - Vers\xc3\xa3o 1.0\")";
const QString XWindowTitle = QStringLiteral("^Quiralto - Vers");

} // namespace

class TestWayland : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void cleanupTestCase();

    void runsWhereTheDesktopAllows_data();
    void runsWhereTheDesktopAllows();
    void saysSoWhereThereIsNoDesktop_data();
    void saysSoWhereThereIsNoDesktop();

private:
    QProcessEnvironment programEnvironment(bool xDisplay, const QString &platform) const;
    QImage waylandScreenshot() const;

    DesktopSession m_desktop;
    QTemporaryDir m_waylandRuntime;
    QProcess m_compositor;
    QProcess m_program;
};

void TestWayland::initTestCase()
{
    QVERIFY2(m_desktop.failure().isEmpty(), qPrintable(m_desktop.failure()));
    QVERIFY(m_waylandRuntime.isValid());
    QVERIFY(QFile::setPermissions(m_waylandRuntime.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));

    // The pixman renderer, so that the screen can be read back; --debug
    // lets the screenshot client do that.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_waylandRuntime.path());
    environment.remove(QStringLiteral("DISPLAY"));
    environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
    m_compositor.setProcessEnvironment(environment);
    m_compositor.setProcessChannelMode(QProcess::MergedChannels);
    m_compositor.setStandardOutputFile(m_waylandRuntime.filePath(QStringLiteral("weston.log")));
    m_compositor.start(QStringLiteral("weston"),
                       {QStringLiteral("--backend=headless-backend.so"), QStringLiteral("--use-pixman"),
                        QStringLiteral("--socket=") + WaylandSocket, QStringLiteral("--width=1280"),
                        QStringLiteral("--height=720"), QStringLiteral("--idle-time=0"), QStringLiteral("--debug")});
    QVERIFY(m_compositor.waitForStarted(5000));
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(m_waylandRuntime.filePath(WaylandSocket)), 10000);
}

void TestWayland::cleanup()
{
    if (m_program.state() != QProcess::NotRunning) {
        m_program.kill();
        m_program.waitForFinished(3000);
    }
}

void TestWayland::cleanupTestCase()
{
    m_compositor.terminate();
    if (!m_compositor.waitForFinished(5000))
        m_compositor.kill();
}

// A desktop session's environment: the Wayland display always, the X
// display (XWayland on a real desktop, Xvfb here) only where asked.
QProcessEnvironment TestWayland::programEnvironment(bool xDisplay, const QString &platform) const
{
    QProcessEnvironment environment = m_desktop.environment();
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_waylandRuntime.path());
    environment.insert(QStringLiteral("WAYLAND_DISPLAY"), WaylandSocket);
    environment.insert(QStringLiteral("XDG_SESSION_TYPE"), QStringLiteral("wayland"));
    // The client's side of the Wayland protocol, on its standard error.
    environment.insert(QStringLiteral("WAYLAND_DEBUG"), QStringLiteral("client"));
    environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
    if (!platform.isEmpty())
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), platform);
    if (!xDisplay)
        environment.remove(QStringLiteral("DISPLAY"));
    return environment;
}

QImage TestWayland::waylandScreenshot() const
{
    QTemporaryDir folder;
    QProcess shooter;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_waylandRuntime.path());
    environment.insert(QStringLiteral("WAYLAND_DISPLAY"), WaylandSocket);
    shooter.setProcessEnvironment(environment);
    shooter.setWorkingDirectory(folder.path());
    shooter.start(QStringLiteral("weston-screenshooter"), {});
    if (!shooter.waitForFinished(10000)) {
        shooter.kill();
        shooter.waitForFinished(1000);
        return {};
    }
    const QStringList shots = QDir(folder.path()).entryList({QStringLiteral("*.png")});
    return shots.isEmpty() ? QImage() : QImage(folder.filePath(shots.first())).convertToFormat(QImage::Format_RGB32);
}

void TestWayland::runsWhereTheDesktopAllows_data()
{
    QTest::addColumn<bool>("xDisplay");
    QTest::addColumn<QString>("platform");
    QTest::addColumn<bool>("onWayland");
    QTest::newRow("X display beside Wayland") << true << QString() << false;
    QTest::newRow("Wayland alone") << false << QString() << true;
    QTest::newRow("Wayland chosen by the user") << true << QStringLiteral("wayland") << true;
}

void TestWayland::runsWhereTheDesktopAllows()
{
    QFETCH(bool, xDisplay);
    QFETCH(QString, platform);
    QFETCH(bool, onWayland);

    m_program.setProcessEnvironment(programEnvironment(xDisplay, platform));
    m_program.setWorkingDirectory(QStringLiteral(SCALES_DIR));
    m_program.start(QStringLiteral(QUIRALTO_PATH), {});
    QVERIFY(m_program.waitForStarted(5000));
    QByteArray protocol;
    const auto readProtocol = [&] {
        protocol += m_program.readAllStandardError();
        return protocol;
    };

    if (!onWayland) {
        const auto window = m_desktop.run(QStringLiteral("xdotool"),
                                          {QStringLiteral("search"), QStringLiteral("--sync"),
                                           QStringLiteral("--onlyvisible"), QStringLiteral("--name"), XWindowTitle},
                                          30000);
        QVERIFY2(window, "no window on the X display");
        const QString info = QString::fromLatin1(
            m_desktop.run(QStringLiteral("xwininfo"), {QStringLiteral("-id"), QString::fromLatin1(window->trimmed())})
                .value_or(QByteArray()));
        QVERIFY2(info.contains(QRegularExpression(QStringLiteral("Absolute upper-left X:\\s+196\\s")))
                     && info.contains(QRegularExpression(QStringLiteral("Absolute upper-left Y:\\s+107\\s"))),
                 qPrintable(info));
        // Not a word with the compositor.
        QVERIFY2(!readProtocol().contains("wl_display"), protocol.left(2000).constData());
        return;
    }

    QTRY_VERIFY_WITH_TIMEOUT(readProtocol().contains(WaylandTitleRequest), 30000);
    // Its designed size, which the compositor cannot change.
    QVERIFY(protocol.contains("set_min_size(981, 479)"));
    QVERIFY(protocol.contains("set_max_size(981, 479)"));
    // Drawn: the three chord rows, white, are on the compositor's screen.
    QImage screen;
    int white = 0;
    const QDeadlineTimer deadline(10000);
    while (white < 3 * 12 * 70 * 20 && !deadline.hasExpired()) {
        QThread::msleep(200);
        screen = waylandScreenshot();
        white = 0;
        for (int y = 0; y < screen.height(); ++y)
            for (int x = 0; x < screen.width(); ++x)
                white += screen.pixel(x, y) == qRgb(255, 255, 255);
    }
    QVERIFY2(white >= 3 * 12 * 70 * 20, qPrintable(QStringLiteral("%1 white pixels").arg(white)));
    if (xDisplay) {
        // Nothing of it on the X display.
        QVERIFY(!m_desktop.run(QStringLiteral("xdotool"),
                               {QStringLiteral("search"), QStringLiteral("--name"), XWindowTitle}));
    }
    QCOMPARE(m_program.state(), QProcess::Running);
}

void TestWayland::saysSoWhereThereIsNoDesktop_data()
{
    QTest::addColumn<QStringList>("settings");
    QTest::addColumn<QString>("said");
    QTest::addColumn<QString>("qtSaid");
    const QString noDisplay = QStringLiteral("quiralto: precisa de um ambiente gráfico (DISPLAY ou WAYLAND_DISPLAY), e não há nenhum.");
    const QString notStarted = QStringLiteral("quiralto: o ambiente gráfico não pôde ser iniciado.");
    QTest::newRow("from a text console") << QStringList() << noDisplay << QString();
    QTest::newRow("an X display that is not there")
        << QStringList{QStringLiteral("DISPLAY=:97")}
        << QStringLiteral("quiralto: precisa de um ambiente gráfico, e a tela \":97\" não pôde ser aberta.") << QString();
    QTest::newRow("a Wayland display that is not there")
        << QStringList{QStringLiteral("WAYLAND_DISPLAY=none")}
        << QStringLiteral("quiralto: precisa de um ambiente gráfico, e a tela \"none\" não pôde ser aberta.") << QString();
    // The display is fine, and Wayland, which has none, is only the fallback.
    const QString plugin = QStringLiteral("QT_QPA_PLATFORM=quiralto-nenhuma");
    const QString display = QStringLiteral("DISPLAY=") + m_desktop.environment().value(QStringLiteral("DISPLAY"));
    QTest::newRow("a platform plugin that is not there, beside a display")
        << QStringList{display, plugin + QStringLiteral(";wayland")} << notStarted << QStringLiteral("\"quiralto-nenhuma\"");
    QTest::newRow("a platform plugin that is not there, and no display")
        << QStringList{plugin} << notStarted << QStringLiteral("\"quiralto-nenhuma\"");
}

void TestWayland::saysSoWhereThereIsNoDesktop()
{
    QFETCH(QStringList, settings);
    QFETCH(QString, said);
    QFETCH(QString, qtSaid);
    // The runtime folder holds no display of the name Wayland tries unbidden.
    QProcessEnvironment environment = m_desktop.environment();
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_waylandRuntime.path());
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        environment.remove(QString::fromLatin1(name));
    for (const QString &setting : settings)
        environment.insert(setting.section(u'=', 0, 0), setting.section(u'=', 1));
    m_program.setProcessEnvironment(environment);
    m_program.start(QStringLiteral(QUIRALTO_PATH), {});
    QVERIFY(m_program.waitForFinished(30000));
    QCOMPARE(m_program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(m_program.exitCode(), 1);
    // The program's one line; Qt's own account after it only where the
    // display is not to blame.
    const QString errors = QString::fromUtf8(m_program.readAllStandardError());
    QVERIFY2(errors.startsWith(said + u'\n'), qPrintable(errors));
    QVERIFY2(qtSaid.isEmpty() ? errors.count(u'\n') == 1
                              : errors.contains(qtSaid) && errors.contains(u"no Qt platform plugin could be initialized"),
             qPrintable(errors));
}

QTEST_GUILESS_MAIN(TestWayland)
#include "tst_wayland.moc"
