// The masked text edit and its hidden twin.
#include "foundation/passwdtextedit.h"

#include <utility>

#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QScrollBar>
#include <QStyle>
#include <QTextCursor>

#include "foundation/fonts.h"
#include "foundation/passwdevents.h"

namespace
{

QChar passwordCharacter(const QWidget* widget)
{
    return QChar(widget->style()->styleHint(QStyle::SH_LineEdit_PasswordCharacter, nullptr, widget));
}

// The hidden editor that holds the real text. Whatever a text edit puts on
// the clipboard, into X11's selection or into a drag passes through
// createMimeDataFromSelection(): here it gives the shown editor's text at
// the selection, which is the masked copy of the real text.
class Twin : public HTextEdit
{
public:
    Twin(QTextEdit* shown, int columns, int rows)
        : HTextEdit(columns, rows, nullptr)
        , shown(shown)
    {
        // A window of its own, though owned by the shown editor: a child
        // would be shown with its parent, and a Tab given to it could move
        // the focus within the dialog a second time.
        setParent(shown, Qt::Window);
        setAcceptRichText(false);
    }

    bool take(QEvent* e) { return HTextEdit::event(e); }
    bool takeOnViewport(QEvent* e) { return HTextEdit::viewportEvent(e); }
    void clearViewportMargins() { setViewportMargins(0, 0, 0, 0); }

protected:
    QMimeData* createMimeDataFromSelection() const override
    {
        const QTextCursor cursor = textCursor();
        const int start = cursor.selectionStart();
        const QString text = shown->toPlainText();
        QMimeData* data = new QMimeData;
        data->setText(text.mid(start, cursor.selectionEnd() - start));
        return data;
    }

    void keyPressEvent(QKeyEvent* e) override
    {
        // Where Tab moves the focus out of the shown editor, it must not
        // put a tab into the real text.
        const bool tab = e->key() == Qt::Key_Tab || e->key() == Qt::Key_Backtab;
        if (tab && shown->tabChangesFocus() && !(e->modifiers() & (Qt::ControlModifier | Qt::AltModifier))) {
            e->ignore();
            return;
        }
        HTextEdit::keyPressEvent(e);
    }

private:
    const QTextEdit* shown;
};

Twin* twinOf(HTextEdit* twin)
{
    return static_cast<Twin*>(twin);
}

}

PasswdTextEdit::PasswdTextEdit(const QRegExp& regExp, QWidget* parent)
    : PasswdTextEdit(regExp, -1, -1, parent)
{
}

PasswdTextEdit::PasswdTextEdit(const QRegExp& regExp, int columns, int rows, QWidget* parent)
    : HTextEdit(columns, rows, parent)
    , masking(regExp)
{
    twin = new Twin(this, columns, rows);
    init();
}

void PasswdTextEdit::init()
{
    setFont(Fonts::makeFixed(font()));
    connect(twin, &QTextEdit::textChanged, this, &PasswdTextEdit::textChanged);
    twin->setFont(font());
    twin->setGeometry(geometry());
    twinOf(twin)->clearViewportMargins();
    setAcceptDrops(false);
    setAcceptRichText(false);
    // The twin's history holds every edit; this editor's text is rebuilt
    // from it, and an undo of its own would leave the two apart.
    setUndoRedoEnabled(false);
    // Scrolling by wheel, scroll bar or keys moves both views alike, so a
    // position under the mouse is the same text position in both.
    connect(horizontalScrollBar(), &QScrollBar::valueChanged, twin->horizontalScrollBar(),
            &QScrollBar::setValue);
    connect(verticalScrollBar(), &QScrollBar::valueChanged, twin->verticalScrollBar(),
            &QScrollBar::setValue);
}

void PasswdTextEdit::setRealPlainText(QString text)
{
    settingWhole = true;
    twin->setPlainText(text);
    settingWhole = false;
}

QString PasswdTextEdit::realPlainText() const
{
    return twin->toPlainText();
}

void PasswdTextEdit::setPasswordFinder(PasswdMasking::Finder finder)
{
    masking.setFinder(std::move(finder));
    showMasked();
}

bool PasswdTextEdit::event(QEvent* e)
{
    return forward(e, false);
}

bool PasswdTextEdit::viewportEvent(QEvent* e)
{
    if (e->type() == QEvent::MouseMove && dragArmed) {
        // A press inside the selection arms a drag, which would carry the
        // selection away and, moved, leave the twin holding text the user
        // no longer sees. Without the moves the release places the cursor,
        // in both editors.
        e->accept();
        return true;
    }
    const QTextCursor before = textCursor();
    const bool result = forward(e, true);
    if (e->type() == QEvent::MouseButtonPress) {
        const QMouseEvent* press = static_cast<QMouseEvent*>(e);
        const QTextCursor after = textCursor();
        dragArmed = press->button() == Qt::LeftButton && !(press->modifiers() & Qt::ShiftModifier)
                    && before.hasSelection() && after.anchor() == before.anchor()
                    && after.position() == before.position();
    } else if (e->type() == QEvent::MouseButtonRelease) {
        dragArmed = false;
    }
    return result;
}

bool PasswdTextEdit::forward(QEvent* e, bool onViewport)
{
    const bool forwarded = PasswdEvents::isForwarded(e->type());
    if (forwarded && PasswdEvents::isInput(e->type())) {
        mirrorSettings();
        followShown();
    }
    const bool result = onViewport ? HTextEdit::viewportEvent(e) : HTextEdit::event(e);
    if (!forwarded)
        return result;
    // Whether the event goes on to the parent is this editor's answer, not
    // the twin's.
    const bool accepted = e->isAccepted();
    if (onViewport)
        twinOf(twin)->takeOnViewport(e);
    else
        twinOf(twin)->take(e);
    e->setAccepted(accepted);
    if (PasswdEvents::isInput(e->type()))
        followShown();
    return result;
}

void PasswdTextEdit::resizeEvent(QResizeEvent* e)
{
    HTextEdit::resizeEvent(e);
    twin->setGeometry(geometry());
    twinOf(twin)->clearViewportMargins();
}

void PasswdTextEdit::contextMenuEvent(QContextMenuEvent*)
{
    // No menu, so no way to copy the text through it.
}

void PasswdTextEdit::textChanged()
{
    const int pos = twin->textCursor().position();
    if (!showMasked(settingWhole ? -1 : pos)) {
        // The form reads the real text when this editor's text changes. It
        // changed before the twin had the edit; say it once more now that
        // the real text is current.
        emit QTextEdit::textChanged();
    }
    // Moving the cursor commits an input method's unfinished text: move
    // only what is not there yet.
    QTextCursor cursor = textCursor();
    if (cursor.position() != pos || cursor.hasSelection()) {
        cursor.setPosition(pos);
        setTextCursor(cursor);
    }
    cursor = twin->textCursor();
    if (cursor.position() != pos || cursor.hasSelection()) {
        cursor.setPosition(pos);
        twin->setTextCursor(cursor);
    }
    syncScrolling();
    emit realTextChanged();
}

bool PasswdTextEdit::showMasked(int cursor)
{
    const QString text = masking.shown(twin->toPlainText(), cursor, passwordCharacter(this));
    if (toPlainText() == text)
        return false;
    // A new text scrolls to the top; the user's view stays where it was.
    const int horizontal = horizontalScrollBar()->value();
    const int vertical = verticalScrollBar()->value();
    setPlainText(text);
    horizontalScrollBar()->setValue(horizontal);
    verticalScrollBar()->setValue(vertical);
    return true;
}

void PasswdTextEdit::followShown()
{
    // This editor's own handling can leave a text that is not the masked
    // real one.
    if (showMasked()) {
        QTextCursor cursor = textCursor();
        cursor.setPosition(twin->textCursor().position());
        setTextCursor(cursor);
    }
    // Word boundaries and line breaks may differ between the shown and the
    // real text: the cursor and the selection the user sees are where the
    // twin's edits act.
    const QTextCursor mine = textCursor();
    QTextCursor theirs = twin->textCursor();
    if (theirs.anchor() != mine.anchor() || theirs.position() != mine.position()) {
        theirs.setPosition(mine.anchor());
        theirs.setPosition(mine.position(), QTextCursor::KeepAnchor);
        twin->setTextCursor(theirs);
    }
    syncScrolling();
}

void PasswdTextEdit::syncScrolling()
{
    twin->horizontalScrollBar()->setValue(horizontalScrollBar()->value());
    twin->verticalScrollBar()->setValue(verticalScrollBar()->value());
}

void PasswdTextEdit::mirrorSettings()
{
    // Settings that decide what an event does to the text or where lines
    // break.
    if (twin->isReadOnly() != isReadOnly())
        twin->setReadOnly(isReadOnly());
    if (twin->font() != font())
        twin->setFont(font());
    if (twin->lineWrapMode() != lineWrapMode())
        twin->setLineWrapMode(lineWrapMode());
    if (twin->lineWrapColumnOrWidth() != lineWrapColumnOrWidth())
        twin->setLineWrapColumnOrWidth(lineWrapColumnOrWidth());
    if (twin->wordWrapMode() != wordWrapMode())
        twin->setWordWrapMode(wordWrapMode());
}
