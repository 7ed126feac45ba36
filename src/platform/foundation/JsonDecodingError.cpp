#include "platform/foundation/JsonDecodingError.h"

namespace korimado {

static QString place(const QString& codingPath)
{
    return codingPath.isEmpty() ? QStringLiteral("最上位") : codingPath;
}

JsonDecodingError::JsonDecodingError(Kind kind, QString codingPath, QString description)
    : kind_(kind), codingPath_(std::move(codingPath)), description_(std::move(description)),
      what_(description_.toUtf8())
{
}

JsonDecodingError JsonDecodingError::dataCorrupted(const QString& codingPath, const QString& detail)
{
    QString text = detail;
    if (!codingPath.isEmpty()) text = QStringLiteral("「") + codingPath + QStringLiteral("」: ") + detail;
    return JsonDecodingError(Kind::dataCorrupted, codingPath, text);
}

JsonDecodingError JsonDecodingError::keyNotFound(const QString& codingPath, const QString& key)
{
    return JsonDecodingError(Kind::keyNotFound, codingPath,
                             QStringLiteral("キー「") + key + QStringLiteral("」がありません（")
                                 + place(codingPath) + QStringLiteral("）。"));
}

JsonDecodingError JsonDecodingError::typeMismatch(const QString& codingPath, const QString& expected)
{
    return JsonDecodingError(Kind::typeMismatch, codingPath,
                             QStringLiteral("「") + place(codingPath) + QStringLiteral("」の値は")
                                 + expected + QStringLiteral("でなければなりません。"));
}

JsonDecodingError JsonDecodingError::valueNotFound(const QString& codingPath)
{
    return JsonDecodingError(Kind::valueNotFound, codingPath,
                             QStringLiteral("「") + place(codingPath) + QStringLiteral("」の値がnullです。"));
}

}  // namespace korimado
