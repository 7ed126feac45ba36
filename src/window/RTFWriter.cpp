#include "window/RTFWriter.h"

#include <algorithm>
#include <cmath>

namespace korimado {

namespace {

void appendText(QByteArray& out, QStringView text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t u = text[i].unicode();
        switch (u) {
        case u'\\': out += "\\\\"; break;
        case u'{': out += "\\{"; break;
        case u'}': out += "\\}"; break;
        case u'\t': out += "\\tab "; break;
        case u'\r':
            if (i + 1 < text.size() && text[i + 1] == u'\n') ++i;
            out += "\\par\n";
            break;
        case u'\n':
        case 0x0085:
        case 0x2029: out += "\\par\n"; break;
        case 0x2028: out += "\\line "; break;
        default:
            if (u >= 0x20 && u < 0x80) {
                out += static_cast<char>(u);
            } else if (u < 0x20) {
                // Other controls have no place in the text of an RTF document.
            } else {
                // A signed 16-bit number, each half of a surrogate pair on its own; "?" for
                // readers that skip the escape.
                out += "\\u" + QByteArray::number(static_cast<int>(static_cast<std::int16_t>(u))) + '?';
            }
        }
    }
}

}  // namespace

QByteArray RTFWriter::write(const QString& text, const QString& fontFamily, double pointSize, const std::vector<Run>& runs)
{
    // The colour table: entry 0 is the reader's default; each distinct colour once.
    std::vector<std::uint32_t> colours;
    const auto indexOf = [&colours](std::uint32_t rgb) {
        rgb &= 0xFFFFFF;
        auto it = std::find(colours.begin(), colours.end(), rgb);
        if (it == colours.end()) {
            colours.push_back(rgb);
            return static_cast<int>(colours.size());
        }
        return static_cast<int>(it - colours.begin()) + 1;
    };

    // Per unit the colour indices in force, later runs over earlier ones.
    std::vector<int> fg(static_cast<std::size_t>(text.size()), 0);
    std::vector<int> bg(static_cast<std::size_t>(text.size()), 0);
    for (const Run& run : runs) {
        const qsizetype from = std::clamp<qsizetype>(run.range.location, 0, text.size());
        const qsizetype to = std::clamp<qsizetype>(run.range.location + run.range.length, from, text.size());
        const int f = run.foreground ? indexOf(*run.foreground) : 0;
        const int b = run.background ? indexOf(*run.background) : 0;
        for (qsizetype i = from; i < to; ++i) {
            if (run.foreground) fg[static_cast<std::size_t>(i)] = f;
            if (run.background) bg[static_cast<std::size_t>(i)] = b;
        }
    }

    QByteArray out = "{\\rtf1\\ansi\\ansicpg1252\\uc1\\deff0{\\fonttbl{\\f0\\fmodern\\fcharset0 ";
    appendText(out, fontFamily);
    out += ";}}\n{\\colortbl;";
    for (const std::uint32_t rgb : colours) {
        out += "\\red" + QByteArray::number(rgb >> 16) + "\\green" + QByteArray::number((rgb >> 8) & 0xFF) + "\\blue"
               + QByteArray::number(rgb & 0xFF) + ';';
    }
    out += "}\n\\f0\\fs" + QByteArray::number(std::max(2L, std::lround(pointSize * 2))) + ' ';

    int currentFg = 0;
    int currentBg = 0;
    qsizetype start = 0;
    for (qsizetype i = 0; i <= text.size(); ++i) {
        const bool end = i == text.size();
        if (!end && fg[static_cast<std::size_t>(i)] == currentFg && bg[static_cast<std::size_t>(i)] == currentBg) continue;
        // Never split a CR LF or a surrogate pair between two runs.
        if (!end && i > 0 && ((text[i] == u'\n' && text[i - 1] == u'\r') || text[i].isLowSurrogate())) continue;
        appendText(out, QStringView(text).mid(start, i - start));
        if (end) break;
        currentFg = fg[static_cast<std::size_t>(i)];
        currentBg = bg[static_cast<std::size_t>(i)];
        out += "\\cf" + QByteArray::number(currentFg) + "\\cb" + QByteArray::number(currentBg) + ' ';
        start = i;
    }
    out += "}";
    return out;
}

}  // namespace korimado
