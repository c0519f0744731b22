// The locale's character set, collation sequence values and collating
// elements, read from what nl_langinfo hands out for LC_COLLATE: the same
// tables regcomp and regexec read.
#include "app/packagetable/collation.h"

#include <algorithm>
#include <clocale>
#include <cstdlib>
#include <cstring>
#include <langinfo.h>
#include <map>
#include <memory>
#include <wchar.h>

#include <QMutex>
#include <QMutexLocker>

namespace PackageTable
{

namespace
{

// glibc hands some values back in place of a pointer.
uint32_t word(nl_item item)
{
    return uint32_t(reinterpret_cast<uintptr_t>(nl_langinfo(item)));
}

uint32_t at(const char* table, size_t offset)
{
    uint32_t value;
    std::memcpy(&value, table + offset, sizeof value);
    return value;
}

// The number of characters in bytes of the locale's encoding.
int characterCount(const unsigned char* bytes, int length, bool utf8)
{
    if (!utf8)
        return length;
    int count = 0;
    for (int k = 0; k < length; ++k) {
        if ((bytes[k] & 0xc0) != 0x80)
            ++count;
    }
    return count;
}

uint32_t firstCharacter(const unsigned char* bytes, int length, bool utf8)
{
    if (!utf8 || bytes[0] < 0x80)
        return bytes[0];
    mbstate_t state{};
    wchar_t wide;
    const size_t size = mbrtowc(&wide, reinterpret_cast<const char*>(bytes), size_t(length), &state);
    return size == size_t(-1) || size == size_t(-2) ? bytes[0] : uint32_t(wide);
}

QMutex known;

} // namespace

const Collation& Collation::current()
{
    // Kept for the process: a few locales at most.
    static std::map<QByteArray, std::unique_ptr<const Collation>> collations;
    const QByteArray key = QByteArray(std::setlocale(LC_CTYPE, nullptr)) + '|'
                           + QByteArray(std::setlocale(LC_COLLATE, nullptr));
    QMutexLocker locker(&known);
    std::unique_ptr<const Collation>& collation = collations[key];
    if (!collation)
        collation.reset(new Collation());
    return *collation;
}

Collation::Collation()
{
    if (MB_CUR_MAX == 1)
        set = SingleByte;
    else if (std::strcmp(nl_langinfo(CODESET), "UTF-8") == 0)
        set = Utf8;
    hasRules = word(_NL_COLLATE_NRULES) != 0;
    if (!hasRules)
        return;
    table = nl_langinfo(_NL_COLLATE_COLLSEQWC);
    // The collating symbols regcomp looks up for "[.x.]": every element the
    // collation defines, each as its name and its bytes.
    const uint32_t slots = word(_NL_COLLATE_SYMB_HASH_SIZEMB);
    const auto* symbols = reinterpret_cast<const int32_t*>(nl_langinfo(_NL_COLLATE_SYMB_TABLEMB));
    const auto* extra = reinterpret_cast<const unsigned char*>(nl_langinfo(_NL_COLLATE_SYMB_EXTRAMB));
    for (uint32_t slot = 0; symbols && extra && slot < slots; ++slot) {
        if (symbols[2 * slot] == 0)
            continue;
        size_t index = size_t(symbols[2 * slot + 1]);
        index += 1 + extra[index];
        const int length = extra[index];
        const unsigned char* bytes = extra + index + 1;
        if (length < 1 || characterCount(bytes, length, set == Utf8) < 2)
            continue;
        elements.emplace_back(reinterpret_cast<const char*>(bytes), length);
        if (bytes[0] < 0x80) {
            ascii.push_back(elements.back());
        } else {
            others.push_back(elements.back());
            otherLeads.push_back(firstCharacter(bytes, length, set == Utf8));
        }
    }
    std::sort(others.begin(), others.end());
    std::sort(ascii.begin(), ascii.end());
    ascii.erase(std::unique(ascii.begin(), ascii.end()), ascii.end());
    std::sort(otherLeads.begin(), otherLeads.end());
    otherLeads.erase(std::unique(otherLeads.begin(), otherLeads.end()), otherLeads.end());
}

Collation::Charset Collation::charset() const
{
    return set;
}

bool Collation::rules() const
{
    return hasRules;
}

// glibc's table of sequence values by wide character: a header of five
// words (first shift, bound of the first level, second shift and mask,
// third mask), then the first level's offsets; offsets count bytes from the
// table's start, and 0 marks a block no character of which has a value.
uint32_t Collation::sequence(uint32_t character) const
{
    if (!table)
        return ~uint32_t(0);
    if (set == SingleByte) {
        const wint_t wide = btowc(int(character));
        if (wide == WEOF)
            return ~uint32_t(0);
        character = uint32_t(wide);
    }
    const uint32_t shift1 = at(table, 0);
    const uint32_t bound = at(table, 4);
    const uint32_t index1 = character >> shift1;
    if (index1 >= bound)
        return ~uint32_t(0);
    const uint32_t lookup1 = at(table, (5 + size_t(index1)) * 4);
    if (lookup1 == 0)
        return ~uint32_t(0);
    const uint32_t shift2 = at(table, 8);
    const uint32_t mask2 = at(table, 12);
    const uint32_t lookup2 = at(table, lookup1 + size_t((character >> shift2) & mask2) * 4);
    if (lookup2 == 0)
        return ~uint32_t(0);
    const uint32_t mask3 = at(table, 16);
    return at(table, lookup2 + size_t(character & mask3) * 4);
}

const std::vector<QByteArray>& Collation::asciiElements() const
{
    return ascii;
}

const std::vector<uint32_t>& Collation::otherElementLeads() const
{
    return otherLeads;
}

bool Collation::otherElementAt(const char* text, size_t length, size_t i) const
{
    // The elements that begin with the byte at i, in order: one of them must
    // be there whole.
    auto at = std::lower_bound(others.begin(), others.end(), QByteArray(text + i, 1));
    for (; at != others.end() && at->at(0) == text[i]; ++at) {
        if (size_t(at->size()) <= length - i
            && std::memcmp(at->constData(), text + i, size_t(at->size())) == 0)
            return true;
    }
    return false;
}

bool Collation::beginsLonger(const QByteArray& element) const
{
    for (const QByteArray& longer : elements) {
        if (longer.size() > element.size() && longer.startsWith(element))
            return true;
    }
    return false;
}

}
