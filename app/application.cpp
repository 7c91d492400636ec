#include "application.h"

#include "applicationtitle.h"
#include "errorbox.h"
#include "windowing/cancelmode.h"
#include "windowing/handlerboundary.h"

#include <QIcon>
#include <QMouseEvent>
#include <QWidget>

namespace quiralto::app {

Application::Application(int &argc, char **argv)
    : QApplication(argc, argv)
    , m_title(applicationTitle(applicationFilePath()))
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
    // The program's handlers run guarded where Qt calls them; this is only
    // the last net, for a failure from anywhere else.
    bool handled = true;
    windowing::guarded([&] { handled = QApplication::notify(receiver, event); });
    return handled;
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
