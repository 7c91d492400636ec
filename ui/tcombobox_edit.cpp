#include "ui/tcombobox_edit.h"

#include <QContextMenuEvent>
#include <QMenu>

#include <memory>

namespace quiralto::ui {

bool TComboBoxEdit::event(QEvent *event)
{
    // Comparing the text around the whole event, rather than listening to
    // textEdited(), reports an edit only after the field has updated its
    // display and undo history, and never reports a text set by code.
    const QString before = text();
    const bool handled = QLineEdit::event(event);
    if (text() != before)
        emit userEdited();
    return handled;
}

void TComboBoxEdit::contextMenuEvent(QContextMenuEvent *event)
{
    // The menu runs to its end inside this event, so a paste or cut chosen
    // from it is an edit of this event like any other, reported once the
    // menu has gone.
    const std::unique_ptr<QMenu> menu(createStandardContextMenu());
    menu->exec(event->globalPos());
}

} // namespace quiralto::ui
