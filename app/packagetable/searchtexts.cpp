// The search order of a package's and a group's fields, and the engine's
// getters behind them.
#include "app/packagetable/searchtexts.h"

#include <array>

#include "engine/package.h"
#include "engine/yumio.h"

namespace PackageTable
{

SearchTexts::~SearchTexts() = default;

const QVector<SearchTexts::Field>& SearchTexts::packageFields()
{
    static const QVector<Field> fields = {
        Name,      VerRel,    Repo,        Arch,     Size,     Summary,   Description, Group,
        Vendor,    BuildTime, InstallTime, BinaryRpm, SourceRpm, License, Packager,    Url,
        Relocations, Provides, Requires,   Conflicts, Obsoletes, Files,   ChangeLog,
    };
    return fields;
}

const QVector<SearchTexts::Field>& SearchTexts::groupFields()
{
    static const QVector<Field> fields = {
        Name,          RequiredGroups, DefaultMetaPkgs, OptionalMetaPkgs,
        MandatoryPkgs, DefaultPkgs,    OptionalPkgs,    ConditionalPkgs,
    };
    return fields;
}

namespace
{

// The engine's two runs of fields (YumIO::getSearchTexts): the package
// fields from Description up to Provides, and from Provides to the end.
const QVector<SearchTexts::Field>& searchRun(int part)
{
    static const std::array<QVector<SearchTexts::Field>, 2> runs = [] {
        const QVector<SearchTexts::Field>& all = SearchTexts::packageFields();
        const int description = all.indexOf(SearchTexts::Description);
        const int provides = all.indexOf(SearchTexts::Provides);
        return std::array<QVector<SearchTexts::Field>, 2>{
            all.mid(description, provides - description), all.mid(provides)};
    }();
    return runs[size_t(part)];
}

}

EngineSearchTexts::EngineSearchTexts(YumIO* yumIO)
    : yumIO(yumIO)
{
}

QString EngineSearchTexts::text(const Package::Entry& entry, Field field)
{
    if (runEntry == &entry && runNext < runFields->size() && runFields->at(runNext) == field)
        return runTexts.at(runNext++);
    runEntry = nullptr;
    runTexts.clear();
    for (int part = 0; part < 2 && yumIO; ++part) {
        const QVector<Field>& run = searchRun(part);
        if (field != run.first())
            continue;
        QStringList texts;
        if (!yumIO->getSearchTexts(entry, part, texts) || texts.size() != run.size())
            break;
        runEntry = &entry;
        runFields = &run;
        runTexts = texts;
        runNext = 1;
        return runTexts.first();
    }
    return fieldText(entry, field);
}

QString EngineSearchTexts::fieldText(const Package::Entry& entry, Field field)
{
    if (!yumIO)
        return QString();
    switch (field) {
    case Name:
        return yumIO->getName(entry);
    case VerRel:
        return yumIO->getVerRel(entry);
    case Repo:
        return yumIO->getRepo(entry);
    case Arch:
        return yumIO->getArch(entry);
    case Size:
        return yumIO->getSize(entry);
    case Summary:
        return yumIO->getSummary(entry);
    case BuildTime:
        return yumIO->getBuildTime(entry);
    default:
        break;
    }
    // The rest is read from the entry's yum object, which an entry no longer
    // holds once the engine let it go.
    if (!entry.po)
        return QString();
    switch (field) {
    case Description:
        return yumIO->getDescription(entry);
    case Group:
        return yumIO->getGroup(entry);
    case Vendor:
        return yumIO->getVendor(entry);
    case InstallTime:
        return yumIO->getInstallTime(entry);
    case BinaryRpm:
        return yumIO->getBinaryRpm(entry);
    case SourceRpm:
        return yumIO->getSourceRpm(entry);
    case License:
        return yumIO->getLicense(entry);
    case Packager:
        return yumIO->getPackager(entry);
    case Url:
        return yumIO->getUrl(entry);
    case Relocations:
        return yumIO->getRelocations(entry);
    case Provides:
        return yumIO->getProvides(entry);
    case Requires:
        return yumIO->getRequires(entry);
    case Conflicts:
        return yumIO->getConflicts(entry);
    case Obsoletes:
        return yumIO->getObsoletes(entry);
    case Files:
        return yumIO->getFiles(entry, YumIO::LoadedExtraDataOnly);
    case ChangeLog:
        return yumIO->getChangeLog(entry, YumIO::LoadedExtraDataOnly);
    case RequiredGroups:
        return yumIO->getRequiredGroups(entry);
    case DefaultMetaPkgs:
        return yumIO->getDefaultMetaPkgs(entry);
    case OptionalMetaPkgs:
        return yumIO->getOptionalMetaPkgs(entry);
    case MandatoryPkgs:
        return yumIO->getMandatoryPkgs(entry);
    case DefaultPkgs:
        return yumIO->getDefaultPkgs(entry);
    case OptionalPkgs:
        return yumIO->getOptionalPkgs(entry);
    case ConditionalPkgs:
        return yumIO->getConditionalPkgs(entry);
    default:
        break;
    }
    return QString();
}

}
