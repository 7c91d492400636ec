#pragma once

#include <QStringList>
#include <QWidget>

class QKeyEvent;

namespace quiralto::ui {

class TComboBoxEdit;
class TComboBoxList;

// The key selector: an edit field with a drop button and a list of items
// that completes what the user types. OnChange reports the user's changes
// only; everything set from code is silent. Its event code, and that of its
// field and list, only edits, draws and signals, so it cannot fail; the
// program's handlers of its signals are connected through the boundary.
class TComboBox : public QWidget
{
    Q_OBJECT

public:
    explicit TComboBox(QWidget *parent = nullptr);

    void setItems(const QStringList &items);
    QStringList Items() const { return m_items; }

    // -1 when no item is selected.
    int ItemIndex() const { return m_itemIndex; }
    void setItemIndex(int index);

    QString Text() const;
    void setText(const QString &text);

    // How many rows the open list shows at most.
    void setDropDownCount(int count);

    bool DroppedDown() const;
    void setDroppedDown(bool dropped);

    QSize sizeHint() const override;

signals:
    void OnChange(quiralto::ui::TComboBox *sender);
    // The user shows that a choice may be coming: the pointer entered the
    // selector, or the user gave it the focus or opened its list. Code that
    // moves the focus here or opens the list raises nothing.
    void approached(quiralto::ui::TComboBox *sender);

protected:
    bool event(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void changeEvent(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;

private:
    bool handleKey(const QKeyEvent &key);
    void showListForUser(bool shown);
    bool completeTyped(const QString &typed);
    void eraseBackward();
    void stepSelection(int step);
    void chooseItem(int index);
    void userEdited();

    void selectSilently(int index);
    int firstItemBeginning(const QString &text) const;
    void followAppearance();

    QRect buttonRect() const;
    QRect editRect() const;

    QStringList m_items;
    int m_itemIndex = -1;
    TComboBoxEdit *m_edit;
    TComboBoxList *m_list;
};

} // namespace quiralto::ui
