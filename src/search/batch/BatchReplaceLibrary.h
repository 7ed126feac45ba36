#pragma once

#include "search/batch/BatchReplaceDocument.h"

#include <QString>
#include <QStringList>

#include <exception>
#include <optional>

namespace korimado {

// Why a saved rule file was refused; the description is shown to the user.
class BatchReplaceLibraryError : public std::exception {
public:
    static inline const QString domain = QStringLiteral("BatchReplaceLibrary");

    BatchReplaceLibraryError(int code, QString description);
    int code() const { return code_; }  // 1: empty search text, 2: invalid expression
    const QString& errorDescription() const { return description_; }
    const char* what() const noexcept override { return what_.constData(); }

private:
    int code_;
    QString description_;
    QByteArray what_;
};

// The folder of saved outside-editor rule definitions the multi-rule window offers.
class BatchReplaceLibrary {
public:
    BatchReplaceLibrary() = delete;

    // Korimado/Replacements in the user's data folder; none when there is no data folder.
    static std::optional<QString> directory();

    struct Listing {
        enum class State { entries, missing, unreadable };
        State state = State::entries;
        QStringList paths;      // sorted by name without extension, digits by value
        QString errorDescription;  // unreadable
    };
    // The direct children that are regular files (not links, not hidden) named *.cotrpl in any
    // case. A folder that does not exist lists as missing, not as an error.
    static Listing list(const QString& directory);

    // Every rule, enabled or not, needs a search text and a pattern that compiles.
    static void validate(const BatchReplaceDocument& document);
};

}  // namespace korimado
