// Compiles and runs expressions with ICU, the engine the editor uses, for check-resources.py.
// Build: g++ -std=c++20 -O2 icu-regex-check.cpp -o icu-regex-check -licui18n -licuuc
// Input (stdin), one record a line: flags<TAB>sample-file<TAB>pattern
// Output, one line a record: "ok <matches> <stress-microseconds> <groups of the first match>" or
// "error <ICU error name>". Groups are separated by 0x1F; a group that did not take part is "\x1E".
#include <unicode/regex.h>
#include <unicode/unistr.h>

#include <chrono>
#include <fstream>
#include <iostream>
#include <map>
#include <memory>
#include <sstream>
#include <string>

namespace {

icu::UnicodeString readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream buffer;
    buffer << in.rdbuf();
    return icu::UnicodeString::fromUTF8(buffer.str());
}

// Text meant to expose expressions that backtrack without end: long lines made of one character
// that opens strings, comments or tags.
icu::UnicodeString stressText(const icu::UnicodeString& sample)
{
    icu::UnicodeString text;
    for (int i = 0; i < 200; ++i)
        text += sample;
    const char* openers[] = {"\"", "'", "`", "/*", "<!--", "[[", "<", "{", "(", "[", "$", "#", "@", "\\",
                             "%", "-", "=", ":", ";", "*", "a", " ", "\t", "0", "x"};
    for (const char* opener : openers) {
        const std::string first(opener, 1);
        for (int i = 0; i < 3000; ++i)
            text += icu::UnicodeString::fromUTF8(first);
        text += icu::UnicodeString::fromUTF8(" word ");
        for (int i = 0; i < 20; ++i)
            text += icu::UnicodeString::fromUTF8(std::string(opener) + "ab ");
        // Close everything, so that an opener costs a scan of its own stretch rather than of the
        // whole rest, which any begin-end expression would pay.
        text += icu::UnicodeString::fromUTF8("\n\"'`*/-->]]})]|#=# ]=] +/ *) -} |# '' \"@ '@ %} ////\n");
    }
    return text;
}

// One line per record: line breaks inside a group become spaces.
std::string utf8(const icu::UnicodeString& s)
{
    std::string out;
    s.toUTF8String(out);
    for (char& c : out) {
        if (c == '\n' || c == '\r')
            c = ' ';
    }
    return out;
}

}  // namespace

int main()
{
    std::map<std::string, std::pair<icu::UnicodeString, icu::UnicodeString>> samples;
    std::string line;
    while (std::getline(std::cin, line)) {
        const auto tab1 = line.find('\t');
        const auto tab2 = line.find('\t', tab1 + 1);
        const uint32_t flags = static_cast<uint32_t>(std::stoul(line.substr(0, tab1)));
        const std::string samplePath = line.substr(tab1 + 1, tab2 - tab1 - 1);
        const icu::UnicodeString pattern = icu::UnicodeString::fromUTF8(line.substr(tab2 + 1));
        if (!samples.count(samplePath)) {
            const auto sample = readFile(samplePath);
            samples[samplePath] = {sample, stressText(sample)};
        }
        const auto& [sample, stress] = samples[samplePath];

        UErrorCode status = U_ZERO_ERROR;
        UParseError parseError;
        std::unique_ptr<icu::RegexPattern> compiled(
            icu::RegexPattern::compile(pattern, flags, parseError, status));
        if (U_FAILURE(status)) {
            std::cout << "error " << u_errorName(status) << " offset " << parseError.offset << "\n";
            continue;
        }
        std::unique_ptr<icu::RegexMatcher> matcher(compiled->matcher(sample, status));
        int matches = 0;
        std::string groups;
        while (matcher->find(status) && U_SUCCESS(status)) {
            if (matcher->end(status) == matcher->start(status))
                continue;
            if (++matches == 1) {
                for (int32_t g = 1; g <= matcher->groupCount(); ++g) {
                    if (g > 1)
                        groups += '\x1f';
                    groups += matcher->start(g, status) < 0 ? std::string("\x1e") : utf8(matcher->group(g, status));
                }
            }
        }
        std::unique_ptr<icu::RegexMatcher> stressMatcher(compiled->matcher(stress, status));
        stressMatcher->setTimeLimit(20000, status);
        const auto started = std::chrono::steady_clock::now();
        while (stressMatcher->find(status) && U_SUCCESS(status)) {
        }
        const auto micros = std::chrono::duration_cast<std::chrono::microseconds>(
                                std::chrono::steady_clock::now() - started)
                                .count();
        if (U_FAILURE(status)) {
            std::cout << "error " << u_errorName(status) << " on the stress text\n";
            continue;
        }
        std::cout << "ok " << matches << " " << micros << " " << groups << "\n";
    }
    return 0;
}
