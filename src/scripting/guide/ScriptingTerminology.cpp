#include "scripting/guide/ScriptingTerminology.h"

#include "platform/foundation/Bundle.h"
#include "platform/wire/TerminologyListing.h"

#include <QFile>

namespace korimado {

std::optional<QString> ScriptingTerminology::listing(QByteArrayView xml)
{
    const std::optional<std::string> text = wire::TerminologyListing::listing(std::string_view(xml.data(), size_t(xml.size())));
    if (!text)
        return std::nullopt;
    return QString::fromStdString(*text);
}

QString ScriptingTerminology::bundledListing()
{
    const QString path = Bundle::main().path(QStringLiteral("Korimado"), QStringLiteral("sdef"));
    QFile file(path);
    if (path.isEmpty() || !file.open(QIODevice::ReadOnly))
        return unavailableText;
    return listing(file.readAll()).value_or(unavailableText);
}

}  // namespace korimado
