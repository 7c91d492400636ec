#pragma once

#include <QVariantAnimation>
#include <QWidget>

namespace quiralto::ui {

// How a tooltip comes into view.
enum class TooltipAnimation {
    None,
    Fade,
    SlideDown,
    SlideUp,
};

// The pop-up that draws one tooltip. It never takes activation or focus and
// lets clicks through to the window beneath; when and where it appears is
// the service's business, not its own. Its painting cannot fail.
class TooltipWindow : public QWidget
{
    Q_OBJECT

public:
    TooltipWindow();

    void setText(const QString &text);
    QString text() const { return m_text; }

    // The text's size in the tooltip font, wrapped within the primary
    // screen's width, plus the edge and the margin around the text.
    QSize sizeHint() const override;

    void showTip(const QRect &geometry, TooltipAnimation animation);
    void hideTip();

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    void reveal(double progress);

    QString m_text;
    TooltipAnimation m_animation = TooltipAnimation::None;
    QVariantAnimation m_revealing;
};

} // namespace quiralto::ui
