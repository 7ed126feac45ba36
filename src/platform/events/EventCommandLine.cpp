#include "platform/events/EventCommandLine.h"

#include "platform/events/EventJson.h"
#include "platform/foundation/JsonDecodingError.h"
#include "platform/foundation/JsonReader.h"

#include <cmath>

namespace korimado {

namespace {

std::optional<EventDescriptor> readValue(const QString& text, QString* error)
{
    const QByteArray utf8 = text.toUtf8();
    try {
        const JsonValue json = JsonReader::parse(utf8);
        return EventJson::descriptor(json, error);
    } catch (const JsonDecodingError&) {
        const QString trimmed = text.trimmed();
        if (trimmed.startsWith(QLatin1Char('{')) || trimmed.startsWith(QLatin1Char('['))) {
            *error = QStringLiteral("JSONとして読めません: ") + text;
            return std::nullopt;
        }
        return EventDescriptor::text(text);
    }
}

bool isParameter(const QString& argument)
{
    return argument.size() >= 5 && argument.at(4) == QLatin1Char('=') && isCodeText(QStringView(argument).left(4));
}

}  // namespace

QString EventCommandLine::usage()
{
    return QStringLiteral(
        "使い方: korimado-event [--pid PID] [--timeout 秒] CLASS ID [直接引数] [KEY=値]…\n"
        "  実行中のKorimadoへイベントを送り、戻り値をJSONで表示します。\n"
        "  値はJSONで書きます: \"文字列\"、123、true、[1, 2]、{\"type\":\"PCnt\"}、{\"enum\":\"cCup\"}、\n"
        "  {\"obj\":{\"want\":\"docu\",\"form\":\"indx\",\"seld\":1,\"from\":null}}。JSONでない語はそのまま文字列です。\n"
        "  例: korimado-event core getd '{\"obj\":{\"want\":\"prop\",\"form\":\"prop\",\"seld\":{\"type\":\"PCnt\"},\n"
        "        \"from\":{\"obj\":{\"want\":\"docu\",\"form\":\"indx\",\"seld\":1}}}}'\n"
        "  終了コード: 0 成功、1 Korimadoがエラーを返した、2 Korimadoが見つからない・拒否・時間切れ・引数の誤り。\n");
}

std::variant<EventCommandLine, QString> EventCommandLine::parse(const QStringList& arguments)
{
    EventCommandLine line;
    QStringList positional;
    std::vector<std::pair<FourCharCode, QString>> parameters;
    bool optionsEnded = false;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments.at(i);
        if (!optionsEnded && (argument == QLatin1String("--help") || argument == QLatin1String("-h"))) {
            line.help = true;
            return line;
        }
        if (!optionsEnded && (argument == QLatin1String("--pid") || argument == QLatin1String("--timeout"))) {
            if (i + 1 >= arguments.size())
                return QStringLiteral("%1 の後に値がありません。").arg(argument);
            const QString value = arguments.at(++i);
            bool ok = false;
            if (argument == QLatin1String("--pid")) {
                const qint64 pid = value.toLongLong(&ok);
                if (!ok || pid <= 0)
                    return QStringLiteral("--pid にはプロセスIDを書いてください: ") + value;
                line.pid = pid;
            } else {
                const double seconds = value.toDouble(&ok);
                if (!ok || !std::isfinite(seconds) || seconds <= 0 || seconds > 86400)
                    return QStringLiteral("--timeout には秒数（0より大きく86400以下）を書いてください: ") + value;
                line.timeoutSeconds = seconds;
            }
            continue;
        }
        if (!optionsEnded && argument == QLatin1String("--")) {
            optionsEnded = true;
            continue;
        }
        if (!optionsEnded && argument.startsWith(QLatin1String("--")) && positional.isEmpty())
            return QStringLiteral("知らないオプションです: ") + argument;
        if (positional.size() >= 2 && isParameter(argument))
            parameters.emplace_back(code(QStringView(argument).left(4)), argument.mid(5));
        else
            positional.append(argument);
    }
    if (positional.size() < 2)
        return QStringLiteral("イベントのCLASSとIDを書いてください。\n") + usage();
    for (int i = 0; i < 2; ++i)
        if (!isCodeText(positional.at(i)))
            return QStringLiteral("CLASSとIDは4文字で書いてください: ") + positional.at(i);
    if (positional.size() > 3)
        return QStringLiteral("直接引数は一つだけです。パラメータは KEY=値 の形で書いてください: ") + positional.at(3);
    line.event = AppleEvent(code(positional.at(0)), code(positional.at(1)));
    if (positional.size() == 3)
        parameters.insert(parameters.begin(), {AppleEvent::keyDirectObject, positional.at(2)});
    for (const auto& [key, text] : parameters) {
        QString error;
        const std::optional<EventDescriptor> value = readValue(text, &error);
        if (!value)
            return QStringLiteral("「%1」の値: %2").arg(codeString(key), error);
        if (line.event.parameter(key))
            return QStringLiteral("「%1」が二度あります。").arg(codeString(key));
        line.event.setParameter(key, *value);
    }
    return line;
}

}  // namespace korimado
