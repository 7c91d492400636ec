#include "ui/tcombobox.h"

#include "ui/tcombobox_edit.h"
#include "ui/tcombobox_list.h"
#include "windowing/cancelmode.h"
#include "windowing/drawing.h"
#include "windowing/systemcolors.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QPainter>

#include <algorithm>
#include <limits>

namespace quiralto::ui {

namespace {

using windowing::SystemColor;
using windowing::systemColor;

constexpr int BorderWidth = 2;
// The sunken border and two pixels of air above and below the text: 21
// pixels for the window font's 13.
constexpr int FrameHeight = 2 * BorderWidth + 4;
constexpr int ArrowWidth = 7;
// Wide enough for a short text of about twenty characters.
constexpr int HintCharacters = 20;

bool isTypedCharacter(const QKeyEvent &key)
{
    if (key.text().isEmpty() || (key.modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)))
        return false;
    const QString text = key.text();
    return std::none_of(text.begin(), text.end(),
                        [](QChar c) { return c.category() == QChar::Other_Control; });
}

void drawDownArrow(QPainter &painter, QPoint centre, const QColor &color)
{
    const int rows = (ArrowWidth + 1) / 2;
    const int top = centre.y() - rows / 2;
    for (int row = 0; row < rows; ++row)
        painter.fillRect(QRect(centre.x() - ArrowWidth / 2 + row, top + row, ArrowWidth - 2 * row, 1), color);
}

} // namespace

TComboBox::TComboBox(QWidget *parent)
    : QWidget(parent)
    , m_edit(new TComboBoxEdit(this))
    , m_list(new TComboBoxList(this))
{
    setFocusPolicy(Qt::StrongFocus);
    setFocusProxy(m_edit);
    m_edit->setFrame(false);
    // The text has no length limit; the field's own default stops at 32767.
    m_edit->setMaxLength(std::numeric_limits<int>::max());
    m_edit->installEventFilter(this);
    m_list->installEventFilter(this);

    connect(m_edit, &TComboBoxEdit::userEdited, this, &TComboBox::userEdited);
    connect(m_list, &TComboBoxList::rowClicked, this, [this](int row) noexcept {
        setDroppedDown(false);
        chooseItem(row);
    });
    followAppearance();
}

void TComboBox::setItems(const QStringList &items)
{
    m_items = items;
    m_list->setItems(items);
    m_itemIndex = -1;
}

void TComboBox::setItemIndex(int index)
{
    const int valid = index >= 0 && index < m_items.size() ? index : -1;
    selectSilently(valid);
    // The text shows the selected item, and no item once none is selected.
    m_edit->setText(valid >= 0 ? m_items.at(valid) : QString());
}

QString TComboBox::Text() const
{
    return m_edit->text();
}

void TComboBox::setText(const QString &text)
{
    // A text that is exactly an item's selects that item, so index and text
    // never disagree after a change from code.
    m_edit->setText(text);
    selectSilently(m_items.indexOf(text));
}

void TComboBox::setDropDownCount(int count)
{
    m_list->setDropDownCount(count);
}

bool TComboBox::DroppedDown() const
{
    return m_list->isVisible();
}

void TComboBox::setDroppedDown(bool dropped)
{
    if (dropped == DroppedDown())
        return;
    if (dropped)
        m_list->popUp(QRect(mapToGlobal(QPoint(0, 0)), size()));
    else
        m_list->hide();
    update(buttonRect());
}

QSize TComboBox::sizeHint() const
{
    const QFontMetrics metrics = fontMetrics();
    return QSize(metrics.averageCharWidth() * HintCharacters, metrics.height() + FrameHeight);
}

bool TComboBox::event(QEvent *event)
{
    if (event->type() == windowing::CancelModeEvent::eventType()) {
        setDroppedDown(false);
        return true;
    }
    if (event->type() == QEvent::Enter)
        emit approached(this);
    return QWidget::event(event);
}

bool TComboBox::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_edit && event->type() == QEvent::KeyPress)
        return handleKey(static_cast<const QKeyEvent &>(*event));
    if (watched == m_edit && event->type() == QEvent::FocusIn
        && static_cast<const QFocusEvent *>(event)->reason() != Qt::OtherFocusReason)
        emit approached(this);

    if (watched == m_list) {
        switch (event->type()) {
        case QEvent::KeyPress:
            // While the list is open the keyboard goes to it, but every key
            // still means what it means in the edit field.
            QCoreApplication::sendEvent(m_edit, event);
            return true;
        case QEvent::MouseButtonPress: {
            // A press on the drop button closes the open list and ends
            // there; handed on to the button, it would open it again.
            const QPoint global = static_cast<const QMouseEvent *>(event)->globalPosition().toPoint();
            m_list->setAttribute(Qt::WA_NoMouseReplay, buttonRect().contains(mapFromGlobal(global)));
            return false;
        }
        case QEvent::Hide:
            update(buttonRect());
            return false;
        default:
            break;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void TComboBox::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::FontChange || event->type() == QEvent::PaletteChange)
        followAppearance();
    QWidget::changeEvent(event);
}

void TComboBox::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    const QPalette &colors = palette();
    painter.fillRect(rect(), systemColor(SystemColor::Window, colors));

    const QRect button = buttonRect();
    painter.fillRect(button, systemColor(SystemColor::BtnFace, colors));
    QPoint arrowCentre = button.center();
    if (DroppedDown()) {
        const QColor shadow = systemColor(SystemColor::BtnShadow, colors);
        windowing::drawEdge(painter, button, shadow, shadow);
        arrowCentre += QPoint(1, 1);
    } else {
        windowing::drawEdge(painter, button, systemColor(SystemColor::BtnLight, colors),
                            systemColor(SystemColor::BtnDkShadow, colors));
        windowing::drawRaisedInnerEdge(painter, button.adjusted(1, 1, -1, -1), colors);
    }
    drawDownArrow(painter, arrowCentre, systemColor(SystemColor::WindowText, colors));

    windowing::drawSunkenBorder(painter, rect(), colors);
}

void TComboBox::resizeEvent(QResizeEvent *)
{
    m_edit->setGeometry(editRect());
}

void TComboBox::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton || !buttonRect().contains(event->position().toPoint())) {
        QWidget::mousePressEvent(event);
        return;
    }
    // The whole text is selected, so that typing after a look at the list
    // starts a new search.
    m_edit->selectAll();
    showListForUser(true);
}

bool TComboBox::handleKey(const QKeyEvent &key)
{
    const bool plain = !(key.modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier));
    switch (key.key()) {
    case Qt::Key_Up:
    case Qt::Key_Down:
        if (key.modifiers() & Qt::AltModifier)
            showListForUser(!DroppedDown());
        else
            stepSelection(key.key() == Qt::Key_Down ? 1 : -1);
        return true;
    case Qt::Key_F4:
        if (!plain)
            return false;
        showListForUser(!DroppedDown());
        return true;
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Escape:
        if (!DroppedDown())
            return false;
        // Esc keeps what the arrows chose: the window has been told of it.
        setDroppedDown(false);
        return true;
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        // The focus moves on only once the list is closed.
        return DroppedDown();
    case Qt::Key_Backspace:
        if (!plain)
            return false;
        eraseBackward();
        return true;
    default:
        return isTypedCharacter(key) && completeTyped(key.text());
    }
}

void TComboBox::showListForUser(bool shown)
{
    setDroppedDown(shown);
    if (shown)
        emit approached(this);
}

// Returns false, with no item selected, when no item begins with what the
// user has typed: the field then takes the character as any text field does.
bool TComboBox::completeTyped(const QString &typed)
{
    const QString text = m_edit->text();
    // A typed character replaces the selection; with none, it is searched
    // for as if added at the end, wherever the caret stands.
    const QString candidate = (m_edit->hasSelectedText() ? text.left(m_edit->selectionStart()) : text) + typed;
    const int found = firstItemBeginning(candidate);
    if (found < 0) {
        selectSilently(-1);
        return false;
    }
    const int before = m_itemIndex;
    selectSilently(found);
    // The typed part keeps the letter case the user typed.
    const QString completed = candidate + m_items.at(found).mid(candidate.size());
    m_edit->setText(completed);
    m_edit->setSelection(candidate.size(), completed.size() - candidate.size());
    if (found != before)
        emit OnChange(this);
    return true;
}

void TComboBox::eraseBackward()
{
    // Backspace always reports, even when it removes nothing; an empty text
    // keeps the selection it had.
    if (!m_edit->text().isEmpty()) {
        m_edit->backspace();
        selectSilently(-1);
    }
    emit OnChange(this);
}

void TComboBox::stepSelection(int step)
{
    if (m_items.isEmpty())
        return;
    // With nothing selected yet, the arrow enters the list from the end it
    // points away from: Down takes the first item, Up the last.
    const int last = m_items.size() - 1;
    const int next = m_itemIndex < 0 ? (step > 0 ? 0 : last) : std::clamp(m_itemIndex + step, 0, last);
    if (next != m_itemIndex)
        chooseItem(next);
}

void TComboBox::chooseItem(int index)
{
    // Choosing the item that is already selected, with its text intact,
    // changes nothing and reports nothing: the window would otherwise reopen
    // every player, and so stop a scale that is playing, for no change.
    const bool changed = index != m_itemIndex || m_edit->text() != m_items.at(index);
    selectSilently(index);
    m_edit->setText(m_items.at(index));
    m_edit->selectAll();
    if (changed)
        emit OnChange(this);
}

void TComboBox::userEdited()
{
    // The selection survives an edit only while its item still begins with
    // the text, so the index never names a key the text has left.
    if (m_itemIndex >= 0 && !m_items.at(m_itemIndex).startsWith(m_edit->text(), Qt::CaseInsensitive))
        selectSilently(-1);
    emit OnChange(this);
}

void TComboBox::selectSilently(int index)
{
    m_itemIndex = index;
    m_list->setCurrentRow(index);
}

int TComboBox::firstItemBeginning(const QString &text) const
{
    // Case folding maps "Á" to "á" but never "á" to "a": letter case is
    // ignored, accents are not.
    const auto found = std::find_if(m_items.begin(), m_items.end(),
                                    [&](const QString &item) { return item.startsWith(text, Qt::CaseInsensitive); });
    return found == m_items.end() ? -1 : int(found - m_items.begin());
}

void TComboBox::followAppearance()
{
    // The open list is a window of its own and inherits neither the font
    // nor the colours of the box.
    m_list->setFont(font());
    m_list->setPalette(palette());
    QPalette editColors = palette();
    editColors.setColor(QPalette::Base, systemColor(SystemColor::Window, palette()));
    editColors.setColor(QPalette::Text, systemColor(SystemColor::WindowText, palette()));
    editColors.setColor(QPalette::Highlight, systemColor(SystemColor::Highlight, palette()));
    editColors.setColor(QPalette::HighlightedText, systemColor(SystemColor::HighlightText, palette()));
    m_edit->setPalette(editColors);
}

QRect TComboBox::buttonRect() const
{
    const QRect inner = rect().adjusted(BorderWidth, BorderWidth, -BorderWidth, -BorderWidth);
    return QRect(inner.right() - inner.height() + 1, inner.top(), inner.height(), inner.height());
}

QRect TComboBox::editRect() const
{
    const QRect inner = rect().adjusted(BorderWidth, BorderWidth, -BorderWidth, -BorderWidth);
    return QRect(inner.topLeft(), QSize(inner.width() - buttonRect().width(), inner.height()));
}

} // namespace quiralto::ui
