#pragma once

#include "ui/tooltipwindow.h"

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QRect>
#include <QTimer>

#include <chrono>
#include <memory>
#include <optional>

class QApplication;

namespace quiralto::ui {

// The tooltip service's one timer together with the clock it runs on, kept
// apart so that tests can move time by hand.
class TooltipTimer : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    // One shot; starting again replaces a pending expiry.
    virtual void start(std::chrono::milliseconds interval) = 0;
    virtual void stop() = 0;
    // Monotonic, on the same clock as the expiries.
    virtual std::chrono::milliseconds now() const = 0;

signals:
    void expired();
};

class EventLoopTooltipTimer final : public TooltipTimer
{
    Q_OBJECT

public:
    EventLoopTooltipTimer();

    void start(std::chrono::milliseconds interval) override;
    void stop() override;
    std::chrono::milliseconds now() const override;

private:
    QTimer m_timer;
    QElapsedTimer m_clock;
};

// Where a tooltip of \a size goes for the pointer at \a pointer: just below
// the pointer's image, then moved back onto \a desktop.
QRect placeTooltip(QPoint pointer, int rowsBelowHotSpot, QSize size, const QRect &desktop);

// How a tooltip comes into view, given how long ago the previous one was
// shown (none yet: nullopt) and the desktop's tooltip animation switches.
TooltipAnimation chooseTooltipAnimation(std::optional<std::chrono::milliseconds> sinceLastShowing,
                                        qsizetype textLength, bool animateSwitch,
                                        bool fadeSwitch, int tooltipTop, int pointerY);

// The program's tooltips: which widget's tooltip is due, when it shows and
// hides, and where. A widget has a tooltip when its own toolTip() is set; its
// text runs up to the first '|', and it is offered only while the pointer is
// inside the widget's contentsRect(), the margin around that being the
// widget's frame.
//
// It watches every event of the application and keeps Qt's own tooltips
// from ever showing. Create it once, right after the QApplication, and keep
// it until the event loop has ended.
class TooltipService : public QObject
{
    Q_OBJECT

public:
    explicit TooltipService(QApplication &app, std::unique_ptr<TooltipTimer> timer = nullptr);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    enum class TimerMode { Show, Hide };

    bool filterEvent(QObject *watched, QEvent *event);
    void pointerMoved(QWidget *receiver, QPoint globalPos);
    void timerExpired();
    void showTooltip();
    void cancel();
    void cancelUnlessPointerOverProgram();

    std::unique_ptr<TooltipTimer> m_timer;
    TimerMode m_timerMode = TimerMode::Show;
    std::unique_ptr<TooltipWindow> m_window;
    QPointer<QWidget> m_control;
    bool m_active = false;
    QRect m_hotRect;
    std::optional<std::chrono::milliseconds> m_lastShown;
    // Where the pointer was last reported, and in which of the program's
    // windows: the place a tooltip due later is shown for.
    QPointer<QWidget> m_pointerWindow;
    QPoint m_pointer;
};

} // namespace quiralto::ui
