#include "windowing/drawing.h"

#include "windowing/systemcolors.h"

#include <QFont>
#include <QPainter>

namespace quiralto::windowing {

void drawEdge(QPainter &painter, const QRect &rect, const QColor &topLeft, const QColor &bottomRight)
{
    painter.fillRect(QRect(rect.left(), rect.top(), rect.width(), 1), topLeft);
    painter.fillRect(QRect(rect.left(), rect.top() + 1, 1, rect.height() - 1), topLeft);
    painter.fillRect(QRect(rect.left() + 1, rect.bottom(), rect.width() - 1, 1), bottomRight);
    painter.fillRect(QRect(rect.right(), rect.top() + 1, 1, rect.height() - 2), bottomRight);
}

void drawRaisedInnerEdge(QPainter &painter, const QRect &rect, const QPalette &palette)
{
    drawEdge(painter, rect, systemColor(SystemColor::BtnHighlight, palette),
             systemColor(SystemColor::BtnShadow, palette));
}

void drawSunkenBorder(QPainter &painter, const QRect &rect, const QPalette &palette)
{
    drawEdge(painter, rect, systemColor(SystemColor::BtnShadow, palette),
             systemColor(SystemColor::BtnHighlight, palette));
    drawEdge(painter, rect.adjusted(1, 1, -1, -1), systemColor(SystemColor::BtnDkShadow, palette),
             systemColor(SystemColor::BtnLight, palette));
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
    // at a pixel size of 11, narrow enough for every heading and chord to
    // stay inside its 73-pixel column. It is asked for by name rather than
    // left to the desktop's substitution.
    QFont font(windowFontFamily());
    font.setPixelSize(11);
    font.setStyleHint(QFont::SansSerif);
    return font;
}

} // namespace quiralto::windowing
