// The masked line edit and its hidden twin.
#include "foundation/passwdlineedit.h"

#include <limits>
#include <utility>

#include <QKeyEvent>
#include <QKeySequence>
#include <QMouseEvent>
#include <QStyle>

#include "foundation/fonts.h"
#include "foundation/passwdevents.h"

namespace
{

// The keys that only move or make a selection.
bool isSelectionKey(QKeyEvent* e)
{
    static const QKeySequence::StandardKey keys[] = {
        QKeySequence::SelectAll,          QKeySequence::SelectNextChar,
        QKeySequence::SelectPreviousChar, QKeySequence::SelectNextWord,
        QKeySequence::SelectPreviousWord, QKeySequence::SelectStartOfLine,
        QKeySequence::SelectEndOfLine,    QKeySequence::SelectStartOfBlock,
        QKeySequence::SelectEndOfBlock,   QKeySequence::SelectStartOfDocument,
        QKeySequence::SelectEndOfDocument,
    };
    for (QKeySequence::StandardKey key : keys) {
        if (e->matches(key))
            return true;
    }
    return false;
}

// The hidden editor that holds the real text. Qt's line edit copies its
// selection to the clipboard on copy, cut and the two line deletions, and
// to X11's selection after every key it handles and every left-button
// release; here the selection is the real text, so none of those run in the
// twin. The shown editor gets every event first and does the copying, of
// the text it shows.
class Twin : public QLineEdit
{
public:
    explicit Twin(QLineEdit* shown)
        : shown(shown)
    {
        // A window of its own, though owned by the shown editor: a child
        // would be shown with its parent, and a Tab given to it would move
        // the focus within the dialog a second time.
        setParent(shown, Qt::Window);
        setDragEnabled(false);
    }

    bool take(QEvent* e) { return QLineEdit::event(e); }

protected:
    void keyPressEvent(QKeyEvent* e) override
    {
        e->accept();
        if (e->matches(QKeySequence::Copy))
            return;
        if (e->matches(QKeySequence::Cut) || e->matches(QKeySequence::DeleteEndOfLine)
            || e->matches(QKeySequence::DeleteCompleteLine)) {
            if (isReadOnly())
                return;
            if (e->matches(QKeySequence::DeleteEndOfLine))
                setSelection(cursorPosition(), text().size() - cursorPosition());
            else if (e->matches(QKeySequence::DeleteCompleteLine))
                selectAll();
            if (hasSelectedText())
                del();
            return;
        }
        // Qt's key handling ends by copying whatever is selected; an undo
        // with nothing to undo leaves the selection there.
        if (e->matches(QKeySequence::Undo) || e->matches(QKeySequence::Redo)) {
            if (!isReadOnly())
                e->matches(QKeySequence::Undo) ? undo() : redo();
            return;
        }
        // A key after which the shown editor holds a selection has only
        // moved or made one; the shown editor passes its selection on.
        if (isSelectionKey(e) || shown->hasSelectedText())
            return;
        QLineEdit::keyPressEvent(e);
    }

    void mouseReleaseEvent(QMouseEvent* e) override
    {
        // The middle button's paste from X11's selection still acts here.
        if (e->button() == Qt::LeftButton) {
            e->accept();
            return;
        }
        QLineEdit::mouseReleaseEvent(e);
    }

private:
    const QLineEdit* shown;
};

// The end of the selection that stays put while the cursor moves; the
// cursor itself without a selection.
int anchorOf(const QLineEdit* edit)
{
    if (!edit->hasSelectedText())
        return edit->cursorPosition();
    return edit->cursorPosition() == edit->selectionStart() ? edit->selectionEnd()
                                                             : edit->selectionStart();
}

}

PasswdLineEdit::PasswdLineEdit(const QRegExp& regExp, QWidget* parent)
    : QLineEdit(parent)
    , masking(regExp)
{
    twin = new Twin(this);
    // A URL may be longer than a line edit's default limit of 32767
    // characters: cut, it would be written back cut.
    setMaxLength(std::numeric_limits<int>::max());
    twin->setMaxLength(maxLength());
    setFont(Fonts::makeFixed(font()));
    connect(twin, &QLineEdit::textChanged, this, &PasswdLineEdit::textChanged);
    twin->setFont(font());
    twin->setGeometry(geometry());
    setAcceptDrops(false);
    // A drag would carry the selection away and, moved, leave the twin
    // holding text the user no longer sees.
    setDragEnabled(false);
}

void PasswdLineEdit::setRealText(QString text)
{
    twin->setMaxLength(maxLength());
    settingWhole = true;
    twin->setText(text);
    settingWhole = false;
}

QString PasswdLineEdit::realText() const
{
    return twin->text();
}

void PasswdLineEdit::setPasswordFinder(PasswdMasking::Finder finder)
{
    masking.setFinder(std::move(finder));
    showMasked(twin->text(), -1);
}

bool PasswdLineEdit::event(QEvent* e)
{
    const bool forwarded = PasswdEvents::isForwarded(e->type());
    if (forwarded && PasswdEvents::isInput(e->type()))
        followShown();
    const bool result = QLineEdit::event(e);
    if (!forwarded)
        return result;
    if (twin->isReadOnly() != isReadOnly())
        twin->setReadOnly(isReadOnly());
    if (twin->maxLength() != maxLength())
        twin->setMaxLength(maxLength());
    // Whether the event goes on to the parent (Return to the dialog's
    // default button) is this editor's answer, not the twin's.
    const bool accepted = e->isAccepted();
    static_cast<Twin*>(twin)->take(e);
    e->setAccepted(accepted);
    if (PasswdEvents::isInput(e->type()))
        followShown();
    return result;
}

void PasswdLineEdit::resizeEvent(QResizeEvent* e)
{
    QLineEdit::resizeEvent(e);
    twin->setGeometry(geometry());
}

void PasswdLineEdit::contextMenuEvent(QContextMenuEvent*)
{
    // No menu, so no way to copy the text through it.
}

void PasswdLineEdit::textChanged(QString str)
{
    const int pos = twin->cursorPosition();
    if (!showMasked(str, settingWhole ? -1 : pos)) {
        // The form reads the real text when this editor's text changes. It
        // changed before the twin had the edit; setText() would say nothing
        // now that the text is the same, so say it once the real text is
        // current.
        emit QLineEdit::textChanged(text());
    }
    // Moving the cursor commits an input method's unfinished text: move
    // only what is not there yet.
    if (cursorPosition() != pos || hasSelectedText())
        setCursorPosition(pos);
    if (twin->cursorPosition() != pos || twin->hasSelectedText())
        twin->setCursorPosition(pos);
    emit realTextChanged(twin->text());
}

bool PasswdLineEdit::showMasked(const QString& real, int cursor)
{
    const QChar mask(style()->styleHint(QStyle::SH_LineEdit_PasswordCharacter, nullptr, this));
    const QString copy = masking.shown(real, cursor, mask);
    if (text() == copy)
        return false;
    setText(copy);
    return true;
}

void PasswdLineEdit::followShown()
{
    // This editor's own undo can leave a text that is not the masked real
    // one.
    if (showMasked(twin->text(), -1))
        setCursorPosition(twin->cursorPosition());
    // Word boundaries and pixel positions differ between the shown and the
    // real text, and this editor scrolls its text as its cursor moves while
    // the hidden twin does not: the cursor and the selection the user sees
    // are where the twin's edits act.
    const int cursor = cursorPosition();
    const int anchor = anchorOf(this);
    if (twin->cursorPosition() == cursor && anchorOf(twin) == anchor)
        return;
    if (anchor == cursor)
        twin->setCursorPosition(cursor);
    else
        twin->setSelection(anchor, cursor - anchor);
}
