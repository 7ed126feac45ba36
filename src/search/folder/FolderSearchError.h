#pragma once

#include "search/folder/FolderReplaceReceipt.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <exception>
#include <optional>

namespace korimado {

// What the folder search, preview and apply throw; the description is shown to the user unchanged.
class FolderSearchError : public std::exception {
public:
    enum class Kind { preconditionFailed, writeFailed, invalidRoot, cancelled };

    // problems: one line per file that failed a re-check before writing.
    static FolderSearchError preconditionFailed(const QStringList& problems);
    // message: what went wrong while writing; rollbackFailures: the files that could not be restored;
    // unrestored: those files as a receipt, for a later rollback.
    static FolderSearchError writeFailed(const QString& message, const QStringList& rollbackFailures,
                                         std::optional<FolderReplaceReceipt> unrestored = std::nullopt);
    static FolderSearchError invalidRoot();
    static FolderSearchError cancelled();

    Kind kind() const { return kind_; }
    const QStringList& problems() const { return lines_; }          // preconditionFailed
    const QString& message() const { return message_; }             // writeFailed
    const QStringList& rollbackFailures() const { return lines_; }  // writeFailed
    const std::optional<FolderReplaceReceipt>& unrestored() const { return unrestored_; }  // writeFailed

    QString errorDescription() const;
    const char* what() const noexcept override { return what_.constData(); }

    friend bool operator==(const FolderSearchError& a, const FolderSearchError& b)
    {
        return a.kind_ == b.kind_ && a.message_ == b.message_ && a.lines_ == b.lines_;
    }

private:
    FolderSearchError(Kind kind, QString message, QStringList lines);

    Kind kind_;
    QString message_;
    QStringList lines_;
    std::optional<FolderReplaceReceipt> unrestored_;
    QByteArray what_;
};

}  // namespace korimado
