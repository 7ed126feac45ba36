#include "EventCommandLine.h"

#include "EventJson.h"
#include "ValueSource.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace korimado::wire {

namespace {

std::string_view trimmed(std::string_view text)
{
    const auto space = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v'; };
    while (!text.empty() && space(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && space(text.back()))
        text.remove_suffix(1);
    return text;
}

bool writeValue(const std::string& text, Writer& writer, ValueSource& sources, std::string* error)
{
    if (ValueSource::names(text)) {
        const std::optional<std::string> value = sources.read(text, error);
        if (value)
            writer.text(*value);
        return value.has_value();
    }
    if (const std::optional<JsonNode> json = JsonNode::parse(text))
        return EventJson::write(*json, writer, error);
    const std::string_view bare = trimmed(text);
    if (bare.starts_with('{') || bare.starts_with('[')) {
        *error = "JSONとして読めません: " + text;
        return false;
    }
    writer.text(text);
    return true;
}

bool isParameter(const std::string& argument)
{
    return argument.size() >= 5 && argument[4] == '=' && isCodeText(std::string_view(argument).substr(0, 4));
}

std::optional<long long> wholeNumber(std::string_view text)
{
    text = trimmed(text);
    if (text.starts_with('+'))
        text.remove_prefix(1);
    long long value = 0;
    const auto [end, failure] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (failure != std::errc() || end != text.data() + text.size() || text.empty())
        return std::nullopt;
    return value;
}

std::optional<double> number(const std::string& text)
{
    const std::string_view bare = trimmed(text);
    if (bare.empty())
        return std::nullopt;
    const std::string copy(bare);
    char* end = nullptr;
    const double value = std::strtod(copy.c_str(), &end);
    if (end != copy.c_str() + copy.size())
        return std::nullopt;
    return value;
}

}  // namespace

const char* EventCommandLine::usage()
{
    return "使い方: korimado-event [--pid PID] [--timeout 秒] CLASS ID [直接引数] [KEY=値]…\n"
           "       korimado-event --list\n"
           "  実行中のKorimadoへイベントを送り、戻り値をJSONで表示します。\n"
           "  CLASS、ID、KEYは4文字のコードです。--list はクラス、プロパティ、コマンドとそのコードを一覧にします。\n"
           "  値はJSONで書きます: \"文字列\"、123、true、[1, 2]、{\"type\":\"PCnt\"}、{\"enum\":\"cCup\"}、\n"
           "  {\"obj\":{\"want\":\"docu\",\"form\":\"indx\",\"seld\":1,\"from\":null}}。JSONでない語はそのまま文字列です。\n"
           "  @ファイル はそのファイルの中身（UTF-8）を、@- は標準入力を文字列として渡します。\n"
           "  @で始まる文字列そのものはJSONで \"@…\" と書きます。\n"
           "  例: korimado-event core getd '{\"obj\":{\"want\":\"prop\",\"form\":\"prop\",\"seld\":{\"type\":\"PCnt\"},\n"
           "        \"from\":{\"obj\":{\"want\":\"docu\",\"form\":\"indx\",\"seld\":1}}}}'\n"
           "      korimado-event core setd '{\"obj\":{\"want\":\"prop\",\"form\":\"prop\",\"seld\":{\"type\":\"PCnt\"},\n"
           "        \"from\":{\"obj\":{\"want\":\"docu\",\"form\":\"indx\",\"seld\":1}}}}' data=@本文.txt\n"
           "  終了コード: 0 成功、1 Korimadoがエラーを返した、2 Korimadoが見つからない・拒否・時間切れ・引数の誤り。\n";
}

std::variant<EventCommandLine, std::string> EventCommandLine::parse(const std::vector<std::string>& arguments)
{
    EventCommandLine line;
    std::vector<std::string> positional;
    std::vector<std::pair<FourCharCode, std::string>> parameters;
    bool optionsEnded = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (!optionsEnded && (argument == "--help" || argument == "-h")) {
            line.help = true;
            return line;
        }
        if (!optionsEnded && argument == "--list" && positional.empty()) {
            line.list = true;
            continue;
        }
        if (!optionsEnded && (argument == "--pid" || argument == "--timeout")) {
            if (i + 1 >= arguments.size())
                return argument + " の後に値がありません。";
            const std::string& value = arguments[++i];
            if (argument == "--pid") {
                const std::optional<long long> pid = wholeNumber(value);
                if (!pid || *pid <= 0)
                    return "--pid にはプロセスIDを書いてください: " + value;
                line.pid = *pid;
            } else {
                const std::optional<double> seconds = number(value);
                if (!seconds || !std::isfinite(*seconds) || *seconds <= 0 || *seconds > 86400)
                    return "--timeout には秒数（0より大きく86400以下）を書いてください: " + value;
                line.timeoutSeconds = *seconds;
            }
            continue;
        }
        if (!optionsEnded && argument == "--") {
            optionsEnded = true;
            continue;
        }
        if (!optionsEnded && argument.starts_with("--") && positional.empty())
            return "知らないオプションです: " + argument;
        if (positional.size() >= 2 && isParameter(argument))
            parameters.emplace_back(code(std::string_view(argument).substr(0, 4)), argument.substr(5));
        else
            positional.push_back(argument);
    }
    if (line.list) {
        if (!positional.empty())
            return std::string("--list にはイベントを書きません。");
        return line;
    }
    if (positional.size() < 2)
        return std::string("イベントのCLASSとIDを書いてください。\n") + usage();
    for (int i = 0; i < 2; ++i)
        if (!isCodeText(positional[i]))
            return "CLASSとIDは4文字で書いてください: " + positional[i];
    if (positional.size() > 3)
        return "直接引数は一つだけです。パラメータは KEY=値 の形で書いてください: " + positional[3];
    line.eventClass = code(positional[0]);
    line.eventID = code(positional[1]);
    if (positional.size() == 3)
        parameters.insert(parameters.begin(), {fourCharCode("----"), positional[2]});
    Writer writer(line.event);
    ValueSource sources;
    const std::size_t mark = writer.beginEvent(line.eventClass, line.eventID);
    for (std::size_t i = 0; i < parameters.size(); ++i) {
        const auto& [key, text] = parameters[i];
        std::string error;
        writer.key(key);
        if (!writeValue(text, writer, sources, &error))
            return "「" + codeText(key) + "」の値: " + error;
        for (std::size_t k = 0; k < i; ++k)
            if (parameters[k].first == key)
                return "「" + codeText(key) + "」が二度あります。";
    }
    writer.end(mark);
    return line;
}

}  // namespace korimado::wire
