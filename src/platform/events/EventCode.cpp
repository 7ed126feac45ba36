#include "platform/events/EventCode.h"

namespace korimado {

FourCharCode code(QStringView text)
{
    const QByteArray utf8 = text.toUtf8();
    return wire::code(std::string_view(utf8.constData(), size_t(utf8.size())));
}

QString codeString(FourCharCode code)
{
    const char bytes[4] = {char(code >> 24), char(code >> 16), char(code >> 8), char(code)};
    return QString::fromLatin1(bytes, 4);
}

bool isCodeText(QStringView text)
{
    if (text.size() != 4)
        return false;
    for (const QChar c : text)
        if (c.unicode() < 0x20 || c.unicode() > 0x7e)
            return false;
    return true;
}

}  // namespace korimado
