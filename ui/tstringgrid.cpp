#include "ui/tstringgrid.h"

#include "ui/accessibility.h"
#include "windowing/cancelmode.h"
#include "windowing/drawing.h"
#include "windowing/handlerboundary.h"
#include "windowing/systemcolors.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPaintEvent>
#include <QRegion>
#include <QScrollBar>
#include <QWheelEvent>

#include <algorithm>

namespace quiralto::ui {

using windowing::SystemColor;

namespace {

constexpr int BorderWidth = 2;
constexpr int TextMargin = 2;
constexpr int SelectTimerMs = 60;

QColor colorOf(const QWidget *widget, SystemColor color)
{
    return windowing::systemColor(color, widget->palette());
}

bool isBetween(int col, int current, int anchor)
{
    return col >= std::min(current, anchor) && col <= std::max(current, anchor);
}

} // namespace

TStringGrid::TStringGrid(QWidget *parent)
    : QWidget(parent)
    , m_horizontalScroll(new QScrollBar(Qt::Horizontal, this))
{
    // Tab brings the focus; a mouse press takes it in mousePressEvent, and
    // only when it lands on the cells rather than on the border.
    setFocusPolicy(Qt::TabFocus);
    // With the sunken border outside the contents, contentsRect() is the
    // cell area, which is also the area the tooltip belongs to.
    setContentsMargins(BorderWidth, BorderWidth, BorderWidth, BorderWidth);
    setAttribute(Qt::WA_OpaquePaintEvent);
    // The bar scrolls the columns; the keys and the focus stay the grid's.
    m_horizontalScroll->setFocusPolicy(Qt::NoFocus);
    m_horizontalScroll->hide();
    connect(m_horizontalScroll, &QScrollBar::valueChanged, this, &TStringGrid::setLeftColumn);
}

void TStringGrid::setColCount(int count)
{
    Q_ASSERT(count > 0);
    m_colCount = count;
    setSelection(std::min(m_current, lastColumn()), std::min(m_anchor, lastColumn()));
    fitScrollBar();
    update();
}

void TStringGrid::setRowCount(int count)
{
    Q_ASSERT(count > ChordRow);
    m_rowCount = count;
    update();
}

void TStringGrid::setDefaultColWidth(int width)
{
    m_defaultColWidth = width;
    fitScrollBar();
    update();
}

QString TStringGrid::Cells(int col, int row) const
{
    const auto found = m_cells.find({col, row});
    return found == m_cells.end() ? QString() : found->second;
}

void TStringGrid::setCells(int col, int row, const QString &text)
{
    QString &stored = m_cells[{col, row}];
    if (stored == text)
        return;
    stored = text;
    update(cellRect(col, row));
    announceCellText(this, col, row);
}

// Each cell owns the line to its right and the line below it, so the cells
// tile the grid in steps of one cell plus one line. Left of or above the
// cell area is no cell either: a drag that leaves the grid on that side
// must not pull the selection to the first column at once.
std::optional<TStringGrid::Cell> TStringGrid::cellAt(QPoint pos) const
{
    const QPoint inCells = pos - contentsRect().topLeft();
    if (inCells.x() < 0 || inCells.y() < 0)
        return std::nullopt;
    const Cell cell{m_leftCol + inCells.x() / columnStep(), inCells.y() / (DefaultRowHeight + GridLineWidth)};
    if (cell.col >= m_colCount || cell.row >= m_rowCount)
        return std::nullopt;
    return cell;
}

QRect TStringGrid::cellRect(int col, int row) const
{
    const QPoint topLeft((col - m_leftCol) * columnStep(), row * (DefaultRowHeight + GridLineWidth));
    return QRect(contentsRect().topLeft() + topLeft, QSize(m_defaultColWidth, DefaultRowHeight));
}

// The cells with their trailing lines; the last line may stick out of the
// cell area by one pixel, where the border covers it.
QRect TStringGrid::cellsExtent() const
{
    return QRect(cellRect(0, 0).topLeft(), cellRect(lastColumn(), m_rowCount - 1).bottomRight())
        .adjusted(0, 0, GridLineWidth, GridLineWidth);
}

// The grid keeps its active look while the window is in the background, so
// what counts is the window's focus widget, not the application's.
bool TStringGrid::isActiveControl() const
{
    return window()->focusWidget() == this;
}

bool TStringGrid::isSelected(int col, int row) const
{
    return row == ChordRow && isBetween(col, m_current, m_anchor);
}

QRect TStringGrid::selectionRect() const
{
    return cellRect(m_current, ChordRow).united(cellRect(m_anchor, ChordRow));
}

void TStringGrid::paintEvent(QPaintEvent *event)
{
    QPainter painter(this);
    painter.setClipRect(contentsRect());
    paintLines(painter);
    for (int row = 0; row < m_rowCount; ++row) {
        for (int col = 0; col < m_colCount; ++col) {
            if (event->rect().intersects(cellRect(col, row)))
                paintCell(painter, {col, row});
        }
    }
    paintBeyondCells(painter);
    painter.setClipping(false);
    if (!contentsRect().contains(event->rect()))
        windowing::drawSunkenBorder(painter, rect(), palette());
}

void TStringGrid::paintLines(QPainter &painter) const
{
    const QRect cells = cellsExtent();
    const QColor headingLine = colorOf(this, SystemColor::Black);
    // Silver lines would vanish on a silver background.
    const bool silverBackground = colorOf(this, SystemColor::Window).rgb() == colorOf(this, SystemColor::Silver).rgb();
    const QColor chordLine = colorOf(this, silverBackground ? SystemColor::Gray : SystemColor::Silver);
    const int chordTop = cellRect(0, FixedRows).top();

    for (int col = 0; col < m_colCount; ++col) {
        const int x = cellRect(col, 0).right() + 1;
        painter.fillRect(QRect(x, cells.top(), GridLineWidth, chordTop - cells.top()), headingLine);
        painter.fillRect(QRect(x, chordTop, GridLineWidth, cells.bottom() + 1 - chordTop), chordLine);
    }
    for (int row = 0; row < m_rowCount; ++row) {
        const int y = cellRect(0, row).bottom() + 1;
        painter.fillRect(QRect(cells.left(), y, cells.width(), GridLineWidth),
                         row < FixedRows ? headingLine : chordLine);
    }
}

void TStringGrid::paintCell(QPainter &painter, Cell cell) const
{
    const QRect rect = cellRect(cell.col, cell.row);
    const bool heading = cell.row < FixedRows;
    // The active grid shows its current cell through the focus rectangle,
    // so that cell keeps the plain colours even inside the selection.
    const bool focused = cell == Cell{m_current, ChordRow} && isActiveControl();
    const bool highlighted = isSelected(cell.col, cell.row) && !focused;

    painter.fillRect(rect, colorOf(this, heading ? SystemColor::BtnFace
                                         : highlighted ? SystemColor::Highlight
                                                       : SystemColor::Window));
    painter.setPen(colorOf(this, highlighted ? SystemColor::HighlightText : SystemColor::WindowText));
    // Neither wrapped nor elided: a text wider than its cell is cut at the
    // cell's edge.
    painter.drawText(rect.adjusted(TextMargin, TextMargin, 0, 0), Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine,
                     Cells(cell.col, cell.row));
    if (heading)
        windowing::drawRaisedInnerEdge(painter, rect, palette());
    if (focused)
        windowing::drawFocusRect(painter, rect);
}

// A grid scaled up with the window keeps its cells' size, leaving room
// right of and below them.
void TStringGrid::paintBeyondCells(QPainter &painter) const
{
    const QColor background = colorOf(this, SystemColor::Window);
    for (const QRect &part : QRegion(contentsRect()).subtracted(cellsExtent()))
        painter.fillRect(part, background);
}

void TStringGrid::resizeEvent(QResizeEvent *)
{
    fitScrollBar();
}

// The bar comes only when some column could not be shown in full. It takes
// its room from the bottom of the cell area, so that the contents are still
// exactly the cells.
void TStringGrid::fitScrollBar()
{
    const int cellAreaWidth = width() - 2 * BorderWidth;
    const bool needed = m_colCount > fullyVisibleColumns();
    const int barHeight = needed ? m_horizontalScroll->sizeHint().height() : 0;
    setContentsMargins(BorderWidth, BorderWidth, BorderWidth, BorderWidth + barHeight);
    m_horizontalScroll->setGeometry(BorderWidth, height() - BorderWidth - barHeight, cellAreaWidth, barHeight);
    m_horizontalScroll->setVisible(needed);
    m_horizontalScroll->setRange(0, lastLeftColumn());
    m_horizontalScroll->setPageStep(std::max(1, fullyVisibleColumns()));
    setLeftColumn(std::min(m_leftCol, lastLeftColumn()));
}

// How many columns the cell area's width shows whole; a column's trailing
// line may fall under the border.
int TStringGrid::fullyVisibleColumns() const
{
    return (width() - 2 * BorderWidth + GridLineWidth) / columnStep();
}

// The left column from which every later column is in view in full.
int TStringGrid::lastLeftColumn() const
{
    return std::max(0, m_colCount - fullyVisibleColumns());
}

void TStringGrid::setLeftColumn(int col)
{
    if (col == m_leftCol)
        return;
    m_leftCol = col;
    m_horizontalScroll->setValue(col);
    update();
}

void TStringGrid::scrollToColumn(int col)
{
    const int fullyVisible = std::max(1, fullyVisibleColumns());
    if (col < m_leftCol)
        setLeftColumn(col);
    else if (col >= m_leftCol + fullyVisible)
        setLeftColumn(std::min(col - fullyVisible + 1, lastLeftColumn()));
}

// Only the selection's look depends on the active role. Qt tells
// assistive technology of the grid's focus only after this handler, and a
// screen reader follows the last focus it hears of: the current cell's
// must come after it. A click that brought the focus moves the current
// cell before then; the one announcement names the cell it moved to.
void TStringGrid::focusInEvent(QFocusEvent *)
{
    update(selectionRect());
    m_focusInAnnouncing = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            windowing::guarded([this] {
                m_focusInAnnouncing = false;
                announceFocusIn(this);
            });
        },
        Qt::QueuedConnection);
}

void TStringGrid::focusOutEvent(QFocusEvent *)
{
    update(selectionRect());
}

// Every press on the cell area makes the grid the window's active control;
// the caller goes on only if it really became it.
bool TStringGrid::takeFocusFromPress(QMouseEvent *event)
{
    if (!contentsRect().contains(event->position().toPoint()))
        return false;
    QWidget *previous = window()->focusWidget();
    setFocus(Qt::MouseFocusReason);
    // In a window in the background the role moves without focus events,
    // which would leave both grids drawn in their old roles.
    if (previous != this && !isActiveWindow()) {
        if (previous)
            previous->update();
        update(selectionRect());
    }
    return isActiveControl();
}

void TStringGrid::mousePressEvent(QMouseEvent *event)
{
    if (!takeFocusFromPress(event) || event->button() != Qt::LeftButton)
        return;
    const QPoint pos = event->position().toPoint();
    const std::optional<Cell> cell = cellAt(pos);
    if (!cell || cell->row != ChordRow)
        return;
    const bool keepCurrent = event->modifiers().testFlag(Qt::ShiftModifier);
    setSelection(keepCurrent ? m_current : cell->col, cell->col);
    m_pointer = pos;
    m_selecting = true;
    m_selectTimer.start(SelectTimerMs, this);
}

// Qt delivers the second press of a double-click here instead of to
// mousePressEvent; it takes the focus like any press, and nothing else, so
// that a double-click counts as one click.
void TStringGrid::mouseDoubleClickEvent(QMouseEvent *event)
{
    takeFocusFromPress(event);
}

void TStringGrid::mouseMoveEvent(QMouseEvent *event)
{
    if (!m_selecting)
        return;
    m_pointer = event->position().toPoint();
    moveAnchorOver(m_pointer);
}

// Whichever button goes up ends the selection, wherever the pointer is.
void TStringGrid::mouseReleaseEvent(QMouseEvent *event)
{
    if (!m_selecting)
        return;
    moveAnchorOver(event->position().toPoint());
    stopSelecting();
    emit OnClick(this);
}

// A pointer beyond the cells hits no cell, so while the button is held out
// there the timer keeps stretching the selection a column at a time. The
// grid holds the pointer while a button is down, so the last position it
// was told of is where the pointer is.
void TStringGrid::timerEvent(QTimerEvent *event)
{
    if (event->timerId() != m_selectTimer.timerId()) {
        QWidget::timerEvent(event);
        return;
    }
    if (m_pointer.x() < contentsRect().left())
        setSelection(m_current, std::max(m_anchor - 1, 0));
    else if (m_pointer.x() > rect().right())
        setSelection(m_current, std::min(m_anchor + 1, lastColumn()));
    else
        return;
    scrollToColumn(m_anchor);
}

bool TStringGrid::event(QEvent *event)
{
    // A modal box is opening and the release will never come: give up the
    // selecting without reporting a click.
    if (event->type() == windowing::CancelModeEvent::eventType()) {
        stopSelecting();
        return true;
    }
    return QWidget::event(event);
}

void TStringGrid::keyPressEvent(QKeyEvent *event)
{
    const bool ctrl = event->modifiers().testFlag(Qt::ControlModifier);
    const bool keepAnchor = event->modifiers().testFlag(Qt::ShiftModifier);
    // Ctrl pages by the fully visible columns less one; with every column in
    // view, as at the designed size, a page reaches the end of the row from
    // anywhere. A grid too narrow for its columns jumps there all the same,
    // and scrolls after the current cell.
    switch (event->key()) {
    case Qt::Key_Left:
        moveCurrent(ctrl ? 0 : m_current - 1, keepAnchor);
        break;
    case Qt::Key_Right:
        moveCurrent(ctrl ? lastColumn() : m_current + 1, keepAnchor);
        break;
    case Qt::Key_Home:
        moveCurrent(0, keepAnchor);
        break;
    case Qt::Key_End:
        moveCurrent(lastColumn(), keepAnchor);
        break;
    // These would leave the only row that can hold the current cell; they
    // are still the grid's, not the window's.
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
        break;
    default:
        QWidget::keyPressEvent(event);
    }
}

// The wheel would move the current cell to another row, and there is none.
void TStringGrid::wheelEvent(QWheelEvent *event)
{
    event->accept();
}

void TStringGrid::setSelection(int current, int anchor)
{
    if (current == m_current && anchor == m_anchor)
        return;
    const int oldCurrent = m_current;
    const int oldAnchor = m_anchor;
    m_current = current;
    m_anchor = anchor;

    QRegion changed = QRegion(cellRect(oldCurrent, ChordRow)) + cellRect(m_current, ChordRow);
    for (int col = 0; col < m_colCount; ++col) {
        if (isBetween(col, oldCurrent, oldAnchor) != isSelected(col, ChordRow))
            changed += cellRect(col, ChordRow);
    }
    update(changed);
    if (m_current != oldCurrent && !m_focusInAnnouncing)
        announceCurrentCell(this);
}

// The one way a key moves the current cell; a key that cannot move it
// reports nothing.
void TStringGrid::moveCurrent(int col, bool keepAnchor)
{
    col = std::clamp(col, 0, lastColumn());
    if (col == m_current)
        return;
    setSelection(col, keepAnchor ? m_anchor : col);
    scrollToColumn(col);
    emit OnClick(this);
}

void TStringGrid::moveAnchorOver(QPoint pos)
{
    const std::optional<Cell> cell = cellAt(pos);
    if (cell && cell->row == ChordRow)
        setSelection(m_current, cell->col);
}

void TStringGrid::stopSelecting()
{
    m_selecting = false;
    m_selectTimer.stop();
}

} // namespace quiralto::ui
