#include "preview/MarkdownParts.h"

#include <QByteArrayMatcher>

#include <cstring>
#include <string_view>

namespace korimado {

namespace {

using Line = std::string_view;

bool isSpace(char c)
{
    return c == ' ' || c == '\t';
}

bool isBlank(Line line)
{
    for (const char c : line)
        if (!isSpace(c) && c != '\r') return false;
    return true;
}

// A line that, after a blank one, can only begin a block of its own: at its first column, and
// no character that continues a quote, a list, a table or indented text. A byte-order mark is
// dropped only at the start of the whole source, so it is kept away from the start of a part.
bool beginsOnItsOwn(Line line)
{
    if (line.empty()) return false;
    const char c = line.front();
    if (isSpace(c) || c == '\r' || c == '>' || c == '-' || c == '+' || c == '*' || c == '|') return false;
    if (c >= '0' && c <= '9') return false;
    return !line.starts_with("\xEF\xBB\xBF");
}

bool startsWithNoCase(Line text, Line prefix)
{
    if (text.size() < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        char c = text[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != prefix[i]) return false;
    }
    return true;
}

bool containsNoCase(Line text, Line part)
{
    for (std::size_t at = 0; at + part.size() <= text.size(); ++at)
        if (startsWithNoCase(text.substr(at), part)) return true;
    return false;
}

// The guess at the blocks around each line: a fence or raw HTML that blank lines do not end, and
// whether the run of lines since the last blank one looks like a block that a part must not end
// with (code, raw HTML, a table). Quote marks and list markers are looked through, so a fence
// inside them is seen too.
class BlockGuess {
public:
    // Whether a part may begin at `line`, which follows the lines seen so far.
    bool mayBeginAt(Line line) const
    {
        return lastBlank_ && !inFence() && htmlEnd_.empty() && !riskyBefore_ && beginsOnItsOwn(line);
    }

    void see(Line line)
    {
        const bool blank = isBlank(line);
        if (inFence()) {
            if (closesFence(line)) fenceLength_ = 0;
        } else if (!htmlEnd_.empty()) {
            if (containsNoCase(line, htmlEnd_)) htmlEnd_ = {};
        } else if (!blank) {
            if (lastBlank_) risky_ = false;
            const Line content = inner(line);
            if (opensFence(content)) risky_ = true;
            if (content.starts_with('<')) {
                risky_ = true;
                htmlEnd_ = htmlEndOf(content);
                if (!htmlEnd_.empty() && containsNoCase(content.substr(1), htmlEnd_)) htmlEnd_ = {};
            }
            if (line.starts_with("    ") || line.starts_with('\t') || line.find('|') != Line::npos) risky_ = true;
        }
        if (blank && !lastBlank_) riskyBefore_ = risky_ || inFence() || !htmlEnd_.empty();
        lastBlank_ = blank;
    }

private:
    bool inFence() const { return fenceLength_ > 0; }

    // The line without the quote marks, list markers and indentation in front of its content.
    static Line inner(Line line)
    {
        std::size_t at = 0;
        for (bool more = true; more;) {
            more = false;
            while (at < line.size() && (isSpace(line[at]) || line[at] == '>')) ++at;
            std::size_t marker = at;
            while (marker < line.size() && line[marker] >= '0' && line[marker] <= '9') ++marker;
            if (marker > at && marker < line.size() && (line[marker] == '.' || line[marker] == ')')) {
                ++marker;
            } else if (marker == at && at < line.size() && (line[at] == '-' || line[at] == '+' || line[at] == '*')) {
                ++marker;
            } else {
                continue;
            }
            if (marker < line.size() && isSpace(line[marker])) {
                at = marker;
                more = true;
            }
        }
        return line.substr(at);
    }

    bool opensFence(Line content)
    {
        if (content.empty() || (content.front() != '`' && content.front() != '~')) return false;
        std::size_t n = 0;
        while (n < content.size() && content[n] == content.front()) ++n;
        if (n < 3) return false;
        fenceChar_ = content.front();
        fenceLength_ = n;
        return true;
    }

    bool closesFence(Line line) const
    {
        const Line content = inner(line);
        std::size_t n = 0;
        while (n < content.size() && content[n] == fenceChar_) ++n;
        return n >= fenceLength_ && isBlank(content.substr(n));
    }

    // What ends raw HTML that blank lines do not end, for content that starts with '<'.
    static Line htmlEndOf(Line content)
    {
        if (content.starts_with("<!--")) return "-->";
        if (content.starts_with("<?")) return "?>";
        if (content.starts_with("<![CDATA[")) return "]]>";
        if (content.starts_with("<!")) return ">";
        for (const Line tag : {Line("script"), Line("pre"), Line("style"), Line("textarea")}) {
            if (startsWithNoCase(content.substr(1), tag)) {
                if (tag == "script") return "</script>";
                if (tag == "pre") return "</pre>";
                if (tag == "style") return "</style>";
                return "</textarea>";
            }
        }
        return {};
    }

    bool lastBlank_ = true;
    bool risky_ = false;
    bool riskyBefore_ = false;
    char fenceChar_ = 0;
    std::size_t fenceLength_ = 0;
    Line htmlEnd_;
};

// Carriage returns are line ends too, but a cut is looked for only at line feeds.
bool hasBareCarriageReturn(QByteArrayView utf8)
{
    if (utf8.isEmpty()) return false;  // an empty view may hold no pointer at all
    const char* p = utf8.data();
    const char* const end = p + utf8.size();
    while (p < end && (p = static_cast<const char*>(std::memchr(p, '\r', std::size_t(end - p))))) {
        if (p + 1 == end || p[1] != '\n') return true;
        p += 2;
    }
    return false;
}

}  // namespace

std::vector<std::size_t> MarkdownParts::bounds(QByteArrayView utf8, std::size_t parts)
{
    const auto size = std::size_t(utf8.size());
    std::vector<std::size_t> result{0};
    // Every definition has its label's end and a colon side by side: without that pair there is
    // none, wherever it might stand.
    static const QByteArrayMatcher definition(QByteArrayView("]:"));
    if (parts > 1 && definition.indexIn(utf8) < 0 && !hasBareCarriageReturn(utf8)) {
        const Line text(utf8.data(), size);
        BlockGuess guess;
        std::size_t next = 1;
        for (std::size_t at = 0; at < size && next < parts;) {
            std::size_t eol = text.find('\n', at);
            if (eol == Line::npos) eol = size;
            const Line line = text.substr(at, eol - at);
            if (at > 0 && at >= size / parts * next && guess.mayBeginAt(line)) {
                result.push_back(at);
                while (next < parts && at >= size / parts * next) ++next;
            }
            guess.see(line);
            at = eol + 1;
        }
    }
    result.push_back(size);
    return result;
}

}  // namespace korimado
