#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <exception>

namespace korimado {

// What the rule-file functions refuse with; the description is shown to the user.
class BatchReplaceError : public std::exception {
public:
    enum class Kind { unsupportedVersion, incompatibleCotSettings, invalidCotDefinition, invalidTSVLine, lossyTSVExport };

    static BatchReplaceError unsupportedVersion(qint64 version);
    // 1-based numbers of the rules whose shared settings differ from rule 1's, ascending.
    static BatchReplaceError incompatibleCotSettings(const QList<qsizetype>& rules);
    // reason: the decoder's own description of why the data is not a definition.
    static BatchReplaceError invalidCotDefinition(const QString& reason);
    static BatchReplaceError invalidTSVLine(qsizetype line);
    static BatchReplaceError lossyTSVExport(qsizetype rule, const QString& reason);

    Kind kind() const { return kind_; }
    qint64 version() const { return number_; }         // unsupportedVersion
    qsizetype number() const { return qsizetype(number_); }  // invalidTSVLine line, lossyTSVExport rule
    const QList<qsizetype>& rules() const { return rules_; }  // incompatibleCotSettings
    const QString& reason() const { return reason_; }  // invalidCotDefinition, lossyTSVExport

    QString errorDescription() const;
    const char* what() const noexcept override { return what_.constData(); }

    // The reasons of lossyTSVExport.
    static inline const QString emptyFindReason = QStringLiteral("検索文字列が空です。");
    static inline const QString tabOrBreakReason = QStringLiteral("タブまたは改行を含みます。");
    static inline const QString settingsReason = QStringLiteral("TSVは検索文字列と置換文字列以外の設定を保持できません。");
    static inline const QString leadingMarkReason = QStringLiteral("先頭の U+FEFF はバイト順マークとして読み飛ばされます。");
    static inline const QString unencodableReason = QStringLiteral("UTF-8で表せない文字（対のないサロゲート）を含みます。");

private:
    BatchReplaceError(Kind kind, qint64 number, QList<qsizetype> rules, QString reason);

    Kind kind_;
    qint64 number_;
    QList<qsizetype> rules_;
    QString reason_;
    QByteArray what_;
};

}  // namespace korimado
