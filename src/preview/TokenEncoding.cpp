#include "preview/TokenEncoding.h"

namespace korimado {

QString rawValue(TokenEncoding encoding)
{
    switch (encoding) {
    case TokenEncoding::o200k:
        return QStringLiteral("o200k_base");
    case TokenEncoding::cl100k:
        return QStringLiteral("cl100k_base");
    case TokenEncoding::off:
        break;
    }
    return QStringLiteral("非表示");
}

std::optional<TokenEncoding> tokenEncodingFromRawValue(const QString& raw)
{
    for (TokenEncoding encoding : allTokenEncodings) {
        if (rawValue(encoding) == raw) {
            return encoding;
        }
    }
    return std::nullopt;
}

TokenEncoding tokenEncodingAt(qint64 index)
{
    if (index <= 0 || index >= static_cast<qint64>(allTokenEncodings.size())) {
        return TokenEncoding::off;
    }
    return allTokenEncodings[static_cast<size_t>(index)];
}

}  // namespace korimado
