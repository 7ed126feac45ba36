#pragma once

#include "support/TestSupport.h"
#include "syntax/CotSyntaxCatalog.h"
#include "syntax/SyntaxLanguage.h"
#include "syntax/SyntaxParser.h"

#include <QByteArray>
#include <QString>

#include <cstdlib>
#include <optional>

#include <ostream>

QT_BEGIN_NAMESPACE
inline void PrintTo(const QString& text, std::ostream* os)
{
    *os << '"' << text.toStdString() << '"';
}
QT_END_NAMESPACE

namespace korimado::test {

// Sets an environment variable for one scope and puts the old value back.
class ScopedEnvironment {
public:
    ScopedEnvironment(const char* name, const std::optional<QByteArray>& value) : name_(name)
    {
        if (const char* old = std::getenv(name)) old_ = QByteArray(old);
        if (value) {
            qputenv(name, *value);
        } else {
            qunsetenv(name);
        }
    }
    ~ScopedEnvironment()
    {
        if (old_) {
            qputenv(name_, *old_);
        } else {
            qunsetenv(name_);
        }
    }
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

private:
    const char* name_;
    std::optional<QByteArray> old_;
};

// Points the shared catalog at one folder (only it is read) and reloads it.
class ScopedSyntaxRoot {
public:
    explicit ScopedSyntaxRoot(const QString& folder) : environment_("KORIMADO_SYNTAX_ROOT", folder.toUtf8())
    {
        CotSyntaxCatalog::shared().reloadIfNeeded();
    }
    ~ScopedSyntaxRoot() = default;

private:
    ScopedEnvironment environment_;
};

// Writes a ".cotsyntax" package; empty data leaves a file out.
inline QString writePackage(const TempDir& root, const QString& name, const QByteArray& info, const QByteArray& edit = {},
                            const QByteArray& completion = {}, const QByteArray& highlights = {}, const QByteArray& outlines = {})
{
    const QString folder = name + QStringLiteral(".cotsyntax/");
    if (!info.isEmpty()) root.write(folder + QStringLiteral("Info.json"), info);
    if (!edit.isEmpty()) root.write(folder + QStringLiteral("Edit.json"), edit);
    if (!completion.isEmpty()) root.write(folder + QStringLiteral("Completion.json"), completion);
    if (!highlights.isEmpty()) root.write(folder + QStringLiteral("Regex/Highlights.json"), highlights);
    if (!outlines.isEmpty()) root.write(folder + QStringLiteral("Regex/Outlines.json"), outlines);
    return root.file(name + QStringLiteral(".cotsyntax"));
}

// "kind:text" for every token, to compare whole results at a glance.
inline QStringList describe(const QString& text, const std::vector<SyntaxTokenSpan>& tokens)
{
    QStringList out;
    for (const SyntaxTokenSpan& t : tokens) out.append(rawValue(t.kind) + QLatin1Char(':') + text.mid(t.range.location, t.range.length));
    return out;
}

// A language made only of imported rules, under an identifier no built-in expression knows.
inline SyntaxLanguage customLanguage(std::vector<SyntaxRegexRule> rules, std::vector<SyntaxOutlineRule> outlines = {})
{
    SyntaxLanguage language;
    language.id = QStringLiteral("custom");
    language.importedHighlightRules = std::move(rules);
    language.importedOutlineRules = std::move(outlines);
    return language;
}

inline SyntaxLanguage builtInLanguage(const QString& id)
{
    for (const SyntaxLanguage& language : SyntaxLanguage::builtIn()) {
        if (language.id == id) return language;
    }
    return SyntaxLanguage::plain();
}

}  // namespace korimado::test
