#include "document/CodecError.h"

#include <QStringList>

#include <utility>

namespace korimado {

CodecError::CodecError(Kind kind, QList<TextEncoding> candidates, TextEncoding encoding, bool requested)
    : kind_(kind), candidates_(std::move(candidates)), encoding_(encoding), requested_(requested)
{
    what_ = errorDescription().toUtf8();
}

CodecError CodecError::makeAmbiguous(const QList<TextEncoding>& candidates)
{
    return CodecError(ambiguous, candidates, TextEncoding::utf8);
}

CodecError CodecError::makeUnrepresentable(TextEncoding encoding)
{
    return CodecError(unrepresentable, {}, encoding);
}

CodecError CodecError::makeUnsupported()
{
    return CodecError(unsupported, {}, TextEncoding::utf8);
}

CodecError CodecError::makeUndecodable(TextEncoding requested)
{
    return CodecError(unsupported, {}, requested, true);
}

CodecError CodecError::makeTooLarge()
{
    return CodecError(tooLarge, {}, TextEncoding::utf8);
}

QString CodecError::errorDescription() const
{
    switch (kind_) {
    case ambiguous: {
        QStringList names;
        for (TextEncoding e : candidates_) names.append(e.rawValue());
        return QStringLiteral("文字コードの候補が複数あります（") + names.join(QStringLiteral("、"))
            + QStringLiteral("）。「文字コードを指定して開く」を使ってください。");
    }
    case unrepresentable:
        return encoding_.rawValue()
            + QStringLiteral("では保存できない文字があります。UTF-8へ変更してください。ファイルは変更していません。");
    case unsupported:
        if (requested_)
            return QStringLiteral("このファイルは") + encoding_.rawValue()
                + QStringLiteral("として読めません。別の文字コードを指定してください。");
        return QStringLiteral("文字コードを判定できません。「文字コードを指定して開く」を使ってください。");
    case tooLarge:
        return QStringLiteral("この版で開けるファイルは64 MiBまでです。");
    }
    return {};
}

}  // namespace korimado
