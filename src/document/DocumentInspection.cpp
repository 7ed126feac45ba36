#include "document/DocumentInspection.h"

#include "document/CodecError.h"
#include "document/LineEnding.h"
#include "document/TextCodec.h"
#include "platform/documents/Document.h"
#include "platform/text/TextBoundaries.h"

#include <QFileInfo>
#include <QJsonValue>
#include <QLocale>

#include <unicode/brkiter.h>
#include <unicode/datefmt.h>
#include <unicode/uchar.h>
#include <unicode/utext.h>

#include <algorithm>
#include <cmath>
#include <memory>

namespace korimado {

namespace {

const char16_t* unitsOf(QStringView text)
{
    return reinterpret_cast<const char16_t*>(text.utf16());
}

// A grapheme iterator over a run of UTF-16 units, read in place.
class GraphemeCounter {
public:
    explicit GraphemeCounter(QStringView text)
    {
        UErrorCode status = U_ZERO_ERROR;
        utext_openUChars(&utext_, reinterpret_cast<const UChar*>(text.utf16()), text.size(), &status);
        iterator_.reset(icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
        if (U_SUCCESS(status) && iterator_) iterator_->setText(&utext_, status);
        if (U_FAILURE(status)) iterator_.reset();
    }
    ~GraphemeCounter() { utext_close(&utext_); }
    GraphemeCounter(const GraphemeCounter&) = delete;
    GraphemeCounter& operator=(const GraphemeCounter&) = delete;

    // Clusters in [from, to); both ends must be cluster boundaries (true after a line break).
    qsizetype count(qsizetype from, qsizetype to)
    {
        if (to <= from) return 0;
        if (!iterator_) return to - from;
        qsizetype n = 0;
        int32_t b = from == 0 ? iterator_->first() : iterator_->following(static_cast<int32_t>(from - 1));
        while (b != icu::BreakIterator::DONE && b < to) {
            b = iterator_->next();
            ++n;
        }
        return n;
    }

private:
    UText utext_ = UTEXT_INITIALIZER;
    std::unique_ptr<icu::BreakIterator> iterator_;
};

bool isControlCharacter(char32_t c)
{
    if (c == 0x09 || c == 0x0A || c == 0x0D) return false;
    if (c < 0x80) return c < 0x20 || c == 0x7F;
    const int8_t type = u_charType(static_cast<UChar32>(c));
    return type == U_CONTROL_CHAR || type == U_FORMAT_CHAR;
}

qsizetype countControlCharacters(QStringView text)
{
    const char16_t* p = unitsOf(text);
    const qsizetype n = text.size();
    qsizetype count = 0;
    for (qsizetype i = 0; i < n; ++i) {
        char32_t c = p[i];
        if (c >= 0x20 && c < 0x7F) continue;
        if (QChar::isHighSurrogate(c) && i + 1 < n && QChar::isLowSurrogate(p[i + 1])) {
            c = QChar::surrogateToUcs4(static_cast<char16_t>(c), p[i + 1]);
            ++i;
        }
        if (isControlCharacter(c)) ++count;
    }
    return count;
}

qsizetype countWords(QStringView text)
{
    if (text.isEmpty()) return 0;
    UErrorCode status = U_ZERO_ERROR;
    UText utext = UTEXT_INITIALIZER;
    utext_openUChars(&utext, reinterpret_cast<const UChar*>(text.utf16()), text.size(), &status);
    std::unique_ptr<icu::BreakIterator> words(icu::BreakIterator::createWordInstance(icu::Locale("ja"), status));
    qsizetype count = 0;
    if (U_SUCCESS(status) && words) {
        words->setText(&utext, status);
        if (U_SUCCESS(status)) {
            words->first();
            // Spaces and punctuation form segments of their own with no word status.
            for (int32_t b = words->next(); b != icu::BreakIterator::DONE; b = words->next()) {
                if (words->getRuleStatus() >= UBRK_WORD_NONE_LIMIT) ++count;
            }
        }
    }
    utext_close(&utext);
    return count;
}

// The last path component as a file URL would give it ("/a/b/" gives "b").
QString lastPathComponent(const QString& path)
{
    QString trimmed = path;
    while (trimmed.size() > 1 && trimmed.endsWith(QLatin1Char('/'))) trimmed.chop(1);
    if (trimmed == QLatin1String("/")) return trimmed;
    return trimmed.mid(trimmed.lastIndexOf(QLatin1Char('/')) + 1);
}

QString number(qsizetype n)
{
    return QString::number(static_cast<qlonglong>(n));
}

}  // namespace

// Severity

std::optional<DocumentWarningSeverity> DocumentWarningSeverity::fromRawValue(int raw)
{
    switch (raw) {
    case information: return DocumentWarningSeverity(information);
    case caution: return DocumentWarningSeverity(caution);
    case error: return DocumentWarningSeverity(error);
    default: return std::nullopt;
    }
}

QString DocumentWarningSeverity::label() const
{
    switch (value_) {
    case information: return QStringLiteral("情報");
    case caution: return QStringLiteral("注意");
    case error: return QStringLiteral("エラー");
    }
    return {};
}

// Warning coding

QJsonObject DocumentWarning::toJson() const
{
    return QJsonObject{{QStringLiteral("severity"), severity.rawValue()},
                       {QStringLiteral("title"), title},
                       {QStringLiteral("detail"), detail}};
}

std::optional<DocumentWarning> DocumentWarning::fromJson(const QJsonObject& object)
{
    const QJsonValue severity = object.value(QStringLiteral("severity"));
    const QJsonValue title = object.value(QStringLiteral("title"));
    const QJsonValue detail = object.value(QStringLiteral("detail"));
    if (!severity.isDouble() || !title.isString() || !detail.isString()) return std::nullopt;
    const double raw = severity.toDouble();
    if (raw != std::floor(raw)) return std::nullopt;
    const auto kind = DocumentWarningSeverity::fromRawValue(static_cast<int>(std::clamp(raw, -1.0, 3.0)));
    if (!kind) return std::nullopt;
    return DocumentWarning{*kind, title.toString(), detail.toString()};
}

// Inspection

qsizetype DocumentInspection::characterCount(QStringView text)
{
    const char16_t* p = unitsOf(text);
    const qsizetype n = text.size();
    qsizetype crlf = 0;
    bool ascii = true;
    for (qsizetype i = 0; i < n; ++i) {
        if (p[i] >= 0x80) {
            ascii = false;
            break;
        }
        if (p[i] == u'\n' && i > 0 && p[i - 1] == u'\r') ++crlf;
    }
    if (ascii) return n - crlf;  // CR LF is the only ASCII cluster of two units
    GraphemeCounter counter(text);
    return counter.count(0, n);
}

DocumentInspection DocumentInspection::inspect(const QString& text, TextRange selection, const TextFormat& format,
                                               const std::optional<QString>& filePath, qsizetype pageGuideColumn)
{
    DocumentInspection result;
    const qsizetype n = text.size();
    const char16_t* p = unitsOf(text);
    result.utf16Units = n;

    // Lines, split at every kind of break. A break is always a cluster boundary, so each line's
    // clusters can be counted on its own and the text's total is their sum plus one per break.
    GraphemeCounter graphemes(text);
    qsizetype breaks = 0;
    qsizetype totalCharacters = 0;
    qsizetype trailingBlankLines = 0;
    qsizetype linesBeyondGuide = 0;
    qsizetype lineStart = 0;
    bool lineIsAscii = true;
    for (qsizetype i = 0; i <= n; ++i) {
        const char16_t u = i < n ? p[i] : u'\n';
        if (i < n && !TextBoundaries::isLineBreak(u)) {
            if (u >= 0x80) lineIsAscii = false;
            continue;
        }
        const qsizetype chars = lineIsAscii ? i - lineStart : graphemes.count(lineStart, i);
        totalCharacters += chars;
        result.longestLine = std::max(result.longestLine, chars);
        if (chars > pageGuideColumn) ++linesBeyondGuide;
        if (i > lineStart && p[i - 1] == u'\t') {
            ++trailingBlankLines;  // a tab is a control: always a character of its own
        } else if (i > lineStart && p[i - 1] == u' ') {
            // A prepended mark before it makes the space part of a larger character.
            bool prepended = false;
            if (i - 1 > lineStart) {
                char32_t before = p[i - 2];
                if (QChar::isLowSurrogate(before) && i - 2 > lineStart && QChar::isHighSurrogate(p[i - 3])) {
                    before = QChar::surrogateToUcs4(p[i - 3], static_cast<char16_t>(before));
                }
                prepended = u_getIntPropertyValue(static_cast<UChar32>(before), UCHAR_GRAPHEME_CLUSTER_BREAK)
                    == U_GCB_PREPEND;
            }
            if (!prepended) ++trailingBlankLines;
        }
        if (i == n) break;
        ++breaks;
        if (u == u'\r' && i + 1 < n && p[i + 1] == u'\n') ++i;
        lineStart = i + 1;
        lineIsAscii = true;
    }
    result.lines = breaks + 1;
    result.characters = totalCharacters + breaks;

    const qsizetype controls = countControlCharacters(text);
    result.words = countWords(text);

    qsizetype location = selection.location;
    if (location == TextRange::NotFound || location < 0) location = 0;
    location = std::min(location, n);
    const qsizetype length = std::clamp<qsizetype>(selection.length, 0, n - location);
    result.selectedCharacters = characterCount(QStringView(text).mid(location, length));

    bool encodable = true;
    try {
        result.encodedBytes = TextCodec::encodedSize(text, format);
    } catch (const CodecError&) {
        encodable = false;
    }

    const QList<LineEnding> kinds = LineEnding::kinds(text);
    for (LineEnding kind : kinds) result.lineEndings.append(kind.rawValue());

    if (filePath) {
        result.displayName = lastPathComponent(*filePath);
        result.path = *filePath;
        QFileInfo info(*filePath);
        info.setCaching(false);
        if (info.exists()) {
            result.fileBytes = info.size();
            const QDateTime modified = info.lastModified();
            if (modified.isValid()) result.modifiedAt = modified;
        }
    } else {
        result.displayName = Document::untitledBaseName;
    }
    result.encoding = format.encoding.rawValue();
    // Only the Unicode forms write a mark; a flag on any other encoding writes nothing.
    if (format.bom && format.encoding.supportsBOM()) result.encoding += QStringLiteral("（BOM付き）");

    auto warn = [&](DocumentWarningSeverity severity, QString title, QString detail) {
        result.warnings.append(DocumentWarning{severity, std::move(title), std::move(detail)});
    };
    if (kinds.size() >= 2) {
        warn(DocumentWarningSeverity::caution, QStringLiteral("改行コードが混在しています"),
             result.lineEndings.join(QStringLiteral("、")));
    }
    if (!encodable) {
        warn(DocumentWarningSeverity::error, QStringLiteral("現在の文字コードでは保存できません"),
             QStringLiteral("文字コードをUTF-8へ変更するか、表せない文字を修正してください。"));
    }
    if (trailingBlankLines > 0) {
        warn(DocumentWarningSeverity::information, QStringLiteral("行末に空白があります"),
             number(trailingBlankLines) + QStringLiteral("行に行末の空白またはタブがあります。"));
    }
    if (controls > 0) {
        warn(DocumentWarningSeverity::caution, QStringLiteral("制御文字があります"),
             QStringLiteral("タブと改行を除く制御文字が") + number(controls) + QStringLiteral("個あります。"));
    }
    if (linesBeyondGuide > 0) {
        warn(DocumentWarningSeverity::information, QStringLiteral("ページガイドを超える行があります"),
             number(pageGuideColumn) + QStringLiteral("文字を超える行が") + number(linesBeyondGuide)
                 + QStringLiteral("行あります。"));
    }
    if (text.contains(QChar(0xFFFD))) {
        warn(DocumentWarningSeverity::caution, QStringLiteral("置換文字があります"),
             QStringLiteral("文字化けの可能性がある「�」が含まれています。"));
    }
    return result;
}

QString DocumentInspection::informationText() const
{
    QStringList out;
    out << QStringLiteral("名前：") + displayName;
    out << QStringLiteral("場所：") + (path ? *path : QStringLiteral("未保存"));
    out << QStringLiteral("文字数：") + number(characters);
    out << QStringLiteral("UTF-16単位：") + number(utf16Units);
    out << QStringLiteral("単語数：") + number(words);
    out << QStringLiteral("行数：") + number(lines);
    out << QStringLiteral("最長行：") + number(longestLine) + QStringLiteral("文字");
    out << QStringLiteral("選択範囲：") + number(selectedCharacters) + QStringLiteral("文字");
    out << QStringLiteral("文字コード：") + encoding;
    out << QStringLiteral("改行コード：")
            + (lineEndings.isEmpty() ? QStringLiteral("なし") : lineEndings.join(QStringLiteral("、")));
    if (encodedBytes) out << QStringLiteral("現在の設定で保存：") + byteCountText(*encodedBytes);
    if (fileBytes) out << QStringLiteral("ディスク上のサイズ：") + byteCountText(*fileBytes);
    if (modifiedAt) out << QStringLiteral("更新日時：") + dateText(*modifiedAt);
    return out.join(QLatin1Char('\n'));
}

QString DocumentInspection::warningsText() const
{
    if (warnings.isEmpty()) return QStringLiteral("警告はありません。");
    QStringList blocks;
    for (qsizetype i = 0; i < warnings.size(); ++i) {
        const DocumentWarning& w = warnings[i];
        blocks << number(i + 1) + QStringLiteral(". ［") + w.severity.label() + QStringLiteral("］") + w.title
                + QStringLiteral("\n   ") + w.detail;
    }
    return blocks.join(QStringLiteral("\n\n"));
}

QString DocumentInspection::byteCountText(qint64 bytes)
{
    if (bytes < 1000) return QString::number(bytes) + QStringLiteral(" バイト");
    static const char* const units[] = {"KB", "MB", "GB", "TB", "PB", "EB"};
    double value = static_cast<double>(bytes) / 1000.0;
    size_t unit = 0;
    // One decimal below 100, none above; the unit moves up when the number as shown, rounded to
    // that precision, would read 1000 (999.5 KB shows as "1000" with no decimal).
    const auto shown = [](double v) {
        const bool decimal = std::round(v * 10.0) / 10.0 < 100.0;
        return QString::number(v, 'f', decimal ? 1 : 0);
    };
    while (unit + 1 < std::size(units) && shown(value).toDouble() >= 1000.0) {
        value /= 1000.0;
        ++unit;
    }
    return shown(value) + QLatin1Char(' ') + QLatin1String(units[unit]);
}

QString DocumentInspection::dateText(const QDateTime& date)
{
    std::unique_ptr<icu::DateFormat> formatter(
        icu::DateFormat::createDateTimeInstance(icu::DateFormat::kMedium, icu::DateFormat::kMedium, icu::Locale("ja_JP")));
    if (!formatter) return QLocale(QStringLiteral("ja_JP")).toString(date, QLocale::ShortFormat);
    icu::UnicodeString out;
    formatter->format(static_cast<UDate>(date.toMSecsSinceEpoch()), out);
    return QString(reinterpret_cast<const QChar*>(out.getBuffer()), out.length());
}

}  // namespace korimado
