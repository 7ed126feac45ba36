#include "app/CommandLine.h"

#include "platform/foundation/FilePath.h"

#include <cstring>
#include <string_view>

namespace korimado {

namespace {

constexpr std::string_view programFlags[] = {
    "--help", "--version", "--ui-self-test", "--startup-only", "--performance-only", "--integration-only",
    "--features-only", "--exit-after-tests", "--capture-window",
};

// Qt takes its options with one dash or two; those that take the next argument as their value.
constexpr std::string_view qtOptionsWithValue[] = {
    "platform", "platformpluginpath", "platformtheme", "plugin", "qwindowgeometry", "geometry", "qwindowicon", "icon",
    "qwindowtitle", "title", "session", "style", "stylesheet", "display", "name", "visual", "qmljsdebugger",
};
constexpr std::string_view qtFlags[] = {"reverse", "testability", "widgetcount", "dograb", "nograb", "sync"};

template <std::size_t N>
bool contains(const std::string_view (&list)[N], std::string_view word)
{
    for (std::string_view entry : list)
        if (entry == word)
            return true;
    return false;
}

// The option's name without its dashes and any "=value", when it is one of Qt's.
bool isQtOption(std::string_view argument, bool* takesValue)
{
    std::string_view name = argument.substr(2);
    const std::size_t equals = name.find('=');
    const bool inlineValue = equals != std::string_view::npos;
    if (inlineValue)
        name = name.substr(0, equals);
    if (contains(qtOptionsWithValue, name)) {
        *takesValue = !inlineValue;
        return true;
    }
    *takesValue = false;
    return !inlineValue && contains(qtFlags, name);
}

}  // namespace

CommandLine::Request CommandLine::check(int argc, const char* const* argv, std::string* message)
{
    bool help = false;
    bool version = false;
    std::string problem;
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (argument == "--")
            break;
        if (!argument.starts_with("--") || contains(programFlags, argument)) {
            help = help || argument == "--help";
            version = version || argument == "--version";
            continue;
        }
        bool takesValue = false;
        if (isQtOption(argument, &takesValue)) {
            if (takesValue && ++i >= argc && problem.empty())
                problem = std::string(argument) + " の後に値がありません。";
            continue;
        }
        if (problem.empty())
            problem = "知らないオプションです: " + std::string(argument);
    }
    // Asked for help, the user gets it whatever else the line holds.
    if (help)
        return Request::help;
    if (!problem.empty()) {
        *message = problem;
        return Request::invalid;
    }
    return version ? Request::version : Request::start;
}

const char* CommandLine::usage()
{
    return "使い方: korimado [オプション] [ファイルまたはフォルダ…]\n"
           "  ファイルやフォルダを開きます。Korimadoがすでに動いていれば、そのKorimadoで開きます。\n"
           "\n"
           "  --help              この説明を表示して終了します。\n"
           "  --version           版を表示して終了します。\n"
           "  --                  これより後の引数はすべてファイル名として扱います。\n"
           "\n"
           "自己テスト:\n"
           "  --ui-self-test      自己テストを実行します（ほかに指定がなければUIスイート）。\n"
           "  --startup-only      起動レイアウトのスイートを実行します。\n"
           "  --performance-only  性能のスイートを実行します。\n"
           "  --integration-only  統合スイートを実行します。\n"
           "  --features-only     SVGプレビューとファイルツリーのスイートを実行します。\n"
           "  --exit-after-tests  スイートが終わったら終了します。\n"
           "  --capture-window    UIスイートでウインドウの画像も保存します。\n"
           "\n"
           "Qtの標準オプション（-platform、-display、-style など）も使えます。\n"
           "終了コード: 0 正常、1 実行中のKorimadoがファイルを受け取れなかった、2 引数の誤り。\n";
}

QStringList CommandLine::arguments(int argc, const char* const* argv)
{
    QStringList arguments;
    arguments.reserve(argc);
    for (int i = 0; i < argc; ++i)
        arguments.append(decodedFileName(QByteArrayView(argv[i], qsizetype(std::strlen(argv[i])))));
    return arguments;
}

}  // namespace korimado
