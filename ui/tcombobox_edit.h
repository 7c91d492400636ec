#pragma once

#include <QLineEdit>

namespace quiralto::ui {

// The key selector's edit field. Whatever the user does to the text with the
// field's own editing (typing, Delete, cut, paste, undo, dragging, the
// context menu) is reported by userEdited() once the field has finished with
// the event, so that a slot that throws leaves the field whole.
class TComboBoxEdit : public QLineEdit
{
    Q_OBJECT

public:
    using QLineEdit::QLineEdit;

signals:
    void userEdited();

protected:
    bool event(QEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
};

} // namespace quiralto::ui
