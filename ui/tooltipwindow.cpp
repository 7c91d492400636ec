#include "ui/tooltipwindow.h"

#include "windowing/drawing.h"
#include "windowing/systemcolors.h"
#include "windowing/tooltipdesktop.h"

#include <QApplication>
#include <QPainter>
#include <QScreen>
#include <QToolTip>
#include <QWindow>

#include <algorithm>

namespace quiralto::ui {

namespace {

// One pixel of raised edge, then two of space, on every side of the text.
constexpr int textInset = 3;
constexpr int revealMilliseconds = 100;

// No '&' ever becomes a mnemonic: tooltip texts are shown as written.
constexpr int textFlags = Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap;

QFont tooltipFont()
{
    // When the desktop names no tooltip font of its own, QToolTip::font()
    // falls back to the application font, which is sized for controls;
    // tooltips then take an 8-point cut of it instead.
    QFont font = QToolTip::font();
    if (font == QApplication::font())
        font.setPointSize(8);
    return font;
}

} // namespace

// Clicks and moves go through the tooltip to the window beneath, so that the
// pointer over a tooltip is the pointer over the grid under it: it neither
// hides the tooltip nor swallows a click meant for the grid.
TooltipWindow::TooltipWindow()
    : QWidget(nullptr, Qt::ToolTip | Qt::WindowTransparentForInput)
{
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFont(tooltipFont());

    m_revealing.setStartValue(0.0);
    m_revealing.setEndValue(1.0);
    m_revealing.setDuration(revealMilliseconds);
    // Revealing only sets the window's mask or opacity; it cannot fail.
    connect(&m_revealing, &QVariantAnimation::valueChanged, this,
            [this](const QVariant &value) noexcept { reveal(value.toDouble()); });
}

void TooltipWindow::setText(const QString &text)
{
    m_text = text;
    update();
}

QSize TooltipWindow::sizeHint() const
{
    const int wrapWidth = QGuiApplication::primaryScreen()->geometry().width();
    const QRect text = fontMetrics().boundingRect(QRect(0, 0, wrapWidth, 0), textFlags, m_text);
    return text.size() + QSize(2 * textInset, 2 * textInset);
}

void TooltipWindow::showTip(const QRect &geometry, TooltipAnimation animation)
{
    m_revealing.stop();
    m_animation = animation;
    setGeometry(geometry);
    reveal(animation == TooltipAnimation::None ? 1.0 : 0.0);
    show();
    // Showing may have put a new native window behind the widget.
    windowing::passPointerInputThrough(*windowHandle());
    if (animation != TooltipAnimation::None)
        m_revealing.start();
}

void TooltipWindow::hideTip()
{
    m_revealing.stop();
    hide();
}

void TooltipWindow::reveal(double progress)
{
    if (progress >= 1.0) {
        clearMask();
        setWindowOpacity(1.0);
        return;
    }
    // An empty mask would show the whole window, so a slide starts with
    // one row in view.
    const int rows = std::max(1, qRound(height() * progress));
    switch (m_animation) {
    case TooltipAnimation::None:
        break;
    case TooltipAnimation::Fade:
        setWindowOpacity(progress);
        break;
    case TooltipAnimation::SlideDown:
        setMask(QRect(0, 0, width(), rows));
        break;
    case TooltipAnimation::SlideUp:
        setMask(QRect(0, height() - rows, width(), rows));
        break;
    }
}

void TooltipWindow::paintEvent(QPaintEvent *)
{
    using windowing::SystemColor;
    using windowing::systemColor;

    QPainter painter(this);
    painter.fillRect(rect(), systemColor(SystemColor::InfoBk, palette()));
    painter.setPen(systemColor(SystemColor::InfoText, palette()));
    painter.drawText(rect().adjusted(textInset, textInset, -textInset, -textInset), textFlags,
                     m_text);
    windowing::drawRaisedInnerEdge(painter, rect(), palette());
}

} // namespace quiralto::ui
