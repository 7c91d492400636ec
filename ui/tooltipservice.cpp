#include "ui/tooltipservice.h"

#include "windowing/handlerboundary.h"
#include "windowing/tooltipdesktop.h"

#include <QApplication>
#include <QCursor>
#include <QMouseEvent>
#include <QScreen>

using namespace std::chrono_literals;

namespace quiralto::ui {

namespace {

constexpr auto pauseBeforeShowing = 500ms;
constexpr auto timeShown = 2500ms;
// A tooltip that follows another this closely comes from the pointer moving
// on between controls; animating each of those would only slow the reading.
constexpr auto quietSpellBeforeAnimating = 250ms;
constexpr qsizetype animatedTextsShorterThan = 100;

QWidget *widgetUnder(QWidget *window, QPoint globalPos)
{
    const QPoint local = window->mapFromGlobal(globalPos);
    if (QWidget *child = window->childAt(local))
        return child;
    return window->rect().contains(local) ? window : nullptr;
}

// The widget under the pointer or its nearest enclosing one that has a
// tooltip, as long as the pointer lies in its contents: over its frame no
// tooltip is offered. Tooltips stop at the window, so a dialog never shows
// the tooltip of the window that opened it.
QWidget *tooltipControlFor(QWidget *under, QPoint globalPos)
{
    for (QWidget *widget = under; widget; widget = widget->parentWidget()) {
        if (!widget->toolTip().isEmpty()) {
            const bool inContents = widget->contentsRect().contains(widget->mapFromGlobal(globalPos));
            return inContents ? widget : nullptr;
        }
        if (widget->isWindow())
            break;
    }
    return nullptr;
}

QString tooltipText(const QWidget &control)
{
    // Text after a '|' is meant for a status line, which this program has not.
    return control.toolTip().section(u'|', 0, 0);
}

// Where the pointer's image cannot be read, the size the desktop draws
// pointers at stands in for the part below the hot spot: cursor themes are
// drawn at XCURSOR_SIZE, 24 pixels when it is not set.
int standardCursorHeight()
{
    bool ok = false;
    const int size = qEnvironmentVariableIntValue("XCURSOR_SIZE", &ok);
    return ok && size > 0 ? size : 24;
}

// The screen under the pointer rather than the bounding box of all of them:
// with screens of unequal size that box has corners no screen shows, and a
// tooltip moved there would be lost.
const QScreen &screenAround(QPoint globalPos)
{
    const QScreen *screen = QGuiApplication::screenAt(globalPos);
    return *(screen ? screen : QGuiApplication::primaryScreen());
}

bool isCancellingEvent(QEvent::Type type)
{
    switch (type) {
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::InputMethod:
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::NonClientAreaMouseButtonPress:
    case QEvent::NonClientAreaMouseButtonRelease:
    case QEvent::NonClientAreaMouseButtonDblClick:
    case QEvent::NonClientAreaMouseMove:
    case QEvent::Wheel:
    case QEvent::ApplicationStateChange:
        return true;
    default:
        return false;
    }
}

} // namespace

EventLoopTooltipTimer::EventLoopTooltipTimer()
{
    m_timer.setSingleShot(true);
    // A coarse timer may run out early, showing a tooltip before the pointer
    // has rested its 500 ms; bench/RESULTS.md has how early it was seen to.
    m_timer.setTimerType(Qt::PreciseTimer);
    m_clock.start();
    connect(&m_timer, &QTimer::timeout, this, &TooltipTimer::expired);
}

void EventLoopTooltipTimer::start(std::chrono::milliseconds interval)
{
    m_timer.start(interval);
}

void EventLoopTooltipTimer::stop()
{
    m_timer.stop();
}

std::chrono::milliseconds EventLoopTooltipTimer::now() const
{
    return std::chrono::milliseconds(m_clock.elapsed());
}

QRect placeTooltip(QPoint pointer, int rowsBelowHotSpot, QSize size, const QRect &desktop)
{
    QRect tooltip(QPoint(pointer.x(), pointer.y() + rowsBelowHotSpot), size);
    // Bottom and right first, left and top last: a tooltip larger than the
    // desktop keeps its start, where reading begins, in view.
    if (tooltip.bottom() > desktop.bottom())
        tooltip.moveBottom(desktop.bottom());
    if (tooltip.right() > desktop.right())
        tooltip.moveRight(desktop.right());
    if (tooltip.left() < desktop.left())
        tooltip.moveLeft(desktop.left());
    if (tooltip.top() < desktop.top())
        tooltip.moveTop(desktop.top());
    return tooltip;
}

TooltipAnimation chooseTooltipAnimation(std::optional<std::chrono::milliseconds> sinceLastShowing,
                                        qsizetype textLength, bool animateSwitch,
                                        bool fadeSwitch, int tooltipTop, int pointerY)
{
    const bool afterQuietSpell = !sinceLastShowing || *sinceLastShowing > quietSpellBeforeAnimating;
    if (!afterQuietSpell || textLength >= animatedTextsShorterThan || !animateSwitch)
        return TooltipAnimation::None;
    if (fadeSwitch)
        return TooltipAnimation::Fade;
    // The tooltip grows out of the pointer's side: down from below it, up
    // when the screen's bottom edge has pushed it above.
    return tooltipTop >= pointerY ? TooltipAnimation::SlideDown : TooltipAnimation::SlideUp;
}

TooltipService::TooltipService(QApplication &app, std::unique_ptr<TooltipTimer> timer)
    : m_timer(timer ? std::move(timer) : std::make_unique<EventLoopTooltipTimer>())
    , m_window(std::make_unique<TooltipWindow>())
{
    windowing::connectHandler(m_timer.get(), &TooltipTimer::expired, this, &TooltipService::timerExpired);
    windowing::connectHandler(&app, &QCoreApplication::aboutToQuit, this, &TooltipService::cancel);
    app.installEventFilter(this);
}

bool TooltipService::eventFilter(QObject *watched, QEvent *event)
{
    // Qt runs the filter inside its delivery of every event there is.
    bool swallowed = false;
    windowing::guarded([&] { swallowed = filterEvent(watched, event); });
    return swallowed;
}

bool TooltipService::filterEvent(QObject *watched, QEvent *event)
{
    switch (event->type()) {
    case QEvent::ToolTip:
    case QEvent::WhatsThis:
        // Qt would answer these with a tooltip of its own, on its own timing,
        // next to ours.
        return true;
    // Coming back from outside the window to the very pixel Qt last saw the
    // pointer at brings no move, only the entering; it counts as one.
    case QEvent::MouseMove:
    case QEvent::Enter: {
        const auto *pointer = dynamic_cast<QSinglePointEvent *>(event);
        if (pointer && watched->isWidgetType())
            pointerMoved(static_cast<QWidget *>(watched), pointer->globalPosition().toPoint());
        return false;
    }
    case QEvent::Leave:
        // The pointer may have left the program altogether; where it went is
        // known only once the events of the move have all been handled.
        if (watched->isWidgetType() && static_cast<QWidget *>(watched)->isWindow()
            && watched != m_window.get()) {
            QTimer::singleShot(0, this, [this] { windowing::guarded([this] { cancelUnlessPointerOverProgram(); }); });
        }
        return false;
    default:
        if (isCancellingEvent(event->type()))
            cancel();
        return false;
    }
}

void TooltipService::pointerMoved(QWidget *receiver, QPoint globalPos)
{
    QWidget *window = receiver->window();
    QWidget *under = widgetUnder(window, globalPos);
    // A move tells where the pointer is only where Qt delivers it first, to
    // the widget beneath the pointer. Copies passed on to parents, and moves
    // sent to a widget holding the mouse while the pointer is elsewhere, are
    // left alone.
    if (under != receiver)
        return;
    m_pointerWindow = window;
    m_pointer = globalPos;

    QWidget *control = tooltipControlFor(under, globalPos);
    if (!control) {
        cancel();
        return;
    }
    if (control == m_control && m_hotRect.contains(globalPos))
        return;
    if (m_active) {
        m_control = control;
        showTooltip();
        return;
    }
    cancel();
    m_control = control;
    m_timerMode = TimerMode::Show;
    m_timer->start(pauseBeforeShowing);
}

void TooltipService::timerExpired()
{
    switch (m_timerMode) {
    case TimerMode::Show:
        showTooltip();
        break;
    case TimerMode::Hide:
        // The control and the active flag stay: the tooltip does not come
        // back while the pointer stays, and the pointer moving on to another
        // control shows that one's at once.
        m_window->hideTip();
        break;
    }
}

void TooltipService::showTooltip()
{
    m_active = false;
    QWidget *under = m_pointerWindow ? widgetUnder(m_pointerWindow, m_pointer) : nullptr;
    if (!QApplication::activeWindow() || !m_control || !under
        || tooltipControlFor(under, m_pointer) != m_control) {
        cancel();
        return;
    }
    m_active = true;

    const QString text = tooltipText(*m_control);
    if (text.isEmpty()) {
        cancel();
        return;
    }
    m_window->setText(text);
    const QScreen &screen = screenAround(m_pointer);
    const int rowsBelowPointer =
        windowing::pointerRowsBelowHotSpot(screen.devicePixelRatio()).value_or(standardCursorHeight());
    const QRect geometry = placeTooltip(m_pointer, rowsBelowPointer, m_window->sizeHint(), screen.geometry());
    m_hotRect = QRect(m_control->mapToGlobal(QPoint(0, 0)), m_control->size());

    const std::chrono::milliseconds now = m_timer->now();
    const std::optional<std::chrono::milliseconds> sinceLastShowing =
        m_lastShown ? std::optional(now - *m_lastShown) : std::nullopt;
    const TooltipAnimation animation = chooseTooltipAnimation(
        sinceLastShowing, text.size(), QApplication::isEffectEnabled(Qt::UI_AnimateTooltip),
        QApplication::isEffectEnabled(Qt::UI_FadeTooltip), geometry.top(), m_pointer.y());
    m_lastShown = now;
    m_window->showTip(geometry, animation);

    m_timerMode = TimerMode::Hide;
    m_timer->start(timeShown);
}

void TooltipService::cancel()
{
    // Done whether or not a control is held: a control destroyed while its
    // tooltip was up leaves no control behind, but the window still to hide.
    m_window->hideTip();
    m_timer->stop();
    m_control = nullptr;
    m_active = false;
    // The hot rectangle stays: after a click in a grid whose tooltip was
    // shown, the tooltip comes back 500 ms after the pointer next moves,
    // whether or not it then rests.
}

void TooltipService::cancelUnlessPointerOverProgram()
{
    if (!QGuiApplication::topLevelAt(QCursor::pos()))
        cancel();
}

} // namespace quiralto::ui
