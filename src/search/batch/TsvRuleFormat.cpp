// Tab-separated rule text: one plain find/replace pair a line, nothing else kept.
#include "search/batch/BatchReplaceEngine.h"

#include "document/UnicodeForms.h"
#include "search/batch/BatchReplaceError.h"

namespace korimado {

namespace {

bool isBreak(char16_t u)
{
    return u == 0x0A || u == 0x0B || u == 0x0C || u == 0x0D || u == 0x0085 || u == 0x2028 || u == 0x2029;
}

bool hasTabOrBreak(const QString& s)
{
    for (QChar c : s) {
        if (c == u'\t' || isBreak(c.unicode())) return true;
    }
    return false;
}

// Non-empty lines; CR LF is one break.
QList<QStringView> lines(QStringView text)
{
    QList<QStringView> out;
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t u = text[i].unicode();
        if (!isBreak(u)) continue;
        if (i > start) out.push_back(text.mid(start, i - start));
        if (u == 0x0D && i + 1 < text.size() && text[i + 1] == u'\n') ++i;
        start = i + 1;
    }
    if (start < text.size()) out.push_back(text.mid(start));
    return out;
}

}  // namespace

BatchReplaceDocument BatchReplaceEngine::importTSV(const QString& text, const QString& name, bool strict)
{
    BatchReplaceDocument document;
    document.version = BatchReplaceDocument::currentVersion;
    document.name = name;
    QStringView body(text);
    if (body.startsWith(QChar(0xFEFF))) body = body.mid(1);  // a byte-order mark is no part of the first rule
    const QList<QStringView> all = lines(body);
    for (qsizetype n = 0; n < all.size(); ++n) {
        const QList<QStringView> fields = all[n].split(u'\t');
        if (fields.size() < 2 || fields[0].isEmpty()) {
            if (strict) throw BatchReplaceError::invalidTSVLine(n + 1);
            continue;
        }
        BatchReplaceRule rule;
        rule.id = QUuid::createUuid();
        rule.enabled = true;
        rule.find = fields[0].toString();
        rule.replacement = fields[1].toString();
        rule.options = BatchReplaceRule::standardRuleOptions();
        document.rules.push_back(std::move(rule));
    }
    return document;
}

QString BatchReplaceEngine::exportTSV(const BatchReplaceDocument& document)
{
    const CotReplacementSettings standard = cotSettings(BatchReplaceRule::standardRuleOptions());
    QString out;
    for (qsizetype i = 0; i < document.rules.size(); ++i) {
        const BatchReplaceRule& rule = document.rules[i];
        const qsizetype n = i + 1;
        if (rule.find.isEmpty()) throw BatchReplaceError::lossyTSVExport(n, BatchReplaceError::emptyFindReason);
        if (hasTabOrBreak(rule.find) || hasTabOrBreak(rule.replacement))
            throw BatchReplaceError::lossyTSVExport(n, BatchReplaceError::tabOrBreakReason);
        if (!rule.enabled || rule.options.mode == SearchMode::regularExpression || !rule.options.caseSensitive
            || rule.description || !(cotSettings(rule.options) == standard))
            throw BatchReplaceError::lossyTSVExport(n, BatchReplaceError::settingsReason);
        // A lone surrogate has no UTF-8 form: writing it would put a replacement character in its place.
        if (!UnicodeForms::isWellFormed(rule.find) || !UnicodeForms::isWellFormed(rule.replacement))
            throw BatchReplaceError::lossyTSVExport(n, BatchReplaceError::unencodableReason);
        // The first character of the file would be read back as a byte-order mark and dropped.
        if (out.isEmpty() && rule.find.startsWith(QChar(0xFEFF)))
            throw BatchReplaceError::lossyTSVExport(n, BatchReplaceError::leadingMarkReason);
        out += rule.find;
        out += u'\t';
        out += rule.replacement;
        out += u'\n';
    }
    return out;
}

}  // namespace korimado
