// Where the package filter's Search mode gets the texts it matches: every
// field of a package or group, one text per field, in the order a search
// tries them. EngineSearchTexts asks the engine's getters; tests put a
// texts source of their own in its place.
#pragma once

#include <QString>
#include <QStringList>
#include <QVector>

class YumIO;

namespace Package
{
class Entry;
}

namespace PackageTable
{

class SearchTexts
{
public:
    enum Field {
        Name,
        VerRel,
        Repo,
        Arch,
        Size,
        Summary,
        Description,
        Group,
        Vendor,
        BuildTime,
        InstallTime,
        BinaryRpm,
        SourceRpm,
        License,
        Packager,
        Url,
        Relocations,
        Provides,
        Requires,
        Conflicts,
        Obsoletes,
        Files,
        ChangeLog,
        RequiredGroups,
        DefaultMetaPkgs,
        OptionalMetaPkgs,
        MandatoryPkgs,
        DefaultPkgs,
        OptionalPkgs,
        ConditionalPkgs,
    };

    virtual ~SearchTexts();

    // The fields of a package or suite, and of a group, in search order.
    static const QVector<Field>& packageFields();
    static const QVector<Field>& groupFields();

    // GUI thread; may take the interpreter lock. Called from inside the
    // filter's mapping, so it never waits for a worker: the file lists and
    // change logs are read as far as they are loaded, and whoever turns a
    // search on loads them beforehand.
    virtual QString text(const Package::Entry& entry, Field field) = 0;
};

// Reads an available package's fields past those its entry keeps in two
// runs (from Description, and from Provides), one engine call each: the
// first field of a run reads the whole run, and the calls that follow
// right after it, for the same entry and in search order, take the rest.
// Any other call drops what is left.
class EngineSearchTexts : public SearchTexts
{
public:
    explicit EngineSearchTexts(YumIO* yumIO);

    QString text(const Package::Entry& entry, Field field) override;

private:
    QString fieldText(const Package::Entry& entry, Field field);

    YumIO* yumIO;
    // The rest of the last run read, and where it stands.
    const Package::Entry* runEntry = nullptr;
    const QVector<Field>* runFields = nullptr;
    QStringList runTexts;
    int runNext = 0;
};

}
