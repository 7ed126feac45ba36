#include "scripting/guide/ScriptingGuide.h"

#include "platform/ui/ToolWindow.h"
#include "platform/ui/WindowTracker.h"
#include "scripting/console/ScriptOutputView.h"
#include "scripting/guide/ScriptingTerminology.h"
#include "platform/ui/WindowPlacement.h"

#include <QGuiApplication>
#include <QScreen>
#include <QVBoxLayout>
#include <QShortcut>
#include <QWidget>

namespace korimado {

ScriptingGuide& ScriptingGuide::shared()
{
    // Never released: the window lives as long as the process.
    static ScriptingGuide* guide = new ScriptingGuide;
    return *guide;
}

ScriptingGuide::ScriptingGuide()
{
    registerAction(QStringLiteral("showGuide:"), [this](MenuItem* sender) { showGuide(sender); });
    registerAction(QStringLiteral("showDictionary:"), [this](MenuItem* sender) { showDictionary(sender); });
}

const QString& ScriptingGuide::guideText()
{
    static const QString text = QStringLiteral(
        "Korimadoをシェルから操作する\n"
        "\n"
        "コマンド korimado-event は、実行中のKorimadoへイベントを一つ送り、戻り値をJSONで表示します。bash、zsh、sh など、どのシェルからでも使えます。書類の本文、選択範囲、検索、置換、文字コードを操作できます。操作できるのは同じユーザーのKorimadoだけです。\n"
        "\n"
        "  korimado-event [--pid PID] [--timeout 秒] CLASS ID [対象] [KEY=値]…\n"
        "\n"
        "CLASS と ID はコマンドの4文字のコード、KEY は引数のコードです。値はJSONで書きます。JSONでない語はそのまま文字列になります。@ファイル はファイルの中身を、@- は標準入力を文字列として渡すので、大きな本文も渡せます。\n"
        "終了コードは 0 が成功、1 がKorimadoの返したエラー、2 がKorimadoが見つからない・時間切れ・引数の誤りです。\n"
        "\n"
        "対象は次のように書きます（最前面の書類が1番です）。\n"
        "\n"
        "doc='{\"obj\":{\"want\":\"docu\",\"form\":\"indx\",\"seld\":1}}'\n"
        "sel='{\"obj\":{\"want\":\"prop\",\"form\":\"prop\",\"seld\":{\"type\":\"sele\"},\"from\":'\"$doc\"'}}'\n"
        "\n"
        "例：最前面の書類を検索して置換する\n"
        "\n"
        "korimado-event cEd1 Find \"$doc\" tRgt=検索する文字 wRap=true\n"
        "korimado-event cEd1 RPlc \"$doc\" tRgt=置換前 nWst=置換後 'aLl =true'\n"
        "\n"
        "例：選択した文字を大文字にする\n"
        "\n"
        "korimado-event cEd1 CGcs \"$sel\" 'cStp={\"enum\":\"cCup\"}'\n"
        "\n"
        "例：正規表現で数字を囲む\n"
        "\n"
        "korimado-event cEd1 RPlc \"$doc\" 'tRgt=([0-9]+)' 'nWst=\"[$1]\"' 'aLl =true' rEex=true\n"
        "\n"
        "例：本文を読む、ファイルの中身を本文にする\n"
        "\n"
        "korimado-event core getd '{\"obj\":{\"want\":\"prop\",\"form\":\"prop\",\"seld\":{\"type\":\"PCnt\"},\"from\":'\"$doc\"'}}'\n"
        "korimado-event core setd '{\"obj\":{\"want\":\"prop\",\"form\":\"prop\",\"seld\":{\"type\":\"PCnt\"},\"from\":'\"$doc\"'}}' data=@本文.txt\n"
        "\n"
        "検索と置換\n"
        "• rEex（RE）：正規表現。省略時は通常の文字列検索です。\n"
        "• iGcs（ignore case）：大文字と小文字を区別しません。\n"
        "• bKwd（backwards）：前の一致を探します。\n"
        "• wRap（wrap）：末尾から先頭、または先頭から末尾へ検索を続けます。\n"
        "• \"aLl \"（all）：一致した箇所をすべて置換します。戻り値は置換件数です。コードの4文字目は空白なので引用符で囲みます。\n"
        "• 正規表現のキャプチャは $1、$2、全体は $0 で参照します。シェルが $1 を展開しないよう、単一引用符で囲みます。\n"
        "• 正規表現の処理には時間の上限があります。上限を超えるとエラーを返し、本文は変わりません。\n"
        "\n"
        "範囲と保存\n"
        "selectionのrange（cRng）は「開始位置、文字数」です。開始位置は0から数えます。line range（cLin）の行番号は1から数えます。絵文字や結合文字は一つの文字として扱います。\n"
        "contentsに設定した本文は現在の改行コードへ統一します。編集と置換は取り消せます。保存は標準のsave（core save）を使います。外部で更新された未保存書類は黙って上書きしません。\n"
        "\n"
        "スクリプト実行コンソール（ウインドウメニュー）では、シェルスクリプトや実行ファイルを選んで実行できます。実行できるファイルはそのまま、そうでないファイルは /bin/sh で実行します。\n"
        "\n"
        "「ヘルプ ＞ スクリプト ＞ 用語辞書」と korimado-event --list で、このビルドが公開するコマンド、クラス、プロパティとそのコードを確認できます。");
    return text;
}

void ScriptingGuide::build()
{
    auto* window = new QWidget(nullptr, Qt::Window);
    window->setAttribute(Qt::WA_DeleteOnClose, false);
    auto* layout = new QVBoxLayout(window);
    layout->setContentsMargins(0, 0, 0, 0);
    text_ = new ScriptOutputView(13, QSizeF(24, 20), window);
    layout->addWidget(text_);
    window->resize(720, 560);
    WindowPlacement::centreOnScreen(window);
    // Closed with Escape and Ctrl+W like the other windows of its kind.
    ToolWindow::closeOnEscape(window);
    auto* close = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_W), window);
    close->setContext(Qt::WindowShortcut);
    QObject::connect(close, &QShortcut::activated, window, &QWidget::close);
    window_ = window;
}

QWidget* ScriptingGuide::window()
{
    if (!window_)
        build();
    return window_;
}

ScriptOutputView* ScriptingGuide::text()
{
    window();
    return text_;
}

void ScriptingGuide::show(const QString& title, const QString& text)
{
    QWidget* w = window();
    w->setWindowTitle(title);
    text_->setText(text);
    text_->setSelectedRange({0, 0});
    text_->scrollToBeginning();
    WindowTracker::shared().makeKeyAndOrderFront(w);
}

void ScriptingGuide::showGuide(MenuItem*)
{
    show(QStringLiteral("スクリプトについて"), guideText());
}

void ScriptingGuide::showDictionary(MenuItem*)
{
    show(dictionaryTitle, ScriptingTerminology::bundledListing());
}

}  // namespace korimado
