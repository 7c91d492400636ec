#pragma once

#include <QStringList>
#include <QWidget>

namespace quiralto::ui {

// The key selector's open list: a pop-up under the box, one row per item,
// the selected item highlighted until the pointer highlights another.
// It takes no keys of its own; its owner watches them.
class TComboBoxList : public QWidget
{
    Q_OBJECT

public:
    explicit TComboBoxList(QWidget *owner);

    void setItems(const QStringList &items);
    void setDropDownCount(int count);
    void setCurrentRow(int row);

    // Opens under \a ownerRect (global coordinates), as wide as it, or above
    // it when the screen has no room below.
    void popUp(const QRect &ownerRect);

signals:
    void rowClicked(int row);

protected:
    bool event(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    int rowHeight() const;
    int visibleRowCount() const;
    int rowAt(QPoint pos) const;
    QRect rowRect(int row) const;

    int highlightedRow() const;
    void setHoverRow(int row);
    void scrollTo(int firstRow);

    QStringList m_items;
    int m_dropDownCount = 8;
    int m_currentRow = -1;
    int m_hoverRow = -1;
    int m_firstRow = 0;
};

} // namespace quiralto::ui
