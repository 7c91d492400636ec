#include "app/application.h"

#include "app/applicationtitle.h"
#include "app/errorbox.h"
#include "windowing/cancelmode.h"
#include "windowing/handlerboundary.h"

#include <QIcon>
#include <QMouseEvent>
#include <QWidget>

namespace quiralto::app {

Application::Application(int &argc, char **argv)
    : QApplication(argc, argv)
    , m_title(applicationTitle(applicationFilePath()))
    , m_unguardedFailuresAreFatal(qEnvironmentVariableIntValue("QUIRALTO_STRICT_HANDLERS") != 0)
{
    setApplicationName(m_title);
    // The window and the task bar show the menu entry's icon, and desktops
    // that go by the entry's name find it.
    setWindowIcon(QIcon(QStringLiteral(":/icons/org.example.Quiralto.svg")));
    setDesktopFileName(QStringLiteral("org.example.Quiralto"));
    windowing::setFailureSink([this](const std::string &message) { reportFailure(message); });
}

Application::~Application()
{
    windowing::setFailureSink(nullptr);
}

bool Application::notify(QObject *receiver, QEvent *event)
{
    trackPointerHolder(receiver, event);
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        // The program's handlers run guarded where Qt calls them, so a
        // failure caught here has already unwound Qt's frames through a
        // place that has no guard. Users still get the error box; a test
        // run ends here, loudly, so that the missing guard fails it.
        if (m_unguardedFailuresAreFatal) {
            qFatal("Falha fora da fronteira dos manipuladores: %s",
                   qUtf8Printable(QString::fromLatin1(windowing::currentFailureMessage())));
        }
        windowing::reportCurrentFailure();
        return true;
    }
}

void Application::trackPointerHolder(QObject *receiver, const QEvent *event)
{
    if (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonDblClick) {
        if (receiver->isWidgetType())
            m_pointerHolder = static_cast<QWidget *>(receiver);
    } else if (event->type() == QEvent::MouseButtonRelease) {
        if (static_cast<const QMouseEvent *>(event)->buttons() == Qt::NoButton)
            m_pointerHolder = nullptr;
    }
}

void Application::reportFailure(const std::string &message)
{
    // The box's own event loop would swallow the release that ends a drag or
    // the click that closes a list, so both are ended first.
    if (QWidget *popup = activePopupWidget())
        popup->close();
    if (m_pointerHolder) {
        windowing::CancelModeEvent cancel;
        QApplication::sendEvent(m_pointerHolder, &cancel);
        m_pointerHolder = nullptr;
    }
    showErrorBox(m_title, errorBoxText(message));
}

} // namespace quiralto::app
