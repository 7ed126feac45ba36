#pragma once

#include "syntax/SyntaxLanguage.h"

#include <QSet>
#include <QString>
#include <QStringList>

#include <memory>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

namespace korimado {

// The process-wide list of syntax languages: the built-in ones with the syntax packages found on
// disk merged into them, then the languages only packages define. Readers copy the list under
// the lock and search the copy.
class CotSyntaxCatalog {
public:
    // The files of a ".cotsyntax" package, as decoded.
    struct Delimiter {
        QString begin;
        std::optional<QString> end;
        bool isMultiline = false;
        bool ignoreCase = false;
    };
    struct FileMap {
        QStringList extensions;
        QStringList filenames;
        QStringList interpreters;  // read, not used: detection never looks inside files
    };
    struct Info {
        FileMap fileMap;
    };
    struct Comment {
        std::vector<Delimiter> blocks;
        std::vector<Delimiter> inlines;
    };
    struct Edit {
        Comment comment;
        std::vector<Delimiter> stringDelimiters;
    };
    struct Completion {
        QString text;
        std::optional<QString> type;
    };
    struct Highlight {
        QString begin;
        std::optional<QString> end;
        bool ignoreCase = false;
        bool isMultiline = false;
        bool regularExpression = false;
    };
    // Group name to its entries; groups in key order.
    using Highlights = std::vector<std::pair<QString, std::vector<Highlight>>>;
    struct Outline {
        QString pattern;
        QString templateText;
        bool ignoreCase = false;
        std::optional<QString> kind;
    };

    // Files above this size are not read.
    static constexpr qint64 maximumFileSize = 4'000'000;

    static CotSyntaxCatalog& shared();

    // A copy of the current list, taken under the lock.
    std::vector<SyntaxLanguage> languages() const;

    // Every file extension and every file name of all languages: made once per rebuild of the
    // list and shared, so that asking file after file costs no rebuild. Safe on any thread.
    struct FileNames {
        QSet<QString> extensions;
        QSet<QString> filenames;
    };
    std::shared_ptr<const FileNames> fileNames() const;

    // Fingerprint of the user syntax folder (or of $KORIMADO_SYNTAX_ROOT): paths, sizes and dates.
    static QString currentReloadFingerprint();
    // All languages, built without the lock held (reads the disk).
    static std::vector<SyntaxLanguage> buildLanguages();
    // Rebuilds the list when the fingerprint changed since the last build.
    void reloadIfNeeded();
    // "Korimado/Syntaxes" in the user's data folder; not created here.
    static QString userSyntaxDirectory();

    // One package folder as a language, or nothing when its "Info.json" does not decode.
    static std::optional<SyntaxLanguage> loadPackage(const QString& packagePath, int priority);
    // Package name to identifier: lowercased, runs of non-alphanumerics become one "-".
    static QString identifier(const QString& packageName);

    // The package files; nothing when missing, too large or not of the expected shape.
    static std::optional<Info> decodeInfo(const QString& path);
    static std::optional<Edit> decodeEdit(const QString& path);
    static std::optional<std::vector<Completion>> decodeCompletions(const QString& path);
    static std::optional<Highlights> decodeHighlights(const QString& path);
    static std::optional<std::vector<Outline>> decodeOutlines(const QString& path);

    mutable std::mutex lock;
    std::vector<SyntaxLanguage> cachedLanguages;  // guarded by lock
    QString reloadFingerprint;                    // guarded by lock
    quint64 revision = 0;                         // guarded by lock; counts rebuilds of the list

private:
    CotSyntaxCatalog();

    static QStringList definitionRoots();
    static std::vector<SyntaxLanguage> loadDefinitions();
    static SyntaxLanguage merge(const SyntaxLanguage& existing, const SyntaxLanguage& loaded);

    mutable std::shared_ptr<const FileNames> fileNames_;  // guarded by lock
    mutable quint64 fileNamesRevision_ = 0;                // guarded by lock
};

}  // namespace korimado
