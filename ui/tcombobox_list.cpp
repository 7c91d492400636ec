#include "ui/tcombobox_list.h"

#include "windowing/cancelmode.h"
#include "windowing/drawing.h"
#include "windowing/systemcolors.h"

#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>

#include <algorithm>

namespace quiralto::ui {

namespace {

constexpr int BorderWidth = 1;
constexpr int TextMargin = 2;
// One notch of a common wheel turns by 120 units; it scrolls three rows.
constexpr int WheelUnitsPerRow = 40;

} // namespace

using windowing::SystemColor;
using windowing::systemColor;

TComboBoxList::TComboBoxList(QWidget *owner)
    : QWidget(owner, Qt::Popup)
{
    // The row under the pointer is lit while no button is held.
    setMouseTracking(true);
}

void TComboBoxList::setItems(const QStringList &items)
{
    m_items = items;
    m_currentRow = -1;
    m_hoverRow = -1;
    m_firstRow = 0;
    update();
}

void TComboBoxList::setDropDownCount(int count)
{
    m_dropDownCount = count;
}

void TComboBoxList::setCurrentRow(int row)
{
    m_currentRow = row;
    // A key or a completion moves the highlight back to the selection, as
    // the pointer is no longer what the user is steering with.
    m_hoverRow = -1;
    if (row >= 0) {
        if (row < m_firstRow)
            scrollTo(row);
        else if (row >= m_firstRow + visibleRowCount())
            scrollTo(row - visibleRowCount() + 1);
    }
    update();
}

void TComboBoxList::popUp(const QRect &ownerRect)
{
    const QSize size(ownerRect.width(), visibleRowCount() * rowHeight() + 2 * BorderWidth);
    QPoint topLeft(ownerRect.left(), ownerRect.bottom() + 1);
    const QScreen *onScreen = QGuiApplication::screenAt(ownerRect.center());
    const QRect desktop = (onScreen ? onScreen : screen())->availableGeometry();
    if (topLeft.y() + size.height() > desktop.bottom() + 1 && ownerRect.top() - size.height() >= desktop.top())
        topLeft.setY(ownerRect.top() - size.height());
    setGeometry(QRect(topLeft, size));
    show();
}

bool TComboBoxList::event(QEvent *event)
{
    if (event->type() == windowing::CancelModeEvent::eventType()) {
        close();
        return true;
    }
    return QWidget::event(event);
}

void TComboBoxList::paintEvent(QPaintEvent *event)
{
    QPainter painter(this);
    const QPalette &colors = palette();
    painter.fillRect(rect(), systemColor(SystemColor::Window, colors));

    const int lit = highlightedRow();
    const int end = std::min<int>(m_firstRow + visibleRowCount(), m_items.size());
    for (int row = m_firstRow; row < end; ++row) {
        const QRect cell = rowRect(row);
        if (!cell.intersects(event->rect()))
            continue;
        if (row == lit)
            painter.fillRect(cell, systemColor(SystemColor::Highlight, colors));
        painter.setPen(systemColor(row == lit ? SystemColor::HighlightText : SystemColor::WindowText, colors));
        painter.drawText(cell.adjusted(TextMargin, 0, -TextMargin, 0),
                         Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, m_items.at(row));
    }

    painter.setPen(systemColor(SystemColor::WindowFrame, colors));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
    if (lit >= m_firstRow && lit < end)
        windowing::drawFocusRect(painter, rowRect(lit));
}

void TComboBoxList::mouseMoveEvent(QMouseEvent *event)
{
    // Leaving the rows keeps the last one lit, as a list does.
    const int row = rowAt(event->position().toPoint());
    if (row >= 0)
        setHoverRow(row);
}

void TComboBoxList::mouseReleaseEvent(QMouseEvent *event)
{
    // Releasing rather than pressing chooses, so that a drag from the drop
    // button down into the list chooses where it ends.
    const int row = rowAt(event->position().toPoint());
    if (event->button() == Qt::LeftButton && row >= 0)
        emit rowClicked(row);
}

void TComboBoxList::wheelEvent(QWheelEvent *event)
{
    scrollTo(m_firstRow - event->angleDelta().y() / WheelUnitsPerRow);
}

void TComboBoxList::hideEvent(QHideEvent *event)
{
    m_hoverRow = -1;
    QWidget::hideEvent(event);
}

int TComboBoxList::rowHeight() const
{
    return fontMetrics().height();
}

int TComboBoxList::visibleRowCount() const
{
    return std::max(1, std::min<int>(m_items.size(), m_dropDownCount));
}

int TComboBoxList::rowAt(QPoint pos) const
{
    const QRect rows = rect().adjusted(BorderWidth, BorderWidth, -BorderWidth, -BorderWidth);
    if (!rows.contains(pos))
        return -1;
    const int row = m_firstRow + (pos.y() - rows.top()) / rowHeight();
    return row < m_items.size() ? row : -1;
}

QRect TComboBoxList::rowRect(int row) const
{
    return QRect(BorderWidth, BorderWidth + (row - m_firstRow) * rowHeight(), width() - 2 * BorderWidth,
                 rowHeight());
}

int TComboBoxList::highlightedRow() const
{
    return m_hoverRow >= 0 ? m_hoverRow : m_currentRow;
}

void TComboBoxList::setHoverRow(int row)
{
    if (row == m_hoverRow)
        return;
    const int previous = highlightedRow();
    m_hoverRow = row;
    if (previous >= 0)
        update(rowRect(previous));
    update(rowRect(row));
}

void TComboBoxList::scrollTo(int firstRow)
{
    const int bounded = std::clamp(firstRow, 0, std::max<int>(0, m_items.size() - visibleRowCount()));
    if (bounded == m_firstRow)
        return;
    m_firstRow = bounded;
    update();
}

} // namespace quiralto::ui
