#pragma once

#include <QBasicTimer>
#include <QPoint>
#include <QRect>
#include <QString>
#include <QWidget>

#include <compare>
#include <map>
#include <optional>

class QScrollBar;

namespace quiralto::ui {

// A text grid with one fixed heading row above a row of chord cells. It is
// drawn by hand because a stock table cannot be told when to report a click
// the way this program needs: once per click on a chord cell, once per step
// of the current cell, and never for anything else. Its event code only
// draws, selects and signals, so it cannot fail; the program's handlers of
// OnClick are connected through the boundary.
class TStringGrid : public QWidget
{
    Q_OBJECT

public:
    struct Cell
    {
        int col = 0;
        int row = 0;
        friend auto operator<=>(const Cell &, const Cell &) = default;
    };

    explicit TStringGrid(QWidget *parent = nullptr);

    void setColCount(int count);
    void setRowCount(int count);
    void setDefaultColWidth(int width);
    int colCount() const { return m_colCount; }
    int rowCount() const { return m_rowCount; }

    QString Cells(int col, int row) const;
    void setCells(int col, int row, const QString &text);

    // The current cell and the anchor both lie in the chord row; the
    // selection is the run of chord cells between them.
    int currentColumn() const { return m_current; }
    int anchorColumn() const { return m_anchor; }
    bool isSelected(int col, int row) const;
    // The first column in view; other than 0 only while the columns do not
    // all fit and the grid has been scrolled.
    int leftColumn() const { return m_leftCol; }
    bool isSelecting() const { return m_selecting; }

    // The one geometry that painting and input share, in widget coordinates.
    std::optional<Cell> cellAt(QPoint pos) const;
    QRect cellRect(int col, int row) const;

signals:
    void OnClick(quiralto::ui::TStringGrid *sender);

protected:
    bool event(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void timerEvent(QTimerEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;

private:
    static constexpr int FixedRows = 1;
    static constexpr int ChordRow = FixedRows;
    static constexpr int DefaultRowHeight = 24;
    static constexpr int GridLineWidth = 1;

    int columnStep() const { return m_defaultColWidth + GridLineWidth; }
    int lastColumn() const { return m_colCount - 1; }
    int fullyVisibleColumns() const;
    int lastLeftColumn() const;
    QRect cellsExtent() const;
    bool isActiveControl() const;
    QRect selectionRect() const;

    void paintLines(QPainter &painter) const;
    void paintCell(QPainter &painter, Cell cell) const;
    void paintBeyondCells(QPainter &painter) const;

    bool takeFocusFromPress(QMouseEvent *event);
    void setSelection(int current, int anchor);
    void moveCurrent(int col, bool keepAnchor);
    void moveAnchorOver(QPoint pos);
    void stopSelecting();
    void fitScrollBar();
    void setLeftColumn(int col);
    void scrollToColumn(int col);

    int m_colCount = 1;
    int m_rowCount = FixedRows + 1;
    int m_defaultColWidth = 64;
    int m_leftCol = 0;
    QScrollBar *m_horizontalScroll;
    std::map<Cell, QString> m_cells;

    int m_current = 0;
    int m_anchor = 0;
    bool m_selecting = false;
    // The focus has come in and its announcement, with the grid's remark,
    // is still to be made.
    bool m_focusInAnnouncing = false;
    QBasicTimer m_selectTimer;
    QPoint m_pointer;
};

} // namespace quiralto::ui
