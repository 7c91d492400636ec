#pragma once

#include <QImage>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

#include <optional>

/// Ends \a process, asking first and killing it when it does not listen.
void stopProcess(QProcess &process);

/// A private desktop for end-to-end tests: a virtual X server and a
/// PulseAudio server whose only output is a null sink, so what a program
/// draws and plays can be looked at and recorded. Both end with the session.
class DesktopSession
{
public:
    /// Whether the X server starts afresh whenever its last client has
    /// gone (the pointer back in the middle, the X resources cleared), or
    /// keeps its state, as a desktop's server does between programs.
    enum class ServerState { ResetWhenIdle, Kept };

    explicit DesktopSession(ServerState serverState = ServerState::ResetWhenIdle);
    ~DesktopSession();

    /// Empty when both servers run; otherwise why not.
    QString failure() const { return m_failure; }

    /// The environment a program needs to use this desktop.
    QProcessEnvironment environment() const;

    /// The monitor source of the null sink: everything played, as recorded.
    static QString monitorSource() { return QStringLiteral("quiralto_e2e.monitor"); }

    /// Starts Quiralto in its scale folder on this desktop and waits for
    /// its window to be mapped and first drawn; returns the window's id, or
    /// nothing. The
    /// program gets this desktop's environment, or \a environment.
    std::optional<QString> launch(QProcess &process) const;
    std::optional<QString> launch(QProcess &process, const QProcessEnvironment &environment) const;
    /// The same for \a program with \a arguments, started in \a folder,
    /// whose window may take \a mapMs to appear.
    std::optional<QString> launch(QProcess &process, const QProcessEnvironment &environment, const QString &program,
                                  const QStringList &arguments, const QString &folder, int mapMs = 10000) const;

    /// Runs a command on this desktop and returns its standard output, or
    /// nothing when it failed.
    std::optional<QByteArray> run(const QString &program, const QStringList &arguments, int timeoutMs = 10000) const;

    /// Starts a window manager (openbox) on this desktop and waits until it
    /// manages windows; false when it does not. It runs until
    /// stopWindowManager() or the session's end.
    bool startWindowManager();
    void stopWindowManager();
    bool windowManagerRuns() const { return m_windowManager.state() == QProcess::Running; }

    /// The client area of \a window on the screen, as the X server has it
    /// now; an invalid rectangle when the window is not known.
    QRect clientGeometry(const QString &window) const;

    /// The whole screen as it is now; a null image when it cannot be taken.
    QImage screenshot() const;
    /// Runs xdotool on this desktop; true when it succeeded.
    bool xdotool(const QStringList &arguments) const;

    /// Kills the sound server, as a crash would end it: its clients lose
    /// their connections at once. True when it has ended.
    bool killSoundServer();
    /// Stops the sound server as a debugger or a stalled device holds it:
    /// its clients stay connected and get no answer until it is resumed.
    bool suspendSoundServer();
    bool resumeSoundServer();
    /// Starts the sound server on the same socket, with the same null sink,
    /// and waits until it answers; false, with failure() saying why, when it
    /// does not. The session starts one itself.
    bool startSoundServer();

private:
    bool startX(ServerState serverState);
    void waitForFirstPaint(const QString &window) const;

    QTemporaryDir m_runtime;
    QString m_display;
    QProcess m_x;
    QProcess m_pulse;
    QProcess m_windowManager;
    QString m_failure;
};
