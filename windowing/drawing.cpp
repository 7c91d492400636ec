#include "drawing.h"

#include "systemcolors.h"

#include <QFont>
#include <QPainter>

namespace quiralto::windowing {

void drawRaisedInnerEdge(QPainter &painter, const QRect &rect, const QPalette &palette)
{
    const QColor lit = systemColor(SystemColor::BtnHighlight, palette);
    const QColor shaded = systemColor(SystemColor::BtnShadow, palette);
    painter.fillRect(QRect(rect.left(), rect.top(), rect.width(), 1), lit);
    painter.fillRect(QRect(rect.left(), rect.top(), 1, rect.height()), lit);
    painter.fillRect(QRect(rect.left(), rect.bottom(), rect.width(), 1), shaded);
    painter.fillRect(QRect(rect.right(), rect.top(), 1, rect.height()), shaded);
}

void drawSunkenBorder(QPainter &painter, const QRect &rect, const QPalette &palette)
{
    const auto frame = [&](const QRect &r, SystemColor topLeft, SystemColor bottomRight) {
        const QColor tl = systemColor(topLeft, palette);
        const QColor br = systemColor(bottomRight, palette);
        painter.fillRect(QRect(r.left(), r.top(), r.width() - 1, 1), tl);
        painter.fillRect(QRect(r.left(), r.top(), 1, r.height() - 1), tl);
        painter.fillRect(QRect(r.left(), r.bottom(), r.width(), 1), br);
        painter.fillRect(QRect(r.right(), r.top(), 1, r.height()), br);
    };
    frame(rect, SystemColor::BtnShadow, SystemColor::BtnHighlight);
    frame(rect.adjusted(1, 1, -1, -1), SystemColor::BtnDkShadow, SystemColor::BtnLight);
}

void drawFocusRect(QPainter &painter, const QRect &rect)
{
    painter.save();
    painter.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
    painter.setPen(Qt::white);
    // The dots keep one phase all the way round, as if a checkerboard
    // showed through the rectangle's outline.
    for (int x = rect.left(); x <= rect.right(); ++x) {
        if ((x + rect.top()) % 2 == 0)
            painter.drawPoint(x, rect.top());
        if ((x + rect.bottom()) % 2 == 0 && rect.bottom() != rect.top())
            painter.drawPoint(x, rect.bottom());
    }
    for (int y = rect.top() + 1; y < rect.bottom(); ++y) {
        if ((rect.left() + y) % 2 == 0)
            painter.drawPoint(rect.left(), y);
        if ((rect.right() + y) % 2 == 0 && rect.right() != rect.left())
            painter.drawPoint(rect.right(), y);
    }
    painter.restore();
}

QFont windowFont()
{
    // The layout was made for a sans-serif face whose text is 13 pixels high
    // at a pixel size of 11. DejaVu Sans Condensed has that height (Liberation
    // Sans gives 12, which would rescale the window) and nearly the widths
    // the layout expects: "Subdominante" fits its 73-pixel column, and the
    // labels stop short of the controls beside them, as plain DejaVu Sans
    // would not. It is asked for by name rather than left to substitution.
    QFont font(QStringLiteral("DejaVu Sans Condensed"));
    font.setPixelSize(11);
    font.setStyleHint(QFont::SansSerif);
    return font;
}

} // namespace quiralto::windowing
