#include "search/engine/SearchEngineError.h"

namespace korimado {

SearchEngineError::SearchEngineError(Kind kind, QString payload)
    : kind_(kind), payload_(std::move(payload)), what_(errorDescription().toUtf8())
{
}

SearchEngineError SearchEngineError::invalidRegularExpression(const QString& explanation)
{
    return SearchEngineError(Kind::invalidRegularExpression, explanation);
}

SearchEngineError SearchEngineError::invalidRange()
{
    return SearchEngineError(Kind::invalidRange, QString());
}

SearchEngineError SearchEngineError::cancelled()
{
    return SearchEngineError(Kind::cancelled, QString());
}

SearchEngineError SearchEngineError::textTooLarge()
{
    return SearchEngineError(Kind::textTooLarge, QString());
}

SearchEngineError SearchEngineError::expressionTooComplex()
{
    return SearchEngineError(Kind::expressionTooComplex, QString());
}

QString SearchEngineError::errorDescription() const
{
    switch (kind_) {
    case Kind::invalidRegularExpression: return QStringLiteral("正規表現が正しくありません。") + payload_;
    case Kind::invalidRange: return QStringLiteral("検索範囲が現在の文書と一致しません。");
    case Kind::cancelled: return QStringLiteral("検索を中止しました。");
    case Kind::textTooLarge: return QStringLiteral("テキストが大きすぎて、この正規表現では検索できません。");
    case Kind::expressionTooComplex: return QStringLiteral("この正規表現は処理が複雑すぎます。");
    }
    return QString();
}

}  // namespace korimado
