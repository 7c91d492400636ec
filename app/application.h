#pragma once

#include <QApplication>
#include <QPointer>

namespace quiralto::app {

/// The application frame: derives the application's title and shows every
/// failure that ends a handler in the error box, after which the program
/// goes on. Handlers themselves catch nothing; the boundary where Qt calls
/// them (windowing/handlerboundary.h) hands their failures to this frame.
/// A failure that reaches notify() has escaped that boundary: it is shown
/// too, unless QUIRALTO_STRICT_HANDLERS=1 is in the environment, as the
/// tests have it, in which case it ends the program with qFatal.
class Application : public QApplication
{
    Q_OBJECT

public:
    Application(int &argc, char **argv);
    ~Application() override;

    QString title() const { return m_title; }

    bool notify(QObject *receiver, QEvent *event) override;

private:
    void reportFailure(const std::string &message);
    void trackPointerHolder(QObject *receiver, const QEvent *event);

    QString m_title;
    // Set by the test runs, where a failure that escapes every guard must
    // end the program rather than be shown like a guarded one.
    bool m_unguardedFailuresAreFatal;
    // The widget that took the last button press and has not seen its
    // release yet: it holds the pointer, and must leave its mode before a
    // modal box swallows that release.
    QPointer<QWidget> m_pointerHolder;
};

} // namespace quiralto::app
