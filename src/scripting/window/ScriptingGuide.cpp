#include "scripting/window/ScriptingGuide.h"

#include "platform/ui/ToolWindow.h"
#include "platform/ui/WindowTracker.h"
#include "scripting/window/ScriptOutputView.h"
#include "scripting/window/ScriptingTerminology.h"
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
        "KorimadoをAppleScriptで操作する\n"
        "\n"
        "macOSの「スクリプトエディタ」から、書類の本文、選択範囲、検索、置換、文字コードを操作できます。初回はmacOSがアプリの操作許可を確認する場合があります。\n"
        "\n"
        "例：最前面の書類を検索して置換する\n"
        "\n"
        "tell application \"Korimado\"\n"
        "    tell front document\n"
        "        find for \"検索する文字\" with wrap\n"
        "        replace for \"置換前\" to \"置換後\" with all\n"
        "    end tell\n"
        "end tell\n"
        "\n"
        "例：選択した文字を大文字にする\n"
        "\n"
        "tell application \"Korimado\"\n"
        "    tell selection of front document\n"
        "        change case to upper\n"
        "    end tell\n"
        "end tell\n"
        "\n"
        "例：正規表現で数字を囲む\n"
        "\n"
        "tell application \"Korimado\"\n"
        "    replace front document for \"([0-9]+)\" to \"[$1]\" with all and RE\n"
        "end tell\n"
        "\n"
        "検索と置換\n"
        "• RE：正規表現。省略時は通常の文字列検索です。\n"
        "• ignore case：大文字と小文字を区別しません。\n"
        "• backwards：前の一致を探します。\n"
        "• wrap：末尾から先頭、または先頭から末尾へ検索を続けます。\n"
        "• all：一致した箇所をすべて置換します。戻り値は置換件数です。\n"
        "• 正規表現のキャプチャは $1、$2、全体は $0 で参照します。\n"
        "\n"
        "範囲と保存\n"
        "selectionのrangeは「開始位置、文字数」です。開始位置は0から数えます。line rangeの行番号は1から数えます。絵文字や結合文字は一つの文字として扱います。\n"
        "contentsに設定した本文は現在の改行コードへ統一します。編集と置換は取り消せます。保存は標準のsaveコマンドを使います。外部で更新された未保存書類は黙って上書きしません。\n"
        "\n"
        "「ヘルプ ＞ スクリプト ＞ AppleScript用語辞書」で、このビルドが公開するコマンドと引数を確認できます。");
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
    show(QStringLiteral("AppleScript用語辞書"), ScriptingTerminology::bundledListing());
}

}  // namespace korimado
