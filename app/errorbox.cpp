#include "errorbox.h"

#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QScreen>

namespace quiralto::app {

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

    QMessageBox box(QMessageBox::Critical, title, text, QMessageBox::Ok);
    box.setWindowModality(Qt::ApplicationModal);
    box.adjustSize();
    QScreen *screen = activeWindow ? activeWindow->screen() : QGuiApplication::primaryScreen();
    box.move(screen->geometry().center() - box.rect().center());
    box.exec();

    if (activeWindow) {
        activeWindow->activateWindow();
        if (focusWidget)
            focusWidget->setFocus(Qt::OtherFocusReason);
    }
}

} // namespace quiralto::app
