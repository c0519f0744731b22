// glibc's own answer for a filter pattern over a text, which the package
// filter's roads are compared with: the tests and the pattern fuzz target.
#pragma once

#include <regex.h>
#include <string>

// regexec's answer for the pattern as typed (REG_EXTENDED | REG_NOSUB) over
// the whole text, NUL bytes included; -1 where regcomp turns the pattern
// down.
inline int regexecAnswer(const std::string& pattern, const std::string& text)
{
    regex_t regex;
    if (regcomp(&regex, pattern.c_str(), REG_EXTENDED | REG_NOSUB) != 0)
        return -1;
    regmatch_t range[1];
    range[0].rm_so = 0;
    range[0].rm_eo = regoff_t(text.size());
    const int answer = regexec(&regex, text.data(), 1, range, REG_STARTEND) == 0 ? 1 : 0;
    regfree(&regex);
    return answer;
}
