#include "scripting/text/ScriptNormalization.h"

#include <unicode/normalizer2.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>
#include <unicode/ustring.h>

namespace korimado {

namespace {

enum class Form { nfc, nfd, nfkc, nfkd };

const icu::Normalizer2* normalizer(Form form)
{
    UErrorCode status = U_ZERO_ERROR;
    switch (form) {
    case Form::nfc: return icu::Normalizer2::getNFCInstance(status);
    case Form::nfd: return icu::Normalizer2::getNFDInstance(status);
    case Form::nfkc: return icu::Normalizer2::getNFKCInstance(status);
    case Form::nfkd: return icu::Normalizer2::getNFKDInstance(status);
    }
    return nullptr;
}

const UChar* units(const QString& text)
{
    return reinterpret_cast<const UChar*>(text.utf16());
}

QString toQString(const icu::UnicodeString& text)
{
    return QString(reinterpret_cast<const QChar*>(text.getBuffer()), text.length());
}

// Appends the normalized form of units [start, end) of text.
void appendNormalized(QString& out, const UChar* text, qsizetype start, qsizetype end, Form form)
{
    if (start >= end)
        return;
    const icu::Normalizer2* n = normalizer(form);
    // Read-only alias: no copy of the input.
    const icu::UnicodeString source(false, text + start, int32_t(end - start));
    UErrorCode status = U_ZERO_ERROR;
    // The leading part already in the form is taken as it stands.
    const int32_t done = n->spanQuickCheckYes(source, status);
    if (U_FAILURE(status)) {
        out.append(reinterpret_cast<const QChar*>(text + start), end - start);
        return;
    }
    out.append(reinterpret_cast<const QChar*>(text + start), done);
    if (done == source.length())
        return;
    icu::UnicodeString normalized;
    n->normalize(source.tempSubString(done), normalized, status);
    if (U_FAILURE(status))
        out.append(reinterpret_cast<const QChar*>(text + start + done), end - start - done);
    else
        out.append(toQString(normalized));
}

QString normalized(const QString& text, Form form)
{
    QString out;
    out.reserve(text.size());
    appendNormalized(out, units(text), 0, text.size(), form);
    return out;
}

// Full case folding, as ICU's default folding defines it.
QString caseFolded(const QString& text)
{
    if (text.isEmpty())
        return text;
    QString out(text.size() + text.size() / 8 + 16, Qt::Uninitialized);
    UErrorCode status = U_ZERO_ERROR;
    int32_t length = u_strFoldCase(reinterpret_cast<UChar*>(out.data()), int32_t(out.size()), units(text),
                                   int32_t(text.size()), U_FOLD_CASE_DEFAULT, &status);
    if (status == U_BUFFER_OVERFLOW_ERROR) {
        out.resize(length);
        status = U_ZERO_ERROR;
        length = u_strFoldCase(reinterpret_cast<UChar*>(out.data()), int32_t(out.size()), units(text),
                               int32_t(text.size()), U_FOLD_CASE_DEFAULT, &status);
    }
    if (U_FAILURE(status))
        return text;
    out.resize(length);
    return out;
}

QString withoutDefaultIgnorables(const QString& text)
{
    QString out;
    out.reserve(text.size());
    const qsizetype count = text.size();
    const char16_t* in = reinterpret_cast<const char16_t*>(text.utf16());
    qsizetype runStart = 0;
    for (qsizetype i = 0; i < count;) {
        if (in[i] < 0x80) {
            ++i;
            continue;
        }
        char32_t scalar = in[i];
        qsizetype length = 1;
        if (QChar::isHighSurrogate(in[i]) && i + 1 < count && QChar::isLowSurrogate(in[i + 1])) {
            scalar = QChar::surrogateToUcs4(in[i], in[i + 1]);
            length = 2;
        }
        if (u_hasBinaryProperty(UChar32(scalar), UCHAR_DEFAULT_IGNORABLE_CODE_POINT)) {
            out.append(reinterpret_cast<const QChar*>(in + runStart), i - runStart);
            runStart = i + length;
        }
        i += length;
    }
    if (runStart == 0)
        return text;
    out.append(reinterpret_cast<const QChar*>(in + runStart), count - runStart);
    return out;
}

QString modified(const QString& text, Form form)
{
    QString out;
    out.reserve(text.size());
    const UChar* in = units(text);
    const qsizetype count = text.size();
    qsizetype runStart = 0;
    for (qsizetype i = 0; i < count;) {
        char32_t scalar = in[i];
        qsizetype length = 1;
        if (QChar::isHighSurrogate(in[i]) && i + 1 < count && QChar::isLowSurrogate(in[i + 1])) {
            scalar = QChar::surrogateToUcs4(in[i], in[i + 1]);
            length = 2;
        }
        if (ScriptNormalization::isSpared(scalar)) {
            appendNormalized(out, in, runStart, i, form);
            out.append(reinterpret_cast<const QChar*>(in + i), length);
            runStart = i + length;
        }
        i += length;
    }
    appendNormalized(out, in, runStart, count, form);
    return out;
}

}  // namespace

const QStringList& ScriptNormalization::formNames()
{
    static const QStringList names{QStringLiteral("NFC"),           QStringLiteral("NFD"),
                                   QStringLiteral("NFKC"),          QStringLiteral("NFKD"),
                                   QStringLiteral("NFKC Casefold"), QStringLiteral("Modified NFC"),
                                   QStringLiteral("Modified NFD")};
    return names;
}

bool ScriptNormalization::isSpared(char32_t scalar)
{
    return (scalar >= 0x2000 && scalar <= 0x2FFF) || (scalar >= 0xF900 && scalar <= 0xFAFF)
           || (scalar >= 0x2F800 && scalar <= 0x2FAFF);
}

std::optional<QString> ScriptNormalization::apply(const QString& text, const QString& form)
{
    switch (formNames().indexOf(form)) {
    case 0: return normalized(text, Form::nfc);
    case 1: return normalized(text, Form::nfd);
    case 2: return normalized(text, Form::nfkc);
    case 3: return normalized(text, Form::nfkd);
    case 4: return normalized(withoutDefaultIgnorables(caseFolded(normalized(text, Form::nfkc))), Form::nfkc);
    case 5: return modified(text, Form::nfc);
    case 6: return modified(text, Form::nfd);
    default: return std::nullopt;
    }
}

}  // namespace korimado
