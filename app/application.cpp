#include "application.h"

#include "applicationtitle.h"
#include "errorbox.h"
#include "model/exception.h"
#include "model/latin1.h"
#include "windowing/cancelmode.h"

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
}

bool Application::notify(QObject *receiver, QEvent *event)
{
    trackPointerHolder(receiver, event);
    try {
        return QApplication::notify(receiver, event);
    } catch (const Exception &failure) {
        reportFailure(failure.message());
    } catch (const std::exception &failure) {
        reportFailure(failure.what());
    } catch (...) {
        reportFailure(model::latin1("Erro desconhecido"));
    }
    return true;
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
