#include "tests/e2e/desktopsession.h"
#include "tests/e2e/programscreen.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QRegularExpression>
#include <QThread>

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

DesktopSession::DesktopSession(ServerState serverState)
{
    if (!m_runtime.isValid())
        m_failure = QStringLiteral("no temporary folder");
    else if (startX(serverState))
        startSoundServer();
}

DesktopSession::~DesktopSession()
{
    for (QProcess *server : {&m_windowManager, &m_pulse, &m_x})
        stopProcess(*server);
}

void stopProcess(QProcess &process)
{
    if (process.state() == QProcess::NotRunning)
        return;
    process.terminate();
    if (!process.waitForFinished(3000)) {
        process.kill();
        process.waitForFinished(3000);
    }
}

bool DesktopSession::startWindowManager()
{
    m_windowManager.setProcessEnvironment(environment());
    m_windowManager.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_windowManager.setStandardOutputFile(QProcess::nullDevice());
    m_windowManager.start(QStringLiteral("openbox"), {});
    if (!m_windowManager.waitForStarted(5000))
        return false;
    // A window manager names a window of its own on the root window; one
    // named by a manager that has gone is gone with it.
    const QDeadlineTimer deadline(10000);
    while (!deadline.hasExpired() && !m_windowManager.waitForFinished(50)) {
        const QRegularExpressionMatch id =
            QRegularExpression(QStringLiteral("# (0x[0-9a-f]+)"))
                .match(QString::fromLatin1(run(QStringLiteral("xprop"), {QStringLiteral("-root"), QStringLiteral("-notype"),
                                                                         QStringLiteral("_NET_SUPPORTING_WM_CHECK")})
                                               .value_or(QByteArray())));
        if (id.hasMatch() && run(QStringLiteral("xprop"), {QStringLiteral("-id"), id.captured(1), QStringLiteral("_NET_WM_NAME")}))
            return true;
    }
    return false;
}

void DesktopSession::stopWindowManager()
{
    stopProcess(m_windowManager);
}

QRect DesktopSession::clientGeometry(const QString &window) const
{
    const QString info = QString::fromLatin1(
        run(QStringLiteral("xwininfo"), {QStringLiteral("-id"), window}).value_or(QByteArray()));
    const auto field = [&](const QString &name) -> std::optional<int> {
        const QRegularExpressionMatch match = QRegularExpression(name + QStringLiteral(":\\s+(-?\\d+)")).match(info);
        return match.hasMatch() ? std::optional(match.captured(1).toInt()) : std::nullopt;
    };
    const auto x = field(QStringLiteral("Absolute upper-left X"));
    const auto y = field(QStringLiteral("Absolute upper-left Y"));
    const auto width = field(QStringLiteral("Width"));
    const auto height = field(QStringLiteral("Height"));
    if (!x || !y || !width || !height)
        return {};
    return QRect(*x, *y, *width, *height);
}

// Xvfb picks a free display itself and writes its number to the descriptor
// given with -displayfd, which here is the write end of a pipe.
bool DesktopSession::startX(ServerState serverState)
{
    int pipeEnds[2];
    if (pipe(pipeEnds) != 0) {
        m_failure = QStringLiteral("no pipe for Xvfb");
        return false;
    }
    m_x.setChildProcessModifier([writeEnd = pipeEnds[1]] { fcntl(writeEnd, F_SETFD, 0); });
    m_x.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QStringList arguments = {QStringLiteral("-displayfd"), QString::number(pipeEnds[1]),
                             QStringLiteral("-screen"), QStringLiteral("0"), QStringLiteral("1280x720x24"),
                             QStringLiteral("-nolisten"), QStringLiteral("tcp")};
    if (serverState == ServerState::Kept)
        arguments << QStringLiteral("-noreset");
    m_x.start(QStringLiteral("Xvfb"), arguments);
    close(pipeEnds[1]);
    QFile numbers;
    numbers.open(pipeEnds[0], QIODevice::ReadOnly, QFileDevice::AutoCloseHandle);
    const QByteArray number = numbers.readLine().trimmed();
    if (!m_x.waitForStarted(5000) || number.isEmpty()) {
        m_failure = QStringLiteral("Xvfb did not start");
        return false;
    }
    m_display = QStringLiteral(":") + QString::fromLatin1(number);
    return true;
}

bool DesktopSession::startSoundServer()
{
    const QString socket = m_runtime.filePath(QStringLiteral("pulse.sock"));
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("HOME"), m_runtime.path());
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_runtime.path());
    environment.insert(QStringLiteral("PULSE_RUNTIME_PATH"), m_runtime.path());
    m_pulse.setProcessEnvironment(environment);
    m_pulse.setProcessChannelMode(QProcess::MergedChannels);
    // A server started again writes on after the one that was killed.
    m_pulse.setStandardOutputFile(m_runtime.filePath(QStringLiteral("pulse.log")), QIODevice::Append);
    m_pulse.start(QStringLiteral("pulseaudio"),
                  {QStringLiteral("--daemonize=no"), QStringLiteral("--system=no"),
                   QStringLiteral("--exit-idle-time=-1"), QStringLiteral("-n"),
                   QStringLiteral("--load=module-null-sink sink_name=quiralto_e2e"),
                   QStringLiteral("--load=module-native-protocol-unix auth-anonymous=1 socket=") + socket});
    if (!m_pulse.waitForStarted(5000)) {
        m_failure = QStringLiteral("pulseaudio did not start");
        return false;
    }
    // A killed server leaves its socket behind, which answers nothing until
    // the new server has taken it over.
    const QDeadlineTimer deadline(10000);
    while (!deadline.hasExpired()) {
        if (QFile::exists(socket) && run(QStringLiteral("pactl"), {QStringLiteral("info")}))
            return true;
        QThread::msleep(50);
    }
    m_failure = QStringLiteral("pulseaudio did not answer");
    return false;
}

bool DesktopSession::killSoundServer()
{
    m_pulse.kill();
    return m_pulse.waitForFinished(5000);
}

bool DesktopSession::suspendSoundServer()
{
    return m_pulse.state() == QProcess::Running && kill(pid_t(m_pulse.processId()), SIGSTOP) == 0;
}

bool DesktopSession::resumeSoundServer()
{
    return m_pulse.state() == QProcess::Running && kill(pid_t(m_pulse.processId()), SIGCONT) == 0;
}

QProcessEnvironment DesktopSession::environment() const
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DISPLAY"), m_display);
    environment.insert(QStringLiteral("PULSE_SERVER"),
                       QStringLiteral("unix:") + m_runtime.filePath(QStringLiteral("pulse.sock")));
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
    return environment;
}

std::optional<QByteArray> DesktopSession::run(const QString &program, const QStringList &arguments, int timeoutMs) const
{
    QProcess process;
    process.setProcessEnvironment(environment());
    process.start(program, arguments);
    if (!process.waitForFinished(timeoutMs) || process.exitStatus() != QProcess::NormalExit
        || process.exitCode() != 0)
        return std::nullopt;
    return process.readAllStandardOutput();
}

std::optional<QString> DesktopSession::launch(QProcess &process) const
{
    return launch(process, environment());
}

std::optional<QString> DesktopSession::launch(QProcess &process, const QProcessEnvironment &environment) const
{
    return launch(process, environment, QStringLiteral(QUIRALTO_PATH), {}, QStringLiteral(SCALES_DIR));
}

std::optional<QString> DesktopSession::launch(QProcess &process, const QProcessEnvironment &environment,
                                              const QString &program, const QStringList &arguments,
                                              const QString &folder, int mapMs) const
{
    process.setProcessEnvironment(environment);
    process.setWorkingDirectory(folder);
    process.setProcessChannelMode(QProcess::ForwardedChannels);
    process.start(program, arguments);
    if (!process.waitForStarted(5000))
        return std::nullopt;
    const auto mapped = run(QStringLiteral(XWINDOW_PATH),
                            {QStringLiteral("wait-map"), WindowTitle, QString::number(mapMs)}, mapMs + 5000);
    if (!mapped)
        return std::nullopt;
    const QString window = QString::fromLatin1(mapped->trimmed());
    waitForFirstPaint(window);
    return window;
}

// A window is mapped before the program has drawn it, and Qt may send a
// large window's first picture in several pieces, top to bottom: until its
// first and last rows are there, parts of the client area still show the
// black of the screen beneath. A window never drawn is left to the test.
void DesktopSession::waitForFirstPaint(const QString &window) const
{
    const QRect client = clientGeometry(window);
    if (!client.isValid())
        return;
    const auto drawn = [](const QImage &screen, QPoint at) { return (screen.pixel(at) & 0xffffff) != 0; };
    const QDeadlineTimer deadline(5000);
    do {
        const QImage screen = screenshot();
        // A window larger than the screen is drawn as far as the screen reaches.
        const QRect visible = client.adjusted(1, 1, -1, -1) & screen.rect();
        if (visible.isValid() && drawn(screen, visible.topLeft()) && drawn(screen, visible.bottomRight()))
            return;
        QThread::msleep(50);
    } while (!deadline.hasExpired());
}

QImage DesktopSession::screenshot() const
{
    const auto png = run(QStringLiteral("import"), {QStringLiteral("-window"), QStringLiteral("root"), QStringLiteral("png:-")});
    return png ? QImage::fromData(*png, "PNG").convertToFormat(QImage::Format_RGB32) : QImage();
}

bool DesktopSession::xdotool(const QStringList &arguments) const
{
    return run(QStringLiteral("xdotool"), arguments).has_value();
}
