// The settings mapping of SettingsArchive: the outside editor's preference keys read into the
// program's settings on import, and written from them over a base archive on export.
#include "preferences/archive/SettingsArchive.h"

#include "document/LineEnding.h"
#include "document/TextEncoding.h"
#include "platform/foundation/KeyedArchive.h"
#include "platform/foundation/UserDefaults.h"
#include "preferences/archive/SettingsArchiveError.h"
#include "preferences/archive/SettingsArchiveKeys.h"
#include "settings/EditorSettingsError.h"
#include "settings/EditorSettingsSnapshot.h"

#include <QDateTime>

#include <algorithm>
#include <array>
#include <cmath>

namespace korimado {

namespace {

namespace Key = SettingsArchiveKey;

// The outside editor's line-ending codes, by code.
constexpr std::array<const char*, 6> kLineEndingCodes = {"LF", "CR", "CRLF", "NEL", "LS", "PS"};

const QStringList kStatusKeys = {
    Key::showStatusBarLines, Key::showStatusBarChars, Key::showStatusBarWords,
    Key::showStatusBarLocation, Key::showStatusBarLine, Key::showStatusBarColumn,
};

QString outOfRange(const QString& key)
{
    return key + QStringLiteral("（対応範囲外です）");
}

QString notBoolean(const QString& key)
{
    return key + QStringLiteral("（真偽値ではありません）");
}

// Whether the settings would pass the snapshot's own checks with this one value changed.
bool isValid(const EditorSettingsSnapshot& candidate)
{
    try {
        candidate.validated();
        return true;
    } catch (const EditorSettingsError&) {
        return false;
    }
}

}  // namespace

const QStringList& SettingsArchive::mappedDefaultKeys()
{
    static const QStringList keys = {
        Key::font, Key::appearance, Key::defaultTheme,
        Key::showLineNumbers, Key::showInvisibles, Key::showPageGuide,
        Key::pageGuideColumn, Key::wrapLines, Key::autoExpandTab,
        Key::tabWidth, Key::showStatusBarLines, Key::showStatusBarChars,
        Key::showStatusBarWords, Key::showStatusBarLocation,
        Key::showStatusBarLine, Key::showStatusBarColumn,
        Key::defaultLineEndCharCode, Key::encodingInNew,
    };
    return keys;
}

const QSet<QString>& SettingsArchive::portableDefaultKeys()
{
    static const QSet<QString> keys = [] {
        static const char* const names[] = {
            "NSQuitAlwaysKeepsWindows", "noDocumentOnLaunchOption", "enablesAutosaveInPlace",
            "documentConflictOption", "suppressesInconsistentLineEndingAlert", "font", "shouldAntialias", "ligature",
            "monospacedFont", "monospacedShouldAntialias", "monospacedLigature", "lineHeight", "appearance",
            "windowAlpha", "defaultTheme", "pinsThemeAppearance", "windowTabbing", "windowWidth", "windowHeight",
            "showLineNumbers", "showInvisibles", "showInvisibleNewLine", "showInvisibleTab", "showInvisibleSpace",
            "showInvisibleWhitespaces", "showOtherInvisibleChars", "showIndentGuides", "showPageGuide",
            "pageGuideColumn", "highlightCurrentLine", "wrapLines", "enableHangingIndent", "hangingIndentWidth",
            "writingDirection", "overscrollRate", "showStatusBarLines", "showStatusBarChars", "showStatusBarWords",
            "showStatusBarLocation", "showStatusBarLine", "showStatusBarColumn", "autoExpandTab", "tabWidth",
            "detectsIndentStyle", "autoIndent", "indentWithTabKey", "autoTrimsTrailingWhitespace",
            "trimsWhitespaceOnlyLines", "insertsCommentDelimitersAfterIndent", "appendsCommentSpacer",
            "autoLinkDetectionKey", "highlightBraces", "highlightSelectionInstance",
            "selectionInstanceHighlightDelay", "modes", "defaultLineEndCharCode", "encodingList", "encodingInNew",
            "saveUTF8BOM", "referToEncodingTag", "defaultColoringStyleName", "hiddenSyntaxes", "snippets",
            "fileDropArray",
        };
        QSet<QString> set;
        for (const char* name : names) set.insert(QString::fromLatin1(name));
        return set;
    }();
    return keys;
}

std::optional<qint64> SettingsArchive::integer(const PropertyList* value)
{
    if (!value) return std::nullopt;
    if (auto whole = value->integerValue()) return whole;
    if (!value->isReal()) return std::nullopt;
    const double number = value->realValue();
    constexpr double kTwoTo63 = 9223372036854775808.0;
    if (!std::isfinite(number) || std::trunc(number) != number || number < -kTwoTo63 || number >= kTwoTo63) {
        return std::nullopt;
    }
    return static_cast<qint64>(number);
}

std::optional<bool> SettingsArchive::boolean(const PropertyList* value)
{
    if (!value || !value->isBool()) return std::nullopt;
    return value->boolValue();
}

SettingsArchiveImportSummary SettingsArchive::applyKnownSettings(
    UserDefaults& userDefaults, const std::optional<QSet<QString>>& availableThemeNames) const
{
    EditorSettingsSnapshot settings(userDefaults);
    QStringList applied;
    QStringList warnings;
    const auto value = [this](QLatin1String key) { return defaults_.value(key); };

    if (const PropertyList* font = value(Key::font)) {
        bool taken = false;
        if (!font->isData()) {
            warnings.append(QString(Key::font) + QStringLiteral("（Dataではありません）"));
        } else {
            try {
                const ArchivedFont archived = KeyedArchive::decodeFont(font->dataValue());
                EditorSettingsSnapshot candidate = settings;
                candidate.fontName = archived.name;
                candidate.fontSize = archived.pointSize;
                if (archived.pointSize >= 10 && archived.pointSize <= 32 && isValid(candidate)) {
                    settings = candidate;
                    taken = true;
                }
            } catch (const PropertyListError&) {
            }
            if (taken) applied.append(QStringLiteral("フォント"));
            else warnings.append(QString(Key::font) + QStringLiteral("（フォントを読み取れません）"));
        }
    }

    const auto number = [&](QLatin1String key, qint64 minimum, qint64 maximum, qint64& field, const char* label) {
        const PropertyList* stored = value(key);
        if (!stored) return;
        const std::optional<qint64> n = integer(stored);
        if (n && *n >= minimum && *n <= maximum) {
            field = *n;
            applied.append(QString::fromUtf8(label));
        } else {
            warnings.append(outOfRange(key));
        }
    };
    const auto flag = [&](QLatin1String key, bool& field, const char* label) {
        const PropertyList* stored = value(key);
        if (!stored) return;
        if (const std::optional<bool> b = boolean(stored)) {
            field = *b;
            applied.append(QString::fromUtf8(label));
        } else {
            warnings.append(notBoolean(key));
        }
    };

    number(Key::appearance, 0, 2, settings.appearance, "外観");

    if (const PropertyList* theme = value(Key::defaultTheme)) {
        const QString name = theme->stringValue();
        EditorSettingsSnapshot candidate = settings;
        candidate.themeName = name;
        if (theme->isString() && !name.isEmpty() && (!availableThemeNames || availableThemeNames->contains(name))
            && isValid(candidate)) {
            settings = candidate;
            applied.append(QStringLiteral("テーマ"));
        } else {
            warnings.append(QString(Key::defaultTheme) + QStringLiteral("（利用できるテーマではありません）"));
        }
    }

    flag(Key::showLineNumbers, settings.lineNumbers, "行番号");
    flag(Key::showInvisibles, settings.invisibles, "不可視文字");
    flag(Key::showPageGuide, settings.showPageGuide, "ページガイド");
    number(Key::pageGuideColumn, 20, 240, settings.pageGuideColumn, "ページガイドの列");
    flag(Key::wrapLines, settings.wrap, "行の折り返し");
    flag(Key::autoExpandTab, settings.useSpaces, "空白によるインデント");
    number(Key::tabWidth, 2, 12, settings.tabWidth, "タブ幅");

    bool anyStatus = false;
    bool allBoolean = true;
    bool statusOn = false;
    for (const QString& key : kStatusKeys) {
        const PropertyList* stored = defaults_.value(key);
        if (!stored) continue;
        anyStatus = true;
        if (!stored->isBool()) allBoolean = false;
        else statusOn = statusOn || stored->boolValue();
    }
    if (anyStatus && allBoolean) {
        settings.statusBar = statusOn;
        applied.append(QStringLiteral("ステータス"));
    } else if (anyStatus) {
        warnings.append(QStringLiteral("ステータス項目（真偽値ではありません）"));
    }

    if (const PropertyList* code = value(Key::defaultLineEndCharCode)) {
        const std::optional<qint64> n = integer(code);
        if (n && *n >= 0 && *n < static_cast<qint64>(kLineEndingCodes.size())) {
            settings.defaultLineEnding = QString::fromLatin1(kLineEndingCodes[static_cast<size_t>(*n)]);
            applied.append(QStringLiteral("標準改行"));
        } else {
            warnings.append(outOfRange(Key::defaultLineEndCharCode));
        }
    }

    if (const PropertyList* encoding = value(Key::encodingInNew)) {
        const std::optional<qint64> n = integer(encoding);
        const auto& cases = TextEncoding::allCases();
        const auto match = n && *n >= 0 ? std::ranges::find_if(cases, [&](TextEncoding e) { return e.foundation() == *n; })
                                        : cases.end();
        if (match != cases.end()) {
            settings.defaultEncoding = match->rawValue();
            applied.append(QStringLiteral("標準文字コード"));
        } else {
            warnings.append(QString(Key::encodingInNew) + QStringLiteral("（対応する文字コードがありません）"));
        }
    }

    settings.validated();
    settings.applying(userDefaults);

    SettingsArchiveImportSummary summary;
    if (const PropertyList* version = info_.value(QStringLiteral("version")); version && version->isString()) {
        summary.archiveVersion = version->stringValue();
    }
    std::sort(applied.begin(), applied.end());
    applied.erase(std::unique(applied.begin(), applied.end()), applied.end());
    summary.appliedKeys = applied;
    const QStringList& mapped = mappedDefaultKeys();
    for (const PropertyList::Entry& entry : defaults_.entries()) {
        if (!portableDefaultKeys().contains(entry.key)) summary.unrecognizedKeys.append(entry.key);
        else if (!mapped.contains(entry.key)) summary.unsupportedKeys.append(entry.key);
    }
    std::sort(summary.unsupportedKeys.begin(), summary.unsupportedKeys.end());
    std::sort(summary.unrecognizedKeys.begin(), summary.unrecognizedKeys.end());
    for (auto it = resources_.cbegin(); it != resources_.cend(); ++it) {
        it.value().appendPaths(it.key(), summary.preservedResources);
    }
    std::sort(warnings.begin(), warnings.end());
    summary.warnings = warnings;
    return summary;
}

void SettingsArchive::overlay(const EditorSettingsSnapshot& settings, Dictionary& defaults,
                              const FontNameResolver& fontName)
{
    const QString family = fontName ? fontName(settings.fontName) : settings.fontName;
    defaults.insert(Key::font, KeyedArchive::encodeFont({family, settings.fontSize}));
    defaults.insert(Key::appearance, settings.appearance);
    defaults.insert(Key::defaultTheme, settings.themeName.value_or(QStringLiteral("Classic")));
    defaults.insert(Key::showLineNumbers, settings.lineNumbers);
    defaults.insert(Key::showInvisibles, settings.invisibles);
    defaults.insert(Key::showPageGuide, settings.showPageGuide);
    defaults.insert(Key::pageGuideColumn, settings.pageGuideColumn);
    defaults.insert(Key::wrapLines, settings.wrap);
    defaults.insert(Key::autoExpandTab, settings.useSpaces);
    defaults.insert(Key::tabWidth, settings.tabWidth);
    for (QLatin1String key : {Key::showStatusBarLines, Key::showStatusBarChars, Key::showStatusBarLocation,
                              Key::showStatusBarLine}) {
        defaults.insert(key, settings.statusBar);
    }
    defaults.insert(Key::showStatusBarWords, false);
    defaults.insert(Key::showStatusBarColumn, false);
    const auto code = std::ranges::find_if(kLineEndingCodes, [&](const char* name) {
        return settings.defaultLineEnding == QLatin1String(name);
    });
    defaults.insert(Key::defaultLineEndCharCode,
                    code == kLineEndingCodes.end() ? qint64(0) : qint64(code - kLineEndingCodes.begin()));
    const TextEncoding encoding = TextEncoding::fromRawValue(settings.defaultEncoding).value_or(TextEncoding::utf8);
    defaults.insert(Key::encodingInNew, encoding.foundation());
}

SettingsArchive SettingsArchive::exporting(const EditorSettingsSnapshot& settings, const SettingsArchive* base,
                                           const FontNameResolver& fontName)
{
    Dictionary info = base ? base->info_ : Dictionary();
    info.insert(QStringLiteral("date"), PropertyList::Date::fromDateTime(QDateTime::currentDateTimeUtc()));
    info.insert(QStringLiteral("version"), "7.1.2");
    Dictionary defaults = base ? base->defaults_ : Dictionary();
    overlay(settings, defaults, fontName);
    return SettingsArchive(std::move(info), std::move(defaults), base ? base->resources_ : Resources());
}

}  // namespace korimado
