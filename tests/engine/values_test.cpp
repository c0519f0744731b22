// Interpreter values as texts, times and sizes, and the size and time texts
// of the package table.
#include "tests/engine/engine_test.h"

#include <cstdlib>
#include <ctime>
#include <limits>

#include <QRegularExpression>

namespace {

// Lets a fixture evaluate an expression into a new reference.
PyObject* evaluate(YumIO& io, const char* expression)
{
    return YumIOTestAccess::python(io).pyr(expression);
}

}

class ValuesTest : public EngineTest
{
protected:
    void SetUp() override
    {
        EngineTest::SetUp();
        if (IsSkipped())
            return;
        // No relay: warnings are logged and go to standard error only.
        makeEngine(false);
        ASSERT_TRUE(YumIOTestAccess::startInterpreter(*io));
    }

    QStringList warnings() { return logLines().filter(QRegularExpression("^2/")); }
};

TEST(BytesFormat, SwitchesToTheNextUnitAtAThousandOfTheSmallerOne)
{
    YumIO io;
    const std::pair<quint64, const char*> cases[] = {
        {0, "0b"},
        {5, "5.0b"},
        {10, "10b"},
        {999, "999b"},
        {1000, "1.0Kb"},
        {10240, "10Kb"},
        {1023999, "1000Kb"},
        {1024000, "1.0Mb"},
        {1048576000, "1.0Gb"},
        {1000ull << 30, "1.0Tb"},
        {1000ull << 40, "1.0Pb"},
        {(1000ull << 50) - 1, "1000Pb"},
        {1000ull << 50, "1.0Eb"},
        {std::numeric_limits<quint64>::max(), "16Eb"},
    };
    for (const auto& [bytes, text] : cases)
        EXPECT_EQ(io.bytesFormat(bytes).toStdString(), text) << bytes;
}

TEST(TimeFormat, GivesCtimeTextsWithAndWithoutTheTimeOfDay)
{
    const char* zone = std::getenv("TZ");
    const std::string savedZone = zone ? zone : "";
    setenv("TZ", "UTC", 1);
    tzset();
    EXPECT_STREQ(YumIO::timeFormat(741476948), "Wed Jun 30 21:49:08 1993");
    EXPECT_STREQ(YumIO::dateFormat(741476948), "Wed Jun 30 1993");
    EXPECT_STREQ(YumIO::timeFormat(0), "Thu Jan  1 00:00:00 1970");
    EXPECT_STREQ(YumIO::dateFormat(0), "Thu Jan  1 1970");
    EXPECT_STREQ(YumIO::dateFormat(2147483647), "Tue Jan 19 2038");
    if (zone)
        setenv("TZ", savedZone.c_str(), 1);
    else
        unsetenv("TZ");
    tzset();
}

TEST_F(ValuesTest, TextsComeFromStrBytesAndNoneAndSurrogateEscapesNeverRaise)
{
    Python::PyGILStateWrapper guard(true);
    struct Case {
        const char* expression;
        QString text;
    };
    const Case cases[] = {
        {"'plain'", QStringLiteral("plain")},
        {"'gr\\u00fc\\u00dfe \\u20ac \\U0001F600'", QString::fromUtf8("grüße € \xF0\x9F\x98\x80")},
        // A Latin-1 change log as rpm hands it over.
        {"b'Jos\\xe9 Garc\\xeda'.decode('utf-8', 'surrogateescape')", QString::fromUtf8("José García")},
        {"b'caf\\xc3\\xa9'", QString::fromUtf8("café")},
        {"b'caf\\xe9'", QString::fromUtf8("café")},
        {"None", QString()},
    };
    for (const Case& test : cases) {
        PyObject* value = evaluate(*io, test.expression);
        ASSERT_NE(value, nullptr) << test.expression;
        EXPECT_EQ(io->pyStringDec(value), test.text) << test.expression;
        EXPECT_EQ(PyErr_Occurred(), nullptr);
    }
    EXPECT_TRUE(warnings().isEmpty());

    EXPECT_TRUE(io->pyStringDec(evaluate(*io, "42")).isEmpty());
    EXPECT_EQ(warnings(), QStringList({"2/0:Internal error: YumIO::pyString did not understand type"}));
}

TEST_F(ValuesTest, ListTextsAreEmptyOnlyWhenTheListIs)
{
    Python::PyGILStateWrapper guard(true);
    EXPECT_EQ(io->pyStringXDec(evaluate(*io, "'text'")).toStdString(), "text");
    EXPECT_TRUE(io->pyStringXDec(evaluate(*io, "[]")).isEmpty());
    EXPECT_TRUE(warnings().isEmpty());
    EXPECT_TRUE(io->pyStringXDec(evaluate(*io, "['a']")).isEmpty());
    EXPECT_TRUE(io->pyStringXDec(evaluate(*io, "None")).isEmpty());
    EXPECT_EQ(warnings(), QStringList({"2/0:Internal error: YumIO::pyStringX did not understand non-empty list",
                                       "2/0:Internal error: YumIO::pyStringX did not understand type"}));
}

TEST_F(ValuesTest, TimesComeFromIntsAndDecimalTexts)
{
    Python::PyGILStateWrapper guard(true);
    EXPECT_EQ(io->pyTimeDec(evaluate(*io, "1234567890")), 1234567890L);
    EXPECT_EQ(io->pyTimeDec(evaluate(*io, "'  987654321'")), 987654321L);
    EXPECT_EQ(io->pyTimeDec(evaluate(*io, "'12abc'")), 12L);
    EXPECT_EQ(io->pyTimeDec(evaluate(*io, "'abc'")), 0L);
    EXPECT_TRUE(warnings().isEmpty());

    EXPECT_EQ(io->pyTimeDec(evaluate(*io, "1.5")), 0L);
    io->pyTimeDec(evaluate(*io, "'99999999999999999999999'"));
    EXPECT_EQ(io->pyTimeDec(evaluate(*io, "2**80")), 0L);
    EXPECT_EQ(warnings(), QStringList({"2/0:Internal error: time not understood",
                                       "2/0:Internal error: time not understood: 99999999999999999999999",
                                       "2/0:Internal error: time not understood"}));
    EXPECT_EQ(PyErr_Occurred(), nullptr);
}

TEST_F(ValuesTest, SizesComeFromAnAttributeOrAMethod)
{
    Python::PyGILStateWrapper guard(true);
    ASSERT_TRUE(YumIOTestAccess::python(*io).py(
        "class Attribute:\n"
        "    def __init__(self, size): self.size = size\n"
        "class Method:\n"
        "    def __init__(self, size): self._size = size\n"
        "    def size(self): return self._size\n"
        "class Sizeless:\n"
        "    pass\n"));
    EXPECT_EQ(io->sizeOf(evaluate(*io, "Attribute(1234)")), 1234u);
    EXPECT_EQ(io->sizeOf(evaluate(*io, "Attribute(2**40 + 5)")), (1ull << 40) + 5);
    EXPECT_EQ(io->sizeOf(evaluate(*io, "Attribute('4096')")), 4096u);
    EXPECT_EQ(io->sizeOf(evaluate(*io, "Method(2**62)")), 1ull << 62);
    EXPECT_EQ(io->sizeOf(evaluate(*io, "Method('77')")), 77u);
    EXPECT_TRUE(warnings().isEmpty());

    EXPECT_EQ(io->sizeOf(evaluate(*io, "Attribute(1.5)")), 0u);
    EXPECT_EQ(io->sizeOf(evaluate(*io, "Method(None)")), 0u);
    EXPECT_EQ(io->sizeOf(evaluate(*io, "Sizeless()")), 0u);
    EXPECT_EQ(warnings(), QStringList({"2/0:Internal error: package size not understood",
                                       "2/0:Internal error: package size result not understood",
                                       "2/0:Internal error: package size not understood"}));
    EXPECT_EQ(PyErr_Occurred(), nullptr);
}

TEST_F(ValuesTest, SimpleStringsLoseTrailingNewlinesAndUnknownFieldsAreEmpty)
{
    ASSERT_TRUE(YumIOTestAccess::py(*io,
        "class Package:\n"
        "    fields = {'description': 'Line one\\nLine two\\n\\n', 'url': None, 'buildtime': '741476948',\n"
        "              'summary': b'Jos\\xe9'.decode('utf-8', 'surrogateescape')}\n"
        "    def returnSimple(self, name): return self.fields[name]\n"
        "package = Package()\n"));
    PyObject* package;
    {
        Python::PyGILStateWrapper guard(true);
        package = evaluate(*io, "package");
    }
    const int before = io->logList.lockedCount();
    // simpleString takes the interpreter lock itself.
    EXPECT_EQ(io->simpleString(package, "description").toStdString(), "Line one\nLine two");
    EXPECT_TRUE(io->simpleString(package, "url").isEmpty());
    EXPECT_EQ(io->simpleString(package, "summary"), QString::fromUtf8("José"));
    // The package type has no such field: silently empty.
    EXPECT_TRUE(io->simpleString(package, "vendor").isEmpty());
    EXPECT_EQ(io->logList.lockedCount(), before);

    Python::PyGILStateWrapper guard(true);
    EXPECT_EQ(io->buildTimeOf(package), 741476948L);
    EXPECT_EQ(PyErr_Occurred(), nullptr);
    Py_DECREF(package);
}

TEST_F(ValuesTest, MappingAndDictionaryItemsAreReadByText)
{
    Python::PyGILStateWrapper guard(true);
    PyObject* dict = evaluate(*io, "{'name': 'kuv-lib', 'arch': b'noarch'}");
    ASSERT_NE(dict, nullptr);
    EXPECT_EQ(io->pyMappingString(dict, "name").toStdString(), "kuv-lib");
    EXPECT_EQ(io->pyMappingString(dict, "arch").toStdString(), "noarch");
    EXPECT_TRUE(io->pyMappingString(dict, "epoch").isEmpty());
    EXPECT_EQ(PyErr_Occurred(), nullptr);
    EXPECT_EQ(io->pyString(io->pyDictGetItem(dict, QStringLiteral("name"))).toStdString(), "kuv-lib");
    EXPECT_EQ(io->pyDictGetItem(dict, QStringLiteral("missing")), nullptr);
    EXPECT_EQ(PyErr_Occurred(), nullptr);
    Py_DECREF(dict);
    EXPECT_TRUE(warnings().isEmpty());
}
