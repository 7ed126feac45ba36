#include "search/batch/BatchReplaceError.h"

#include <QStringList>

namespace korimado {

BatchReplaceError::BatchReplaceError(Kind kind, qint64 number, QList<qsizetype> rules, QString reason)
    : kind_(kind), number_(number), rules_(std::move(rules)), reason_(std::move(reason)),
      what_(errorDescription().toUtf8())
{
}

BatchReplaceError BatchReplaceError::unsupportedVersion(qint64 version)
{
    return BatchReplaceError(Kind::unsupportedVersion, version, {}, QString());
}

BatchReplaceError BatchReplaceError::incompatibleCotSettings(const QList<qsizetype>& rules)
{
    return BatchReplaceError(Kind::incompatibleCotSettings, 0, rules, QString());
}

BatchReplaceError BatchReplaceError::invalidCotDefinition(const QString& reason)
{
    return BatchReplaceError(Kind::invalidCotDefinition, 0, {}, reason);
}

BatchReplaceError BatchReplaceError::invalidTSVLine(qsizetype line)
{
    return BatchReplaceError(Kind::invalidTSVLine, line, {}, QString());
}

BatchReplaceError BatchReplaceError::lossyTSVExport(qsizetype rule, const QString& reason)
{
    return BatchReplaceError(Kind::lossyTSVExport, rule, {}, reason);
}

QString BatchReplaceError::errorDescription() const
{
    switch (kind_) {
    case Kind::unsupportedVersion:
        return QStringLiteral("この一括置換ファイルの版（") + QString::number(number_) + QStringLiteral("）には対応していません。");
    case Kind::incompatibleCotSettings: {
        QStringList numbers;
        for (qsizetype n : rules_) numbers.push_back(QString::number(n));
        return QStringLiteral(".cotrpl置換定義では詳細オプションを全条件で共有します。条件") + numbers.join(u'、')
            + QStringLiteral("の設定をそろえてください。");
    }
    case Kind::invalidCotDefinition: return QStringLiteral(".cotrpl置換定義を読み込めません。") + reason_;
    case Kind::invalidTSVLine:
        return QStringLiteral("TSVの") + QString::number(number_)
            + QStringLiteral("行目は「検索文字列、タブ、置換文字列」の形式ではありません。");
    case Kind::lossyTSVExport:
        return QStringLiteral("条件") + QString::number(number_) + QStringLiteral("はTSVへ情報を失わずに保存できません。") + reason_;
    }
    return QString();
}

}  // namespace korimado
