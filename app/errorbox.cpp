#include "app/errorbox.h"

#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QScreen>
#include <QWindow>

namespace quiralto::app {

namespace {

// A message box whose frame stands in the middle of a monitor. Its size is
// final only once it is being shown, so it centres itself then, before it
// is mapped. Its own frame is not known before the window manager has
// framed it, and what Qt reports in the moments after that is not to be
// trusted; the frame of a window of the program that is already framed
// stands in for it, as a window manager frames a program's windows alike.
class ErrorBox : public QMessageBox
{
public:
    ErrorBox(const QString &title, const QString &text, QScreen *monitor, QMargins frame)
        : QMessageBox(QMessageBox::Critical, title, text, QMessageBox::Ok)
        , m_monitor(monitor)
        , m_frame(frame)
    {
        setWindowModality(Qt::ApplicationModal);
    }

protected:
    // Only places the box: nothing in it can fail.
    void showEvent(QShowEvent *event) noexcept override
    {
        QMessageBox::showEvent(event);
        QRect frame(QPoint(), size().grownBy(m_frame));
        frame.moveCenter((m_monitor ? m_monitor.data() : QGuiApplication::primaryScreen())->geometry().center());
        // move() places the box by the frame that Qt knows of, which is
        // none while the box is not framed yet.
        const QPoint knownFrame = geometry().topLeft() - pos();
        move(frame.topLeft() + QPoint(m_frame.left(), m_frame.top()) - knownFrame);
    }

private:
    QPointer<QScreen> m_monitor;
    QMargins m_frame;
};

// The frame of the active window, or else of any window of the program on
// screen; none where there is no window manager.
QMargins framedWindowMargins(QWidget *activeWindow)
{
    QWidgetList windows = QApplication::topLevelWidgets();
    if (activeWindow)
        windows.prepend(activeWindow);
    for (const QWidget *window : windows) {
        if (window->isVisible() && window->windowHandle())
            return window->windowHandle()->frameMargins();
    }
    return {};
}

} // namespace

QString errorBoxText(const std::string &message)
{
    QString text = QString::fromLatin1(message);
    if (!message.empty() && static_cast<unsigned char>(message.back()) > '.')
        text += QLatin1Char('.');
    return text;
}

void showErrorBox(const QString &title, const QString &text)
{
    QPointer<QWidget> activeWindow = QApplication::activeWindow();
    QPointer<QWidget> focusWidget = QApplication::focusWidget();

    QScreen *monitor = activeWindow ? activeWindow->screen() : QGuiApplication::primaryScreen();
    ErrorBox box(title, text, monitor, framedWindowMargins(activeWindow));
    box.exec();

    if (activeWindow) {
        activeWindow->activateWindow();
        if (focusWidget)
            focusWidget->setFocus(Qt::OtherFocusReason);
    }
}

} // namespace quiralto::app
