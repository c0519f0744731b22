// The log window: its layout, showing and hiding, and the drawing of new
// entries as rich text.
#include "app/logwindow.h"

#include <algorithm>
#include <vector>

#include <QAbstractTextDocumentLayout>
#include <QColor>
#include <QEventLoop>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMutexLocker>
#include <QPushButton>
#include <QScrollBar>
#include <QSpinBox>
#include <QTextBlock>
#include <QTextBlockFormat>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextOption>
#include <QTimer>
#include <QVBoxLayout>

#include "engine/log.h"
#include "foundation/colors.h"
#include "foundation/htextedit.h"

namespace
{

// yum's own range and default of its debug level.
const int maxLevel = 10;
const int defaultLevel = 2;

// The most lines drawn in one step: some tens of milliseconds of work.
const int defaultStepLines = 500;
// The characters after which a step ends: a few long lines, each laid out
// in some tens of milliseconds.
const int stepCharacters = 100000;

// How tall the drawn lines may grow, in pixels: the layout of a rich text
// keeps up with each new line until the text is some twenty million pixels
// tall, and takes seconds for every change beyond.
const int maxTextHeight = 6000000;
// A headline is counted as this many lines.
const int headingLines = 2;

// The most lines one paragraph of the text edit holds.
const int paragraphLines = 64;

// Info lines from this level on are drawn in the minor colour.
const unsigned int minorInfoLevel = 10;

// Every line is a paragraph of its own with no spacing above or below, so
// that the log reads as in a terminal; an empty line stays an empty
// paragraph.
// Blanks and tabs are kept as they are, so column layouts keep their shape.
const QLatin1String compactStyle("white-space:pre; margin-top:0px; margin-bottom:0px; "
                                 "margin-left:0px; margin-right:0px; -qt-block-indent:0; "
                                 "text-indent:0px;");
const QLatin1String emptyStyle("-qt-paragraph-type:empty; ");

// The rich text around the lines of one kind, translated once per drawing.
struct Wrapper
{
    QString before;
    QString after;
};

}

namespace Log
{

Window::Window(Log::EntryList& list, QWidget* parent)
    : QWidget(nullptr, Qt::WindowFlags()), parent(parent), list(&list), stepLines(defaultStepLines),
      maxLines(0)
{
    setWindowTitle(tr("KUV Log"));

    text = new HTextEdit(100, 24, this);
    text->setReadOnly(true);
    text->setLineWrapMode(QTextEdit::NoWrap);
    text->setWordWrapMode(QTextOption::NoWrap);
    text->setTabChangesFocus(true);
    // The log only grows by appending; an undo history of it would double
    // its memory and slow every drawing.
    text->setUndoRedoEnabled(false);
    maxLines = std::max(10000, maxTextHeight / std::max(1, text->fontMetrics().lineSpacing()));

    level = new QSpinBox(this);
    level->setRange(0, maxLevel);
    level->setValue(defaultLevel);
    level->setToolTip(tr("Threshold beyond which more detailed log messages are omitted.\n"
                         "Higher levels show more detail.\n"
                         "The valid range is 0 .. %1.\n"
                         "The default is %2.\n"
                         "Higher levels contain debug information.\n"
                         "This corresponds to yum's debuglevel (-d) option.")
                          .arg(maxLevel)
                          .arg(defaultLevel));

    QPushButton* close = new QPushButton(tr("&Close"), this);
    close->setToolTip(tr("Close the Log Window"));

    QHBoxLayout* row = new QHBoxLayout;
    row->addWidget(new QLabel(tr("Detail level"), this));
    row->addWidget(level);
    row->addStretch(1);
    row->addWidget(close);

    QVBoxLayout* layout = new QVBoxLayout(this);
    layout->addWidget(text);
    layout->addLayout(row);

    connect(level, QOverload<int>::of(&QSpinBox::valueChanged), this, &Window::levelChanged);
    connect(close, &QPushButton::clicked, this, &QWidget::hide);

    more = new QTimer(this);
    more->setSingleShot(true);
    more->setInterval(0);
    connect(more, &QTimer::timeout, this, &Window::drawMore);
}

Window::~Window() = default;

void Window::setVisible(bool visible)
{
    if (visible == following) {
        QWidget::setVisible(visible);
        return;
    }
    if (visible) {
        following = true;
        {
            // Connected under the mutex: an entry appended after the
            // connection brings a signal, and the drawing below examines
            // every entry appended before it.
            QMutexLocker locker(list);
            connect(list, &Log::EntryList::appended, this, &Window::appended,
                    Qt::ConnectionType(Qt::AutoConnection | Qt::UniqueConnection));
        }
        // No event processing here: the window is not on the screen yet,
        // and a hide among those events would find it half shown.
        drawAll();
        QWidget::setVisible(true);
        text->moveCursor(QTextCursor::End);
        text->ensureCursorVisible();
        text->verticalScrollBar()->setValue(text->verticalScrollBar()->maximum());
    } else {
        QWidget::setVisible(false);
        following = false;
        {
            QMutexLocker locker(list);
            disconnect(list, &Log::EntryList::appended, this, &Window::appended);
        }
        clearText();
    }
}

void Window::appended()
{
    if (!following)
        return;
    // While a step is pending, new entries wait for it: a burst of signals
    // is drawn step by step with paints between, not all within the first
    // signal's event processing. The events are still let through, so that
    // the step comes while the GUI thread is busy.
    if (!more->isActive() && !render())
        return;
    // Neither the list's mutex nor any lock of the writers is held here:
    // render() has let go of the former, and the engine emits appended()
    // only after letting go of its own. A drawing re-entered from these
    // events starts from the entries it has not examined and processes no
    // events of its own, so the nesting stays one deep.
    if (processing)
        return;
    processing = true;
    QEventLoop loop;
    loop.processEvents(QEventLoop::ExcludeUserInputEvents);
    processing = false;
}

void Window::levelChanged(int)
{
    // A hidden window holds no text; the next show draws under the new
    // threshold.
    if (following)
        drawAll();
}

void Window::keyPressEvent(QKeyEvent* e)
{
    if (e->key() == Qt::Key_Escape) {
        e->accept();
        hide();
        return;
    }
    QWidget::keyPressEvent(e);
}

void Window::drawMore()
{
    if (following)
        render();
}

void Window::htmlProtect(QString& s)
{
    // One pass over the line. The ampersand is escaped too: a line that
    // holds a character reference ("&lt;") is drawn as written, not as the
    // character the reference names. Blanks and tabs become references, so
    // that rich text keeps each one and column layouts keep their shape.
    int i = 0;
    const int length = s.size();
    while (i < length) {
        const QChar c = s.at(i);
        if (c == QLatin1Char('&') || c == QLatin1Char('<') || c == QLatin1Char('>') ||
            c == QLatin1Char(' ') || c == QLatin1Char('\t'))
            break;
        ++i;
    }
    if (i == length)
        return;
    QString protectedText;
    protectedText.reserve(length + 16);
    protectedText.append(s.constData(), i);
    for (; i < length; ++i) {
        const QChar c = s.at(i);
        switch (c.unicode()) {
        case '&':
            protectedText += QLatin1String("&amp;");
            break;
        case '<':
            protectedText += QLatin1String("&lt;");
            break;
        case '>':
            protectedText += QLatin1String("&gt;");
            break;
        case ' ':
            protectedText += QLatin1String("&#x0020;");
            break;
        case '\t':
            protectedText += QLatin1String("&#x0009;");
            break;
        default:
            protectedText += c;
        }
    }
    s = protectedText;
}

void Window::drawAll()
{
    clearText();
    // Of a log longer than the window keeps, the newest lines: the
    // earlier ones are counted, not drawn.
    {
        QMutexLocker locker(list);
        const unsigned int threshold = unsigned(level->value());
        qint64 lines = 0;
        int first = list->count();
        while (first > 0 && lines < maxLines) {
            --first;
            if (list->levelAt(first) <= threshold)
                ++lines;
        }
        for (int i = 0; i < first; ++i) {
            if (list->levelAt(i) <= threshold)
                ++earlier;
        }
        shown = first;
    }
    if (earlier > 0) {
        QTextCursor cursor(text->document());
        cursor.beginEditBlock();
        writeEarlierMark(cursor);
        cursor.endEditBlock();
    }
    render();
}

bool Window::render()
{
    // The entries of one step are copied out under the mutex and drawn
    // after it is let go, so that writers wait only for the copying, never
    // for the drawing.
    // Of a long line only what is drawn is copied.
    std::vector<Line> fresh;
    bool unfinished;
    {
        QMutexLocker locker(list);
        const int count = list->count();
        if (count <= shown)
            return false;
        const unsigned int threshold = unsigned(level->value());
        fresh.reserve(size_t(std::min(count - shown, stepLines)));
        int i = shown;
        int characters = 0;
        for (; i < count && int(fresh.size()) < stepLines && characters < stepCharacters; ++i) {
            if (list->levelAt(i) > threshold)
                continue;
            int length = 0;
            Log::Entry entry = list->at(i, maxLineCharacters, length);
            const int hidden = length - entry.text.size();
            // An empty line costs a line's layout too.
            characters += entry.text.size() + 1;
            fresh.push_back(Line{std::move(entry), hidden});
        }
        // Before anything is drawn: a drawing re-entered later starts
        // after these entries.
        shown = i;
        unfinished = i < count;
    }
    if (!fresh.empty()) {
        const bool headingFirst = fresh.front().entry.kind == Log::Action;
        std::vector<int> paragraphs;
        const QString html = toHtml(fresh, paragraphs);
        insert(html, headingFirst, paragraphs);
        trim();
    }
    // The rest of a long log, or of a long burst, is drawn in later steps
    // with the events between them let through.
    if (unfinished)
        more->start();
    return true;
}

QString Window::toHtml(std::vector<Line>& lines, std::vector<int>& paragraphs) const
{
    const QString colored = tr("<font color=\"%1\">");
    const QString fontEnd = tr("</font>");
    const Wrapper output{colored.arg(Colors::ok()), fontEnd};
    const Wrapper info{tr("<font>"), fontEnd};
    const Wrapper minor{colored.arg(Colors::minor()), fontEnd};
    const Wrapper warning{colored.arg(Colors::warning()), fontEnd};
    const Wrapper action{colored.arg(Colors::action()), fontEnd};
    const Wrapper error{colored.arg(Colors::error()), fontEnd};
    const QString paragraph = QLatin1String("<p style=\"") + compactStyle + QLatin1String("\">");
    const QString heading = QLatin1String("<h2 style=\"") + compactStyle + QLatin1String("\">");
    // Rich text drops a paragraph with nothing in it unless it is marked.
    const QString emptyParagraph = QLatin1String("<p style=\"") + emptyStyle + compactStyle +
                                   QLatin1String("\">");
    const QString emptyHeading = QLatin1String("<h2 style=\"") + emptyStyle + compactStyle +
                                 QLatin1String("\">");

    // The mark after the drawn part of a longer line.
    const Wrapper hiddenMark{colored.arg(Colors::minor()), fontEnd};

    QString html;
    html.reserve(int(lines.size()) * 200);
    // Lines run on in one paragraph, each after a line break, up to
    // paragraphLines of them: a paragraph costs the text edit some hundred
    // bytes of its own, more than a line's text, which a runaway scriptlet's
    // half a million lines would feel. A headline is a heading of its own.
    // The lines of the paragraph under way, and how many.
    QString body;
    int open = 0;
    const auto close = [&] {
        if (open == 0)
            return;
        html += body.isEmpty() ? emptyParagraph : paragraph;
        html += body;
        html += QLatin1String("</p>");
        paragraphs.push_back(open);
        body.clear();
        open = 0;
    };
    for (Line& line : lines) {
        Log::Entry& entry = line.entry;
        htmlProtect(entry.text);
        if (line.hidden > 0) {
            QString mark = tr(" [%L1 more characters not shown]").arg(line.hidden);
            htmlProtect(mark);
            entry.text += hiddenMark.before + mark + hiddenMark.after;
        }
        const Wrapper* wrapper;
        switch (entry.kind) {
        case Log::Output:
            wrapper = &output;
            break;
        case Log::Info:
            wrapper = entry.level < minorInfoLevel ? &info : &minor;
            break;
        case Log::Warning:
            wrapper = &warning;
            break;
        case Log::Action:
            wrapper = &action;
            break;
        default:
            // Errors, and any kind the window does not know.
            wrapper = &error;
        }
        const bool isHeading = entry.kind == Log::Action;
        if (isHeading || open == paragraphLines)
            close();
        if (isHeading) {
            html += entry.text.isEmpty() ? emptyHeading : heading;
            html += wrapper->before;
            html += entry.text;
            html += wrapper->after;
            html += QLatin1String("</h2>");
            paragraphs.push_back(headingLines);
            continue;
        }
        if (open > 0)
            body += QLatin1String("<br />");
        ++open;
        // An empty line is the break alone.
        if (entry.text.isEmpty())
            continue;
        body += wrapper->before;
        body += entry.text;
        body += wrapper->after;
    }
    close();
    return html;
}

void Window::insert(const QString& html, bool headingFirst, const std::vector<int>& paragraphs)
{
    QTextDocument* document = text->document();
    QScrollBar* bar = text->verticalScrollBar();
    const bool atBottom = bar->value() >= bar->maximum();

    // The whole batch is one insertion: one parse and one layout pass
    // instead of one per line.
    QTextCursor cursor(document);
    cursor.beginEditBlock();
    cursor.movePosition(QTextCursor::End);
    if (!document->isEmpty())
        cursor.insertBlock();
    const int first = cursor.blockNumber();
    cursor.insertHtml(html);
    // The first paragraph of inserted rich text goes into the block that
    // was there and keeps that block's format; it gets its own here.
    QTextBlockFormat format;
    format.setTopMargin(0.0);
    format.setBottomMargin(0.0);
    if (headingFirst)
        format.setHeadingLevel(2);
    QTextCursor(document->findBlockByNumber(first)).setBlockFormat(format);
    cursor.endEditBlock();
    for (int lines : paragraphs) {
        blockLines.push_back(lines);
        drawnLines += lines;
    }

    // A reader at the end of the log stays there.
    if (atBottom)
        bar->setValue(bar->maximum());
}

void Window::trim()
{
    if (drawnLines <= maxLines)
        return;
    // The oldest paragraphs go until a quarter of what the window keeps is
    // free, so that this happens seldom; the newest stays in any case.
    const qint64 keep = maxLines - maxLines / 4;
    size_t blocks = 0;
    qint64 removed = 0;
    while (drawnLines - removed > keep && blocks + 1 < blockLines.size())
        removed += blockLines[blocks++];
    if (blocks == 0)
        return;
    QTextDocument* document = text->document();
    QAbstractTextDocumentLayout* layout = document->documentLayout();
    QScrollBar* bar = text->verticalScrollBar();
    const bool atBottom = bar->value() >= bar->maximum();
    const int markBlocks = earlier > 0 ? 1 : 0;
    const QTextBlock firstKept = document->findBlockByNumber(markBlocks + int(blocks));
    const qreal keptTop = layout->blockBoundingRect(firstKept).top();

    // Everything above the first paragraph kept goes, the old mark with it;
    // the empty paragraph left at the top becomes the new mark.
    QTextCursor cursor(document);
    cursor.beginEditBlock();
    cursor.setPosition(firstKept.position() - 1, QTextCursor::KeepAnchor);
    cursor.removeSelectedText();
    blockLines.erase(blockLines.begin(), blockLines.begin() + std::ptrdiff_t(blocks));
    drawnLines -= removed;
    earlier += removed;
    writeEarlierMark(cursor);
    cursor.endEditBlock();

    // A reader further up keeps the lines he reads in view.
    if (atBottom)
        bar->setValue(bar->maximum());
    else
        bar->setValue(bar->value() - int(keptTop - layout->blockBoundingRect(document->begin().next()).top()));
}

void Window::writeEarlierMark(QTextCursor& cursor)
{
    QTextBlockFormat format;
    format.setTopMargin(0.0);
    format.setBottomMargin(0.0);
    cursor.setBlockFormat(format);
    QTextCharFormat characters;
    characters.setForeground(QColor(Colors::minor()));
    cursor.setBlockCharFormat(characters);
    cursor.insertText(tr("[%L1 earlier lines are not shown here]").arg(earlier), characters);
}

void Window::clearText()
{
    more->stop();
    shown = 0;
    blockLines.clear();
    drawnLines = 0;
    earlier = 0;
    text->clear();
}

}
