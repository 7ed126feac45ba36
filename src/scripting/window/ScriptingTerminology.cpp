#include "scripting/window/ScriptingTerminology.h"

#include "platform/foundation/Bundle.h"

#include <QFile>
#include <QStringList>

#include <pugixml.hpp>

namespace korimado {

namespace {

QString attribute(const pugi::xml_node& node, const char* name)
{
    return QString::fromUtf8(node.attribute(name).value());
}

// The nodes of a query in document order; an expression that fails counts as none.
pugi::xpath_node_set select(const pugi::xml_document& document, const char* query)
{
    try {
        pugi::xpath_node_set nodes = document.select_nodes(query);
        // A union comes back grouped by its branches.
        nodes.sort();
        return nodes;
    } catch (const pugi::xpath_exception&) {
        return {};
    }
}

}  // namespace

std::optional<QString> ScriptingTerminology::listing(QByteArrayView xml)
{
    pugi::xml_document document;
    // No DOCTYPE is read and nothing is loaded from outside.
    if (!document.load_buffer(xml.data(), size_t(xml.size())))
        return std::nullopt;

    QStringList lines{QStringLiteral("Korimado AppleScript用語辞書"),
                      QStringLiteral("この一覧は同梱のKorimado.sdefから作成しています。"),
                      QStringLiteral("標準のopen、save、close、documentsなども利用できます。"), QString(),
                      QStringLiteral("コマンド")};

    for (const pugi::xpath_node& found : select(document, "/dictionary/suite/command")) {
        const pugi::xml_node command = found.node();
        if (command.type() != pugi::node_element)
            continue;
        const pugi::xml_node direct = command.child("direct-parameter");
        const QString directType = attribute(direct, "type");
        lines.append(QStringLiteral("\n") + attribute(command, "name") + QStringLiteral("　対象：")
                     + (directType.isEmpty() ? QStringLiteral("なし") : directType));
        for (const pugi::xml_node& parameter : command.children("parameter")) {
            const QString type = attribute(parameter, "type");
            lines.append(QStringLiteral("  ") + attribute(parameter, "name") + QStringLiteral(" : ")
                         + (parameter.attribute("type") ? type : QStringLiteral("integerのリスト")) + QStringLiteral("（")
                         + (attribute(parameter, "optional") == QLatin1String("yes") ? QStringLiteral("省略可")
                                                                                      : QStringLiteral("必須"))
                         + QStringLiteral("）"));
        }
        if (const pugi::xml_node result = command.child("result"); result && result.attribute("type"))
            lines.append(QStringLiteral("  戻り値：") + attribute(result, "type"));
    }

    lines.append(QStringLiteral("\n書類のプロパティ"));
    for (const pugi::xpath_node& found :
         select(document, "/dictionary/suite/class-extension/property | /dictionary/suite/class/property")) {
        const pugi::xml_node property = found.node();
        lines.append(attribute(property, "name") + QStringLiteral("（")
                     + (attribute(property, "access") == QLatin1String("r") ? QStringLiteral("読取専用")
                                                                            : QStringLiteral("読取・設定"))
                     + QStringLiteral("）"));
    }
    return lines.join(QLatin1Char('\n'));
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
