// The package model: entry keys, entry texts, chains of versions, and the one
// interpreter reference that each entry holds and gives back.
#include "tests/engine/engine_test.h"

#include <cstdio>
#include <string>

#include <fcntl.h>
#include <unistd.h>

#include <QHash>

namespace {

Package::Entry* makeEntry(const QString& name, PyObject* po = nullptr)
{
    return new Package::Entry(name, QStringLiteral("1.0-1"), QStringLiteral("kuv-main"),
                              QStringLiteral("noarch"), 2048, QStringLiteral("2.0Kb"),
                              QStringLiteral("summary of ") + name, 741476948,
                              QStringLiteral("Wed Jun 30 21:49:08 1993"), po);
}

// Captures what is written to standard error while it lives.
class StderrPipe
{
public:
    StderrPipe()
    {
        std::fflush(stderr);
        saved = dup(2);
        if (pipe(fds) == 0) {
            fcntl(fds[0], F_SETFL, O_NONBLOCK);
            dup2(fds[1], 2);
        }
    }
    std::string text()
    {
        std::fflush(stderr);
        dup2(saved, 2);
        close(saved);
        close(fds[1]);
        std::string result;
        char buffer[1024];
        ssize_t n;
        while ((n = read(fds[0], buffer, sizeof buffer)) > 0)
            result.append(buffer, size_t(n));
        close(fds[0]);
        return result;
    }

private:
    int fds[2] = {-1, -1};
    int saved = -1;
};

}

TEST(PackageModel, PackageAndGroupOfOneNameAreTwoKeys)
{
    const YumIO::EntryKey package(false, QStringLiteral("base"));
    const YumIO::EntryKey group(true, QStringLiteral("base"));
    EXPECT_FALSE(package == group);
    EXPECT_TRUE(package == YumIO::EntryKey(false, QStringLiteral("base")));
    EXPECT_EQ(qHash(package), qHash(QStringLiteral("base")) * 2u);
    EXPECT_EQ(qHash(group), qHash(QStringLiteral("base")) * 2u + 1u);
    // The hash does not depend on the process's seed, so neither does the
    // order of the index.
    EXPECT_EQ(qHash(group, 12345u), qHash(group));

    QHash<YumIO::EntryKey, int> index;
    index[package] = 1;
    index[group] = 2;
    EXPECT_EQ(index.size(), 2);
    EXPECT_EQ(index.value(YumIO::EntryKey(false, QStringLiteral("base"))), 1);
    EXPECT_EQ(index.value(YumIO::EntryKey(true, QStringLiteral("base"))), 2);
}

TEST(PackageModel, KindAndStateTextsAreEmptyOutsideTheirValues)
{
    YumIO io;
    std::unique_ptr<Package::Entry> entry(makeEntry(QStringLiteral("kuv-lib")));
    EXPECT_EQ(entry->action, Package::NoAction);
    EXPECT_EQ(entry->next, nullptr);

    const std::pair<int, const char*> kinds[] = {
        {Package::Suite, "Suite of packages"}, {Package::Group, "Group of packages"},
        {Package::Ordinary, "Ordinary package"}, {3, ""}, {-1, ""}};
    for (const auto& [kind, text] : kinds) {
        entry->kind = static_cast<Package::Kind>(kind);
        EXPECT_EQ(io.getKind(*entry).toStdString(), text);
    }
    const std::pair<int, const char*> states[] = {
        {Package::Updatable, "Available for update"}, {Package::Available, "Available for installation"},
        {Package::Installed, "Installed"}, {7, ""}};
    for (const auto& [state, text] : states) {
        entry->state = static_cast<Package::State>(state);
        EXPECT_EQ(io.getState(*entry).toStdString(), text);
    }
}

TEST(PackageModel, DeletingTheHeadDeletesTheWholeChainAndTellsALeftObjectOnce)
{
    // Only the last of three versions still holds an object: the notice
    // names it, so the chain was deleted through to its end.
    int marker = 0;
    PyObject* fake = reinterpret_cast<PyObject*>(&marker);
    Package::Entry* head = makeEntry(QStringLiteral("kuv-lib"));
    head->next = makeEntry(QStringLiteral("kuv-lib"));
    head->next->next = makeEntry(QStringLiteral("kuv-lib"));
    head->next->next->po = fake;
    Package::Entry* third = head->next->next;
    EXPECT_EQ(head->last(), third);

    StderrPipe firstCapture;
    delete head;
    const std::string first = firstCapture.text();
    char expected[200];
    std::snprintf(expected, sizeof expected,
                  "Internal error: attempt to delete Package::Entry %p with extant python obj %p\n",
                  static_cast<void*>(third), static_cast<void*>(fake));
    EXPECT_EQ(first, expected);

    Package::Entry* again = makeEntry(QStringLiteral("kuv-app"));
    again->po = fake;
    StderrPipe secondCapture;
    delete again;
    EXPECT_EQ(secondCapture.text(), "");
}

TEST_F(EngineTest, EachEntryHoldsAndGivesBackExactlyOneReference)
{
    makeEngine(false);
    ASSERT_TRUE(YumIOTestAccess::startInterpreter(*io));
    ASSERT_TRUE(YumIOTestAccess::py(*io, "class Po:\n    pass\npackage = Po()\ngroup = Po()\n"));
    PyObject* package;
    PyObject* group;
    Py_ssize_t packageBase;
    Py_ssize_t groupBase;
    Package::EntryList& entries = YumIOTestAccess::entries(*io);
    YumIO::Index& index = YumIOTestAccess::index(*io);
    {
        Python::PyGILStateWrapper guard(true);
        package = YumIOTestAccess::pyLookup(*io, "package");
        group = YumIOTestAccess::pyLookup(*io, "group");
        Py_INCREF(package);
        Py_INCREF(group);
        packageBase = Py_REFCNT(package);
        groupBase = Py_REFCNT(group);

        // An updatable package with two installed versions, and a group of
        // the same name.
        Package::Entry* head = makeEntry(QStringLiteral("kuv-lib"), package);
        head->next = makeEntry(QStringLiteral("kuv-lib"), package);
        head->next->next = makeEntry(QStringLiteral("kuv-lib"), package);
        Package::Entry* groupEntry = makeEntry(QStringLiteral("kuv-lib"), group);
        index.insert(YumIO::EntryKey(false, QStringLiteral("kuv-lib")), head);
        index.insert(YumIO::EntryKey(true, QStringLiteral("kuv-lib")), groupEntry);
        entries << head << groupEntry;
        // A failed collection leaves entries in the index only.
        index.insert(YumIO::EntryKey(false, QStringLiteral("kuv-half")),
                     makeEntry(QStringLiteral("kuv-half"), package));

        EXPECT_EQ(Py_REFCNT(package), packageBase + 4);
        EXPECT_EQ(Py_REFCNT(group), groupBase + 1);
    }
    EXPECT_EQ(io->count(), 2);
    EXPECT_EQ((*io)[1]->name.toStdString(), "kuv-lib");

    // On a worker, under the lock it takes itself.
    io->clearEntries();
    EXPECT_EQ(io->count(), 0);
    EXPECT_TRUE(index.isEmpty());
    {
        Python::PyGILStateWrapper guard(true);
        EXPECT_EQ(Py_REFCNT(package), packageBase);
        EXPECT_EQ(Py_REFCNT(group), groupBase);
    }

    // Before quitting the references are let go of without being given
    // back: the interpreter ends next.
    {
        Python::PyGILStateWrapper guard(true);
        Package::Entry* head = makeEntry(QStringLiteral("kuv-app"), package);
        head->next = makeEntry(QStringLiteral("kuv-app"), package);
        entries << head;
        index.insert(YumIO::EntryKey(false, QStringLiteral("kuv-app")), head);
    }
    StderrPipe capture;
    io->clearEntriesBeforeQuit();
    EXPECT_EQ(capture.text(), "");
    EXPECT_EQ(io->count(), 0);
    EXPECT_TRUE(index.isEmpty());
    {
        Python::PyGILStateWrapper guard(true);
        EXPECT_EQ(Py_REFCNT(package), packageBase + 2);
        Py_DECREF(package);
        Py_DECREF(package);
        Py_DECREF(package);
        Py_DECREF(group);
    }
}

TEST_F(EngineTest, FindRelationGivesTheObjectOfTheNamedRelation)
{
    makeEngine(false);
    ASSERT_TRUE(YumIOTestAccess::startInterpreter(*io));
    ASSERT_TRUE(YumIOTestAccess::py(*io,
        "new = object()\nold = object()\n"
        "relations = [(old, 'obsoletes'), (new, 'obsoletedby'), (old, 'obsoletedby')]\n"));
    Python::PyGILStateWrapper guard(true);
    PyObject* relations = YumIOTestAccess::pyLookup(*io, "relations");
    PyObject* expected = YumIOTestAccess::pyLookup(*io, "new");
    const Py_ssize_t before = Py_REFCNT(expected);
    PyObject* found = io->findRelation(relations, "obsoletedby");
    EXPECT_EQ(found, expected);
    EXPECT_EQ(Py_REFCNT(expected), before + 1);
    Py_XDECREF(found);
    EXPECT_EQ(io->findRelation(relations, "updatedby"), nullptr);
    EXPECT_EQ(PyErr_Occurred(), nullptr);
}
