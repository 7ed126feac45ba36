#pragma once

#include "document/TextEncoding.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <exception>

namespace korimado {

// Why a text could not be read or written; the description is what the user sees.
class CodecError : public std::exception {
public:
    enum Kind { ambiguous, unrepresentable, unsupported, tooLarge };

    // The candidates that fit, in candidate order.
    static CodecError makeAmbiguous(const QList<TextEncoding>& candidates);
    static CodecError makeUnrepresentable(TextEncoding encoding);
    static CodecError makeUnsupported();
    // Of kind unsupported: the text is not in the encoding the caller named.
    static CodecError makeUndecodable(TextEncoding requested);
    static CodecError makeTooLarge();

    Kind kind() const { return kind_; }
    const QList<TextEncoding>& candidates() const { return candidates_; }
    // The encoding that cannot hold the text (unrepresentable), or that was asked for and does
    // not read it (unsupported, from makeUndecodable).
    TextEncoding encoding() const { return encoding_; }

    QString errorDescription() const;
    const char* what() const noexcept override { return what_.constData(); }

    friend bool operator==(const CodecError& a, const CodecError& b)
    {
        return a.kind_ == b.kind_ && a.candidates_ == b.candidates_
            && (a.kind_ != unrepresentable || a.encoding_ == b.encoding_);
    }

private:
    CodecError(Kind kind, QList<TextEncoding> candidates, TextEncoding encoding, bool requested = false);

    Kind kind_;
    QList<TextEncoding> candidates_;
    TextEncoding encoding_;
    bool requested_ = false;
    QByteArray what_;
};

}  // namespace korimado
