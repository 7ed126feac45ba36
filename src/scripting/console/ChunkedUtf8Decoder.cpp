#include "scripting/console/ChunkedUtf8Decoder.h"

namespace korimado {

namespace {

// Where a trailing sequence that its lead byte says is longer than what follows begins; size
// when the bytes end on a whole character (or on bytes no more bytes could complete).
qsizetype incompleteTail(QByteArrayView bytes)
{
    const qsizetype size = bytes.size();
    for (qsizetype i = size - 1; i >= 0 && i >= size - 4; --i) {
        const auto byte = quint8(bytes[i]);
        if ((byte & 0xC0) == 0x80)
            continue;  // a continuation byte: look further back for its lead
        const qsizetype length = byte >= 0xF0 && byte <= 0xF4 ? 4 : byte >= 0xE0 ? 3 : byte >= 0xC2 ? 2 : 1;
        return i + length > size ? i : size;
    }
    return size;
}

}  // namespace

QString ChunkedUtf8Decoder::decode(QByteArrayView chunk)
{
    QByteArray joined;
    QByteArrayView bytes = chunk;
    if (!pending_.isEmpty()) {
        joined = pending_ + chunk.toByteArray();
        bytes = joined;
        pending_.clear();
    }
    const qsizetype cut = incompleteTail(bytes);
    if (cut < bytes.size())
        pending_ = bytes.sliced(cut).toByteArray();
    return QString::fromUtf8(bytes.first(cut));
}

QString ChunkedUtf8Decoder::finish()
{
    // What is left is one character cut short: it stands as one replacement character.
    const bool cut = !pending_.isEmpty();
    pending_.clear();
    return cut ? QString(QChar::ReplacementCharacter) : QString();
}

}  // namespace korimado
