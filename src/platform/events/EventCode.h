#pragma once

#include "platform/wire/FourCharCode.h"

#include <QString>
#include <QStringView>

namespace korimado {

// Starting from 0, code = code × 256 + byte for each UTF-8 byte of the text, keeping the low 32 bits.
FourCharCode code(QStringView text);
// The four bytes of a code as characters (Latin-1), most significant first.
QString codeString(FourCharCode code);
// Whether text is exactly four characters of printable ASCII, so that it names a code one to one.
bool isCodeText(QStringView text);

}  // namespace korimado
