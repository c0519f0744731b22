// Between a file's bytes and the text the user reads and types.
#include "repos/repoeditor/filetext.h"

#include <QByteArray>
#include <QTextCodec>

namespace RepoEditor
{

namespace
{

// One field: the shown form of before's field is what the user saw.
QString storedField(const QString& edited, const QString& before)
{
    return edited == FileText::shown(before) ? before : FileText::stored(edited);
}

}

bool FileText::holdsBytes(const QString& text)
{
    for (const QChar c : text) {
        if (c.unicode() > 0xff)
            return false;
    }
    return true;
}

QString FileText::shown(const QString& bytes)
{
    if (!holdsBytes(bytes))
        return bytes;
    const QByteArray raw = bytes.toLatin1();
    QTextCodec::ConverterState state;
    // A byte order mark is part of the text, not dropped.
    state.flags |= QTextCodec::IgnoreHeader;
    const QString text = QTextCodec::codecForName("UTF-8")->toUnicode(raw.constData(), raw.size(),
                                                                     &state);
    return state.invalidChars == 0 && state.remainingChars == 0 ? text : bytes;
}

QString FileText::stored(const QString& text)
{
    const QByteArray utf8 = text.toUtf8();
    return QString::fromLatin1(utf8.constData(), utf8.size());
}

Repo::Entry FileText::shownEntry(const Repo::Entry& stored)
{
    Repo::Entry entry = stored;
    entry.id = shown(stored.id);
    entry.name = shown(stored.name);
    entry.baseurl = shown(stored.baseurl);
    entry.mirrorlist = shown(stored.mirrorlist);
    entry.other = shown(stored.other);
    return entry;
}

Repo::Entry FileText::storedEntry(const Repo::Entry& edited, const Repo::Entry& before)
{
    Repo::Entry entry = edited;
    entry.id = storedField(edited.id, before.id);
    entry.name = storedField(edited.name, before.name);
    entry.baseurl = storedField(edited.baseurl, before.baseurl);
    entry.mirrorlist = storedField(edited.mirrorlist, before.mirrorlist);
    entry.other = storedField(edited.other, before.other);
    // The form has no field for them: the URLs' lines keep their indents.
    entry.urlLines = before.urlLines;
    return entry;
}

}
