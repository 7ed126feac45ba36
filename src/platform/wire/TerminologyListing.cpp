#include "platform/wire/TerminologyListing.h"

#include <pugixml.hpp>

#include <vector>

namespace korimado::wire {

namespace {

std::string attribute(const pugi::xml_node& node, const char* name)
{
    return node.attribute(name).value();
}

// A code in brackets, so that a trailing blank ("aLl ") stays visible; nothing when there is none.
std::string bracketed(std::string_view code)
{
    return code.empty() ? std::string() : " [" + std::string(code) + "]";
}

// A command's eight characters as the client takes them: CLASS and ID.
std::string commandCode(const std::string& code)
{
    return code.size() == 8 ? " [" + code.substr(0, 4) + " " + code.substr(4) + "]" : bracketed(code);
}

std::string typeOf(const pugi::xml_node& node)
{
    return node.attribute("type") ? attribute(node, "type") : std::string("integerのリスト");
}

std::string join(const std::vector<std::string>& lines)
{
    std::string out;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (i)
            out += '\n';
        out += lines[i];
    }
    return out;
}

}  // namespace

std::optional<std::string> TerminologyListing::listing(std::string_view xml)
{
    pugi::xml_document document;
    // No DOCTYPE is read and nothing is loaded from outside.
    if (!document.load_buffer(xml.data(), xml.size()))
        return std::nullopt;
    const pugi::xml_node dictionary = document.child("dictionary");

    std::vector<std::string> lines{
        title,
        "この一覧は同梱のKorimado.sdefから作成しています。端末では korimado-event --list が同じ一覧を表示します。",
        "[ ]の中はkorimado-eventに渡す4文字のコードです。コマンドは「CLASS ID」、プロパティは {\"type\":\"コード\"}、",
        "列挙の値は {\"enum\":\"コード\"} として書きます。", "", "コマンド"};
    for (const pugi::xml_node& suite : dictionary.children("suite"))
        for (const pugi::xml_node& command : suite.children("command")) {
            const pugi::xml_node direct = command.child("direct-parameter");
            const std::string directType = attribute(direct, "type");
            lines.push_back("\n" + attribute(command, "name") + commandCode(attribute(command, "code")) + "　対象："
                            + (directType.empty() ? std::string("なし") : directType));
            for (const pugi::xml_node& parameter : command.children("parameter"))
                lines.push_back("  " + attribute(parameter, "name") + bracketed(attribute(parameter, "code")) + " : "
                                + typeOf(parameter) + "（"
                                + (attribute(parameter, "optional") == "yes" ? "省略可" : "必須") + "）");
            if (const pugi::xml_node result = command.child("result"); result && result.attribute("type"))
                lines.push_back("  戻り値：" + attribute(result, "type"));
        }

    lines.push_back("\nクラスとプロパティ");
    const auto classCode = [&](const std::string& name) {
        for (const pugi::xml_node& suite : dictionary.children("suite"))
            for (const pugi::xml_node& found : suite.children("class"))
                if (attribute(found, "name") == name)
                    return attribute(found, "code");
        return std::string();
    };
    for (const pugi::xml_node& suite : dictionary.children("suite"))
        for (const pugi::xml_node& node : suite.children()) {
            const std::string kind = node.name();
            if (kind != "class" && kind != "class-extension")
                continue;
            const std::string name = kind == "class" ? attribute(node, "name") : attribute(node, "extends");
            lines.push_back("\n" + name + bracketed(kind == "class" ? attribute(node, "code") : classCode(name)));
            for (const pugi::xml_node& property : node.children("property"))
                lines.push_back("  " + attribute(property, "name") + bracketed(attribute(property, "code")) + " : "
                                + typeOf(property) + "（" + (attribute(property, "access") == "r" ? "読取専用" : "読取・設定")
                                + "）");
        }

    bool enumerationsBegun = false;
    for (const pugi::xml_node& suite : dictionary.children("suite"))
        for (const pugi::xml_node& enumeration : suite.children("enumeration")) {
            if (!enumerationsBegun)
                lines.push_back("\n列挙");
            enumerationsBegun = true;
            lines.push_back("\n" + attribute(enumeration, "name") + bracketed(attribute(enumeration, "code")));
            for (const pugi::xml_node& enumerator : enumeration.children("enumerator"))
                lines.push_back("  " + attribute(enumerator, "name") + bracketed(attribute(enumerator, "code")));
        }
    return join(lines);
}

}  // namespace korimado::wire
