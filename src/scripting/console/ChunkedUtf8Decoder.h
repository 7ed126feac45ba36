#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

namespace korimado {

// Decodes UTF-8 that arrives in pieces: a character cut between two pieces is kept back and
// joined with the next one, so only bytes that are really invalid become U+FFFD.
class ChunkedUtf8Decoder {
public:
    QString decode(QByteArrayView chunk);
    // The end of the input: a character still cut becomes U+FFFD.
    QString finish();
    void reset() { pending_.clear(); }
    bool hasPendingBytes() const { return !pending_.isEmpty(); }

private:
    QByteArray pending_;
};

}  // namespace korimado
