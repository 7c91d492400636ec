#pragma once

#include <QApplication>
#include <QPointer>

namespace quiralto::app {

/// The application frame: derives the application's title and shows every
/// failure that escapes an event handler in the error box, after which the
/// program goes on. Handlers themselves catch nothing.
class Application : public QApplication
{
    Q_OBJECT

public:
    Application(int &argc, char **argv);

    QString title() const { return m_title; }

    bool notify(QObject *receiver, QEvent *event) override;

private:
    void reportFailure(const std::string &message);
    void trackPointerHolder(QObject *receiver, const QEvent *event);

    QString m_title;
    // The widget that took the last button press and has not seen its
    // release yet: it holds the pointer, and must leave its mode before a
    // modal box swallows that release.
    QPointer<QWidget> m_pointerHolder;
};

} // namespace quiralto::app
