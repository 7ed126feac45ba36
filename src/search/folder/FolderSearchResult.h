#pragma once

#include "document/TextFormat.h"
#include "platform/documents/FileReplacement.h"
#include "platform/text/TextRange.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QDateTime>
#include <QList>
#include <QString>

#include <optional>

namespace korimado {

// One match of a folder search, placed for the user.
struct FolderSearchHit {
    TextRange range;     // UTF-16 units of the file's decoded text
    qsizetype line = 0;  // 1-based
    qsizetype column = 0;  // 1-based, UTF-16 units from the start of the line
    QString excerpt;     // the line of the match start without its break, at most 240 characters

    friend bool operator==(const FolderSearchHit&, const FolderSearchHit&) = default;
};

// An entry the search passed over, and why (one of FolderSkipReason).
struct FolderSkippedFile {
    QString path;  // relative to the root
    QString reason;

    friend bool operator==(const FolderSkippedFile&, const FolderSkippedFile&) = default;
};

// The reasons of FolderSkippedFile, shown to the user as they stand.
struct FolderSkipReason {
    static inline const QString unreadableFolder = QStringLiteral("フォルダを読み込めません");
    static inline const QString excluded = QStringLiteral("除外条件");
    static inline const QString hidden = QStringLiteral("隠しファイル");
    static inline const QString symbolicLink = QStringLiteral("シンボリックリンク");
    static inline const QString outsideRoot = QStringLiteral("対象フォルダ外へのリンク");
    static inline const QString notRegularFile = QStringLiteral("通常ファイルではありません");
    static inline const QString duplicate = QStringLiteral("同じ実体を指す重複ファイル");
    static inline const QString tooLarge = QStringLiteral("サイズ上限を超えています");
    static inline const QString unreadable = QStringLiteral("読込に失敗しました");
    static inline const QString notRoundTrip = QStringLiteral("文字コードを一意に判定できないか、可逆に保存できません");
    // The expression hit the matcher's own limits on this file; the file over its time limit is
    // named by FolderFileDeadlines.
    static inline const QString tooComplex = QStringLiteral("この正規表現はこのファイルには処理が複雑すぎます");
};

// What a search saw of a file's bytes, kept instead of the bytes themselves: their count and two
// independent 64-bit digests.
struct FolderContentStamp {
    qint64 size = -1;
    quint64 digest[2] = {0, 0};

    static FolderContentStamp of(QByteArrayView data);

    friend bool operator==(const FolderContentStamp& a, const FolderContentStamp& b)
    {
        return a.size == b.size && a.digest[0] == b.digest[0] && a.digest[1] == b.digest[1];
    }
};

// A file with at least one hit, with everything a later replacement needs to prove that the
// file has not changed since. A search keeps the stamp of the bytes it read, not the bytes: the
// replacement preview reads the file again, proves it against the stamp and fills originalData
// and text.
struct FolderSearchFile {
    QString url;           // standardised path; for a followed link, its resolved target
    QString relativePath;  // against the result's root
    TextFormat format;
    FolderContentStamp stamp;  // of the bytes the search read
    QByteArray originalData;   // the exact bytes read (in a preview; empty in a search result)
    QString text;              // decoded (in a preview; empty in a search result)
    std::optional<QDateTime> modificationDate;
    std::optional<quint32> posixPermissions;  // permission bits (07777), none when unreadable
    bool isWritable = false;
    std::optional<FileIdentity> identity;  // the file read: a replacement writes only where it still stands
    // In the order the search core found them. Only the first carries its excerpt;
    // FolderSearchEngine::excerpts makes the others.
    QList<FolderSearchHit> hits;
};

struct FolderSearchResult {
    QString rootURL;  // standardised, links resolved; relative paths are taken against it
    QList<FolderSearchFile> files;  // only files with hits, in file-browser order of relativePath
    qsizetype visitedFileCount = 0;  // regular files reached for the first time
    QList<FolderSkippedFile> skippedFiles;  // traversal order
    double elapsedMilliseconds = 0;

    qsizetype matchCount() const;
};

}  // namespace korimado
