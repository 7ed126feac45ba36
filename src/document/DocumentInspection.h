#pragma once

#include "document/TextFormat.h"
#include "platform/text/TextRange.h"

#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>

namespace korimado {

class DocumentWarningSeverity {
public:
    enum Value : int { information = 0, caution = 1, error = 2 };

    constexpr DocumentWarningSeverity(Value value) : value_(value) {}
    constexpr operator Value() const { return value_; }
    constexpr int rawValue() const { return value_; }
    static std::optional<DocumentWarningSeverity> fromRawValue(int raw);

    // "情報", "注意", "エラー".
    QString label() const;

private:
    Value value_;
};

struct DocumentWarning {
    DocumentWarningSeverity severity = DocumentWarningSeverity::information;
    QString title;
    QString detail;

    // Keys "severity" (the integer raw value), "title" and "detail".
    QJsonObject toJson() const;
    // None when a key is missing, of the wrong type, or the severity is unknown.
    static std::optional<DocumentWarning> fromJson(const QJsonObject& object);

    friend bool operator==(const DocumentWarning& a, const DocumentWarning& b)
    {
        return a.severity == b.severity && a.title == b.title && a.detail == b.detail;
    }
};

// A document's measurements and the problems worth telling the user about. Pure apart from
// reading the file's size and modification date; safe on any thread.
struct DocumentInspection {
    QString displayName;
    std::optional<QString> path;
    qsizetype characters = 0;
    qsizetype utf16Units = 0;
    qsizetype words = 0;
    qsizetype lines = 0;
    qsizetype longestLine = 0;
    qsizetype selectedCharacters = 0;
    std::optional<qint64> encodedBytes;
    std::optional<qint64> fileBytes;
    QString encoding;
    QStringList lineEndings;
    std::optional<QDateTime> modifiedAt;
    QList<DocumentWarning> warnings;

    // filePath: the document's file, or none for an untitled document.
    static DocumentInspection inspect(const QString& text, TextRange selection, const TextFormat& format,
                                      const std::optional<QString>& filePath, qsizetype pageGuideColumn);

    QString informationText() const;
    QString warningsText() const;

    // User-perceived characters (extended grapheme clusters).
    static qsizetype characterCount(QStringView text);
    // A size as a user reads it: "512 バイト", "1.2 KB", "34.5 MB", "120 MB" (decimal units; one
    // decimal below 100 of a unit).
    static QString byteCountText(qint64 bytes);
    // The date in Japanese medium date and time style, e.g. "2026/12/08 19:43:53".
    static QString dateText(const QDateTime& date);

    friend bool operator==(const DocumentInspection&, const DocumentInspection&) = default;
};

}  // namespace korimado
