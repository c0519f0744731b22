// The masked line edit and its hidden twin.
#include "foundation/passwdlineedit.h"

#include <QEvent>
#include <QStyle>

#include "foundation/fonts.h"

namespace
{

// The hidden editor that holds the real text; it takes the events that the
// shown editor passes on.
class Twin : public QLineEdit
{
public:
    explicit Twin(QWidget* parent)
        : QLineEdit(parent)
    {
    }

    bool take(QEvent* e) { return QLineEdit::event(e); }
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

PasswdLineEdit::PasswdLineEdit(const QRegExp& regExp, QWidget* parent)
    : QLineEdit(parent)
    , regExp(regExp)
{
    Twin* hidden = new Twin(this);
    // A child stays hidden when its parent is shown only if it was hidden
    // explicitly; shown, it would display the real text.
    hidden->hide();
    twin = hidden;
    setFont(Fonts::makeFixed(font()));
    connect(twin, &QLineEdit::textChanged, this, &PasswdLineEdit::textChanged);
    twin->setFont(font());
    twin->setGeometry(geometry());
    setAcceptDrops(false);
}

void PasswdLineEdit::setRealText(QString text)
{
    twin->setText(text);
}

QString PasswdLineEdit::realText() const
{
    return twin->text();
}

bool PasswdLineEdit::event(QEvent* e)
{
    bool result = QLineEdit::event(e);
    if (isForwarded(e->type()))
        static_cast<Twin*>(twin)->take(e);
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
    QString copy = str;
    if (regExp.exactMatch(str)) {
        const QChar mask(style()->styleHint(QStyle::SH_LineEdit_PasswordCharacter, nullptr, this));
        copy.replace(regExp.pos(1), regExp.cap(1).size(), QString(regExp.cap(1).size(), mask));
    }
    int pos = twin->cursorPosition();
    setText(copy);
    setCursorPosition(pos);
    twin->setCursorPosition(pos);
    emit realTextChanged(twin->text());
}
