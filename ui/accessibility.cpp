#include "ui/accessibility.h"

#include "model/harmonicfield.h"
#include "playback/scaleplayer.h"
#include "ui/tcombobox.h"
#include "ui/tform1.h"
#include "ui/tstringgrid.h"

#include <QAccessibleWidget>
#include <QCoreApplication>
#include <QMouseEvent>
#include <QPointer>
#include <QWindow>

#include <map>
#include <utility>

namespace quiralto::ui {

namespace {

// Row 0 of a grid is its fixed heading row. Assistive technology reads the
// headings as column headers, and the rows below them as the table's own
// rows, numbered from 0 as a table's rows are.
constexpr int HeadingRow = 0;
constexpr int FirstBodyRow = HeadingRow + 1;

// One cell of a grid, heading or chord. Cells are no objects of their own,
// so the grid's interface creates them, hands them out and deletes them.
class GridCellAccessible : public QAccessibleInterface, public QAccessibleTableCellInterface
{
public:
    GridCellAccessible(TStringGrid *grid, int col, int row) : m_grid(grid), m_col(col), m_row(row) {}

    bool isValid() const override { return m_grid; }
    QObject *object() const override { return nullptr; }
    QWindow *window() const override { return m_grid ? m_grid->window()->windowHandle() : nullptr; }

    QAccessibleInterface *parent() const override { return QAccessible::queryAccessibleInterface(m_grid); }
    QAccessibleInterface *child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface *) const override { return -1; }
    QAccessibleInterface *childAt(int, int) const override { return nullptr; }

    // Headings are read as written; a chord as a teacher says it, so that
    // the synthesizer does not spell out "#" or "Dim.".
    QString text(QAccessible::Text t) const override
    {
        if (!m_grid)
            return {};
        if (t == QAccessible::Description)
            return carriesRemark() ? parent()->text(QAccessible::Description) : QString();
        if (t != QAccessible::Name)
            return {};
        const QString written = m_grid->Cells(m_col, m_row);
        if (isHeading())
            return written;
        return QString::fromLatin1(model::spokenChordName(written.toLatin1().toStdString()));
    }
    // Only the program writes cells.
    void setText(QAccessible::Text, const QString &) override {}

    QRect rect() const override
    {
        if (!m_grid)
            return {};
        const QRect cell = m_grid->cellRect(m_col, m_row);
        return QRect(m_grid->mapToGlobal(cell.topLeft()), cell.size());
    }

    QAccessible::Role role() const override
    {
        return isHeading() ? QAccessible::ColumnHeader : QAccessible::Cell;
    }

    QAccessible::State state() const override
    {
        QAccessible::State state;
        if (!m_grid) {
            state.invalid = true;
            return state;
        }
        if (isHeading())
            return state;
        // The selection is a highlight that nothing acts on: nothing copies
        // or uses a selected run. A cell says whether it lies in it, but
        // does not claim to be selectable, so that a screen reader reading
        // a row does not put "not selected" before every chord.
        state.selected = isSelected();
        state.focusable = true;
        state.focused = m_grid->hasFocus() && m_grid->currentColumn() == m_col;
        return state;
    }

    void *interface_cast(QAccessible::InterfaceType type) override
    {
        // Headings are the table's headers, not cells of its rows.
        if (type == QAccessible::TableCellInterface && !isHeading())
            return static_cast<QAccessibleTableCellInterface *>(this);
        return nullptr;
    }

    bool isSelected() const override { return m_grid && m_grid->isSelected(m_col, m_row); }
    QList<QAccessibleInterface *> columnHeaderCells() const override;
    QList<QAccessibleInterface *> rowHeaderCells() const override { return {}; }
    int columnIndex() const override { return m_col; }
    int rowIndex() const override { return m_row - FirstBodyRow; }
    int columnExtent() const override { return 1; }
    int rowExtent() const override { return 1; }
    QAccessibleInterface *table() const override { return parent(); }

    TStringGrid *grid() const { return m_grid; }
    int col() const { return m_col; }
    int row() const { return m_row; }

private:
    bool isHeading() const { return m_row == HeadingRow; }
    bool carriesRemark() const;

    QPointer<TStringGrid> m_grid;
    int m_col;
    int m_row;
};

// A grid as a table: the heading cells first, as column headers, then the
// chord cells row by row.
class GridAccessible : public QAccessibleWidget, public QAccessibleTableInterface
{
public:
    explicit GridAccessible(TStringGrid *grid) : QAccessibleWidget(grid, QAccessible::Table) {}

    ~GridAccessible() override
    {
        for (const auto &[cell, id] : m_cellIds)
            QAccessible::deleteAccessibleInterface(id);
    }

    // Grid coordinates: row 0 is the heading row. Nothing outside the grid.
    QAccessibleInterface *cell(int col, int row) const
    {
        if (col < 0 || row < 0 || col >= grid()->colCount() || row >= grid()->rowCount())
            return nullptr;
        const auto found = m_cellIds.find({col, row});
        if (found != m_cellIds.end())
            return QAccessible::accessibleInterface(found->second);
        auto *created = new GridCellAccessible(grid(), col, row);
        m_cellIds.emplace(std::pair(col, row), QAccessible::registerAccessibleInterface(created));
        return created;
    }

    // QAccessibleInterface
    int childCount() const override { return grid()->colCount() * grid()->rowCount(); }

    QAccessibleInterface *child(int index) const override
    {
        const int columns = grid()->colCount();
        if (index < 0 || columns == 0)
            return nullptr;
        return cell(index % columns, index / columns);
    }

    int indexOfChild(const QAccessibleInterface *child) const override
    {
        const auto *cell = dynamic_cast<const GridCellAccessible *>(child);
        if (!cell || cell->grid() != grid())
            return -1;
        return cell->row() * grid()->colCount() + cell->col();
    }

    QAccessibleInterface *childAt(int x, int y) const override
    {
        const auto hit = grid()->cellAt(grid()->mapFromGlobal(QPoint(x, y)));
        return hit ? cell(hit->col, hit->row) : nullptr;
    }

    // The current cell, while the grid has the keyboard.
    QAccessibleInterface *focusChild() const override
    {
        return grid()->hasFocus() ? cell(grid()->currentColumn(), FirstBodyRow) : nullptr;
    }

    void *interface_cast(QAccessible::InterfaceType type) override
    {
        if (type == QAccessible::TableInterface)
            return static_cast<QAccessibleTableInterface *>(this);
        return QAccessibleWidget::interface_cast(type);
    }

    // QAccessibleTableInterface, in table coordinates: row 0 is the first
    // chord row.
    QAccessibleInterface *caption() const override { return nullptr; }
    QAccessibleInterface *summary() const override { return nullptr; }

    QAccessibleInterface *cellAt(int row, int column) const override
    {
        return row < 0 ? nullptr : cell(column, row + FirstBodyRow);
    }

    int selectedCellCount() const override { return int(selectedCells().size()); }

    QList<QAccessibleInterface *> selectedCells() const override
    {
        QList<QAccessibleInterface *> cells;
        for (int row = 0; row < rowCount(); ++row)
            for (int column = 0; column < columnCount(); ++column)
                if (grid()->isSelected(column, row + FirstBodyRow))
                    cells << cellAt(row, column);
        return cells;
    }

    QString columnDescription(int column) const override { return grid()->Cells(column, HeadingRow); }
    QString rowDescription(int) const override { return {}; }
    int columnCount() const override { return grid()->colCount(); }
    int rowCount() const override { return grid()->rowCount() - FirstBodyRow; }
    int selectedColumnCount() const override { return int(selectedColumns().size()); }
    int selectedRowCount() const override { return int(selectedRows().size()); }

    QList<int> selectedColumns() const override
    {
        QList<int> columns;
        for (int column = 0; column < columnCount(); ++column)
            if (isColumnSelected(column))
                columns << column;
        return columns;
    }

    QList<int> selectedRows() const override
    {
        QList<int> rows;
        for (int row = 0; row < rowCount(); ++row)
            if (isRowSelected(row))
                rows << row;
        return rows;
    }

    bool isColumnSelected(int column) const override
    {
        for (int row = 0; row < rowCount(); ++row)
            if (!grid()->isSelected(column, row + FirstBodyRow))
                return false;
        return rowCount() > 0;
    }

    bool isRowSelected(int row) const override
    {
        for (int column = 0; column < columnCount(); ++column)
            if (!grid()->isSelected(column, row + FirstBodyRow))
                return false;
        return columnCount() > 0;
    }

    // The selection belongs to the user's pointer and keys; assistive
    // technology reads it but does not set it.
    bool selectRow(int) override { return false; }
    bool selectColumn(int) override { return false; }
    bool unselectRow(int) override { return false; }
    bool unselectColumn(int) override { return false; }

    // Cells read the grid afresh on every question: nothing to bring up to date.
    void modelChange(QAccessibleTableModelChangeEvent *) override {}

    // A screen reader told that a cell has the focus reads the table's name
    // and size on the way in, but not its description: the cell the focus
    // came in on says the grid's remark instead, until the current cell
    // moves on. -1 puts it on no cell.
    void putRemarkOn(int column) { m_remarkColumn = column; }
    bool remarkIsOn(int column) const { return column == m_remarkColumn; }

private:
    TStringGrid *grid() const { return static_cast<TStringGrid *>(widget()); }

    mutable std::map<std::pair<int, int>, QAccessible::Id> m_cellIds;
    int m_remarkColumn = -1;
};

QList<QAccessibleInterface *> GridCellAccessible::columnHeaderCells() const
{
    const auto *table = dynamic_cast<const GridAccessible *>(parent());
    return table ? QList<QAccessibleInterface *>{table->cell(m_col, HeadingRow)} : QList<QAccessibleInterface *>{};
}

bool GridCellAccessible::carriesRemark() const
{
    const auto *table = dynamic_cast<const GridAccessible *>(parent());
    return table && m_grid->hasFocus() && !isHeading() && table->remarkIsOn(m_col);
}

// The key selector: its text is its value, whether an item or what the user
// has typed ("Armadura" at start).
class ComboBoxAccessible : public QAccessibleWidget
{
public:
    explicit ComboBoxAccessible(TComboBox *comboBox) : QAccessibleWidget(comboBox, QAccessible::ComboBox) {}

    QString text(QAccessible::Text t) const override
    {
        return t == QAccessible::Value ? comboBox()->Text() : QAccessibleWidget::text(t);
    }

    QAccessible::State state() const override
    {
        QAccessible::State state = QAccessibleWidget::state();
        state.expandable = true;
        state.expanded = comboBox()->DroppedDown();
        state.collapsed = !state.expanded;
        return state;
    }

    QStringList actionNames() const override
    {
        return QStringList{showMenuAction()} + QAccessibleWidget::actionNames();
    }

    void doAction(const QString &actionName) override
    {
        if (actionName == showMenuAction())
            comboBox()->setDroppedDown(!comboBox()->DroppedDown());
        else
            QAccessibleWidget::doAction(actionName);
    }

    QStringList keyBindingsForAction(const QString &actionName) const override
    {
        if (actionName == showMenuAction())
            return {QStringLiteral("F4")};
        return QAccessibleWidget::keyBindingsForAction(actionName);
    }

private:
    TComboBox *comboBox() const { return static_cast<TComboBox *>(widget()); }
};

// A player's Play button. The widget itself stays enabled when Play is
// greyed (Space still reaches it), so availability is reported apart from
// Qt's enabled flag.
class ScalePlayerAccessible : public QAccessibleWidget
{
public:
    explicit ScalePlayerAccessible(playback::ScalePlayer *player) : QAccessibleWidget(player, QAccessible::Button) {}

    QString text(QAccessible::Text t) const override
    {
        const QString text = QAccessibleWidget::text(t);
        if (t == QAccessible::Name && text.isEmpty())
            return QStringLiteral("Tocar");
        return text;
    }

    QAccessible::State state() const override
    {
        QAccessible::State state = QAccessibleWidget::state();
        state.disabled = state.disabled || !player()->PlayAvailable();
        state.pressed = player()->DrawnPressed();
        return state;
    }

    QStringList actionNames() const override
    {
        return QStringList{pressAction()} + QAccessibleWidget::actionNames();
    }

    void doAction(const QString &actionName) override
    {
        if (actionName != pressAction()) {
            QAccessibleWidget::doAction(actionName);
            return;
        }
        // A pointer click, so that the press greys Play and reports a
        // failure exactly as one does; like the pointer, it does nothing
        // while Play is greyed.
        if (!player()->PlayAvailable())
            return;
        const QPointF centre = QRectF(player()->rect()).center();
        const QPointF global = player()->mapToGlobal(centre);
        QMouseEvent press(QEvent::MouseButtonPress, centre, global, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(player(), &press);
        QMouseEvent release(QEvent::MouseButtonRelease, centre, global, Qt::LeftButton, Qt::NoButton,
                            Qt::NoModifier);
        QCoreApplication::sendEvent(player(), &release);
    }

    QStringList keyBindingsForAction(const QString &actionName) const override
    {
        if (actionName == pressAction())
            return {QStringLiteral("Space")};
        return QAccessibleWidget::keyBindingsForAction(actionName);
    }

private:
    playback::ScalePlayer *player() const { return static_cast<playback::ScalePlayer *>(widget()); }
};

QAccessibleInterface *describe(const QString &, QObject *object)
{
    // The main window, which a plain widget would leave without a role.
    if (auto *form = qobject_cast<TForm1 *>(object))
        return new QAccessibleWidget(form, QAccessible::Window);
    if (auto *grid = qobject_cast<TStringGrid *>(object))
        return new GridAccessible(grid);
    if (auto *comboBox = qobject_cast<TComboBox *>(object))
        return new ComboBoxAccessible(comboBox);
    if (auto *player = qobject_cast<playback::ScalePlayer *>(object))
        return new ScalePlayerAccessible(player);
    return nullptr;
}

} // namespace

void installAccessibility()
{
    QAccessible::installFactory(describe);
}

namespace {

GridAccessible *tableOf(TStringGrid *grid)
{
    return dynamic_cast<GridAccessible *>(QAccessible::queryAccessibleInterface(grid));
}

void announceCell(GridAccessible *table, int col, int row, QAccessible::Event what)
{
    QAccessibleInterface *cell = table ? table->cell(col, row) : nullptr;
    if (!cell)
        return;
    QAccessibleEvent event(cell, what);
    QAccessible::updateAccessibility(&event);
}

void announceFocusedCell(TStringGrid *grid, bool withRemark)
{
    if (!QAccessible::isActive() || !grid->hasFocus())
        return;
    GridAccessible *table = tableOf(grid);
    if (table)
        table->putRemarkOn(withRemark ? grid->currentColumn() : -1);
    announceCell(table, grid->currentColumn(), FirstBodyRow, QAccessible::Focus);
}

} // namespace

void announceCellText(TStringGrid *grid, int col, int row)
{
    if (QAccessible::isActive())
        announceCell(tableOf(grid), col, row, QAccessible::NameChanged);
}

void announceFocusIn(TStringGrid *grid)
{
    announceFocusedCell(grid, true);
}

void announceCurrentCell(TStringGrid *grid)
{
    announceFocusedCell(grid, false);
}

} // namespace quiralto::ui
