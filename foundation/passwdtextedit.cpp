// The masked text edit and its hidden twin.
#include "foundation/passwdtextedit.h"

#include <QEvent>
#include <QStyle>
#include <QTextCursor>

#include "foundation/fonts.h"

namespace
{

// The hidden editor that holds the real text; it takes the events that the
// shown editor passes on.
class Twin : public HTextEdit
{
public:
    Twin(int columns, int rows, QWidget* parent)
        : HTextEdit(columns, rows, parent)
    {
    }

    bool take(QEvent* e) { return HTextEdit::event(e); }
    bool takeOnViewport(QEvent* e) { return HTextEdit::viewportEvent(e); }
    void clearViewportMargins() { setViewportMargins(0, 0, 0, 0); }
};

bool isForwarded(QEvent::Type type)
{
    switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::Move:
    case QEvent::Resize:
        return true;
    default:
        return false;
    }
}

}

PasswdTextEdit::PasswdTextEdit(const QRegExp& regExp, QWidget* parent)
    : PasswdTextEdit(regExp, -1, -1, parent)
{
}

PasswdTextEdit::PasswdTextEdit(const QRegExp& regExp, int columns, int rows, QWidget* parent)
    : HTextEdit(columns, rows, parent)
    , regExp(regExp)
{
    Twin* hidden = new Twin(columns, rows, this);
    hidden->hide();
    twin = hidden;
    init();
}

void PasswdTextEdit::init()
{
    setFont(Fonts::makeFixed(font()));
    connect(twin, &QTextEdit::textChanged, this, &PasswdTextEdit::textChanged);
    twin->setFont(font());
    twin->setGeometry(geometry());
    static_cast<Twin*>(twin)->clearViewportMargins();
    setAcceptDrops(false);
}

void PasswdTextEdit::setRealPlainText(QString text)
{
    twin->setPlainText(text);
}

QString PasswdTextEdit::realPlainText() const
{
    return twin->toPlainText();
}

bool PasswdTextEdit::event(QEvent* e)
{
    bool result = HTextEdit::event(e);
    if (isForwarded(e->type()))
        static_cast<Twin*>(twin)->take(e);
    return result;
}

bool PasswdTextEdit::viewportEvent(QEvent* e)
{
    bool result = HTextEdit::viewportEvent(e);
    if (isForwarded(e->type()))
        static_cast<Twin*>(twin)->takeOnViewport(e);
    return result;
}

void PasswdTextEdit::resizeEvent(QResizeEvent* e)
{
    HTextEdit::resizeEvent(e);
    twin->setGeometry(geometry());
    static_cast<Twin*>(twin)->clearViewportMargins();
}

void PasswdTextEdit::contextMenuEvent(QContextMenuEvent*)
{
    // No menu, so no way to copy the text through it.
}

void PasswdTextEdit::textChanged()
{
    QString text = twin->toPlainText();
    const QChar mask(style()->styleHint(QStyle::SH_LineEdit_PasswordCharacter, nullptr, this));
    int i = 0;
    while ((i = regExp.indexIn(text, i)) != -1) {
        i += qMax(regExp.matchedLength(), 1);
        text.replace(regExp.pos(1), regExp.cap(1).size(), QString(regExp.cap(1).size(), mask));
    }
    int pos = twin->textCursor().position();
    setPlainText(text);
    QTextCursor cursor = textCursor();
    cursor.setPosition(pos);
    setTextCursor(cursor);
    cursor = twin->textCursor();
    cursor.setPosition(pos);
    twin->setTextCursor(cursor);
    emit realTextChanged();
}
