#include "app/MainMenu.h"

#include "platform/ui/Responder.h"

namespace korimado {

namespace {

constexpr KeyModifiers command = KeyModifier::Command;
const KeyModifiers commandShift = KeyModifier::Command | KeyModifier::Shift;
const KeyModifiers commandOption = KeyModifier::Command | KeyModifier::Option;

MenuItem* add(MenuModel& menu, const QString& title, const QString& action, const QString& key = {},
              KeyModifiers modifiers = command, Responder* target = nullptr)
{
    MenuItem* item = menu.addItem(title, action, key);
    item->setKeyEquivalentModifierMask(modifiers);
    if (target)
        item->setTarget(target);
    return item;
}

std::shared_ptr<MenuModel> addSubmenu(MenuModel& menu, const QString& title)
{
    auto submenu = std::make_shared<MenuModel>(title);
    MenuItem* item = menu.addItem(title, {});
    item->setSubmenu(submenu);
    return submenu;
}

std::shared_ptr<MenuModel> buildApplicationMenu(MenuModel& main, const MainMenu::Targets& targets,
                                                std::shared_ptr<MenuModel>& services)
{
    auto menu = addSubmenu(main, QStringLiteral("Korimado"));
    add(*menu, QStringLiteral("Korimadoについて"), QStringLiteral("orderFrontStandardAboutPanel:"));
    add(*menu, QStringLiteral("設定…"), QStringLiteral("showSettings:"), QStringLiteral(","), command, targets.delegate);
    services = addSubmenu(*menu, QStringLiteral("サービス"));
    menu->addSeparator();
    add(*menu, QStringLiteral("Korimadoを隠す"), QStringLiteral("hide:"), QStringLiteral("h"));
    // Other programs' windows are not ours to hide here: the item stays off, and its key goes to
    // カラーコードを編集.
    add(*menu, QStringLiteral("ほかを隠す"), QStringLiteral("hideOtherApplications:"));
    add(*menu, QStringLiteral("すべて表示"), QStringLiteral("unhideAllApplications:"));
    menu->addSeparator();
    add(*menu, QStringLiteral("Korimadoを終了"), QStringLiteral("terminate:"), QStringLiteral("q"));
    return menu;
}

std::shared_ptr<MenuModel> buildFileMenu(MenuModel& main, const MainMenu::Roots& roots,
                                         const MainMenu::Targets& targets)
{
    auto menu = addSubmenu(main, QStringLiteral("ファイル"));
    add(*menu, QStringLiteral("新規"), QStringLiteral("newDocument:"), QStringLiteral("n"));
    add(*menu, QStringLiteral("新規ウインドウ"), QStringLiteral("newWindow:"), QStringLiteral("n"), commandShift,
        targets.delegate);
    add(*menu, QStringLiteral("新規タブ"), QStringLiteral("newTab:"), QStringLiteral("t"), command, targets.delegate);
    add(*menu, QStringLiteral("開く…"), QStringLiteral("openDocument:"), QStringLiteral("o"));
    roots.recent->setSubmenu(std::make_shared<MenuModel>(QStringLiteral("最近使った項目")));
    menu->addItem(roots.recent);
    add(*menu, QStringLiteral("文字コードを指定して開く…"), QStringLiteral("openWithEncoding:"), QStringLiteral("o"),
        commandOption, targets.documentController);
    add(*menu, QStringLiteral("フォルダを開く…"), QStringLiteral("openFolder:"), QStringLiteral("o"), commandShift);
    menu->addSeparator();
    add(*menu, QStringLiteral("閉じる"), QStringLiteral("performClose:"), QStringLiteral("w"));
    add(*menu, QStringLiteral("保存"), QStringLiteral("saveDocument:"), QStringLiteral("s"));
    add(*menu, QStringLiteral("別名で保存…"), QStringLiteral("saveDocumentAs:"), QStringLiteral("s"), commandShift);
    add(*menu, QStringLiteral("保存時の状態に戻す…"), QStringLiteral("revertDocumentToSaved:"));
    return menu;
}

void addPlainItems(MenuModel& menu, std::initializer_list<std::pair<const char16_t*, const char*>> items)
{
    for (const auto& [title, action] : items)
        add(menu, QString::fromUtf16(title), QString::fromLatin1(action));
}

void buildEditMenu(MenuModel& main, const MainMenu::Targets& targets)
{
    auto menu = addSubmenu(main, QStringLiteral("編集"));
    add(*menu, QStringLiteral("取り消す"), QStringLiteral("undo:"), QStringLiteral("z"), command, targets.delegate);
    add(*menu, QStringLiteral("やり直す"), QStringLiteral("redo:"), QStringLiteral("z"), commandShift, targets.delegate)
        ->setAlternateKeyEquivalent(QStringLiteral("y"), command);
    menu->addSeparator();
    add(*menu, QStringLiteral("カット"), QStringLiteral("cut:"), QStringLiteral("x"));
    add(*menu, QStringLiteral("コピー"), QStringLiteral("copy:"), QStringLiteral("c"));
    add(*menu, QStringLiteral("書式付きでコピー"), QStringLiteral("copyWithStyle:"), QStringLiteral("c"), commandShift);
    add(*menu, QStringLiteral("ペースト"), QStringLiteral("paste:"), QStringLiteral("v"));
    add(*menu, QStringLiteral("そのままペースト"), QStringLiteral("pasteAsPlainText:"), QStringLiteral("v"),
        KeyModifier::Command | KeyModifier::Option | KeyModifier::Shift);
    add(*menu, QStringLiteral("削除"), QStringLiteral("delete:"));
    // Ctrl+Y is redo here, and few keyboards have a ¥ key: both take Ctrl+Alt, the backslash on
    // the key that types it.
    add(*menu, QStringLiteral("バックスラッシュを入力"), QStringLiteral("inputBackSlash:"), QStringLiteral("\\"), commandOption);
    add(*menu, QStringLiteral("円記号を入力"), QStringLiteral("inputYenMark:"), QStringLiteral("y"), commandOption);
    add(*menu, QStringLiteral("すべて選択"), QStringLiteral("selectAll:"), QStringLiteral("a"));
    addSubmenu(*menu, QStringLiteral("選択"));
    menu->itemAt(menu->numberOfItems() - 1)->setTag(MainMenu::selectMenuTag);

    auto spelling = addSubmenu(*menu, QStringLiteral("スペルと文法"));
    addPlainItems(*spelling, {{u"スペルと文法を表示", "showGuessPanel:"},
                              {u"書類を今すぐチェック", "checkSpelling:"},
                              {u"入力中にスペルチェック", "toggleContinuousSpellChecking:"},
                              {u"文法もチェック", "toggleGrammarChecking:"},
                              {u"スペルを自動修正", "toggleAutomaticSpellingCorrection:"}});
    auto substitutions = addSubmenu(*menu, QStringLiteral("自動変換"));
    addPlainItems(*substitutions, {{u"選択範囲の引用符を変換", "replaceQuotesInSelection:"},
                                   {u"選択範囲の引用符を戻す", "straightenQuotesInSelection:"},
                                   {u"選択範囲のダッシュを変換", "replaceDashesInSelection:"},
                                   {u"引用符を自動変換", "toggleAutomaticQuoteSubstitution:"},
                                   {u"ダッシュを自動変換", "toggleAutomaticDashSubstitution:"},
                                   {u"テキスト置換", "toggleAutomaticTextReplacement:"},
                                   {u"選択範囲のテキストを置換", "replaceTextInSelection:"},
                                   {u"自動置換の設定を表示", "orderFrontSubstitutionsPanel:"},
                                   {u"スマートコピー／ペースト", "toggleSmartInsertDelete:"}});
    auto speech = addSubmenu(*menu, QStringLiteral("スピーチ"));
    addPlainItems(*speech, {{u"読み上げを開始", "startSpeaking:"}, {u"読み上げを停止", "stopSpeaking:"}});
}

void buildFindMenu(MenuModel& main, const MainMenu::Targets& targets)
{
    auto menu = addSubmenu(main, QStringLiteral("検索"));
    for (const MainMenu::FindCommand& entry : MainMenu::findCommands()) {
        MenuItem* item = add(*menu, entry.title, MainMenu::searchRelayAction, entry.key, entry.modifiers,
                             targets.delegate);
        item->setRepresentedObject(entry.action);
    }
    add(*menu, QStringLiteral("選択範囲へ移動"), QStringLiteral("centerSelectionInVisibleArea:"), QStringLiteral("j"));
}

std::shared_ptr<MenuModel> buildViewMenu(MenuModel& main, const MainMenu::Targets& targets)
{
    auto menu = addSubmenu(main, QStringLiteral("表示"));
    add(*menu, QStringLiteral("クイックアクション…"), QStringLiteral("showQuickActions:"), QStringLiteral("k"), command,
        targets.delegate);
    // The Super key belongs to the desktop: F9 shows the side panel in Linux editors, the rest
    // take Ctrl+Alt.
    add(*menu, QStringLiteral("サイドバーを表示／隠す"), QStringLiteral("toggleFileTree:"), QString(QChar(0xF70C)),
        KeyModifiers());
    add(*menu, QStringLiteral("ファイルブラウザを表示"), QStringLiteral("showFileBrowser:"), QStringLiteral("1"),
        commandOption);
    add(*menu, QStringLiteral("フォルダ内検索"), MainMenu::searchRelayAction, QStringLiteral("2"), commandOption,
        targets.delegate)
        ->setRepresentedObject(QStringLiteral("showFolderFind:"));
    add(*menu, QStringLiteral("原案"), QStringLiteral("showEdit:"), QStringLiteral("1"));
    add(*menu, QStringLiteral("2カラム"), QStringLiteral("showSplit:"), QStringLiteral("2"));
    add(*menu, QStringLiteral("プレビュー"), QStringLiteral("showPreview:"), QStringLiteral("3"));
    menu->addSeparator();
    add(*menu, QStringLiteral("エディタを分割"), QStringLiteral("openSplitTextView:"));
    add(*menu, QStringLiteral("分割エディタを閉じる"), QStringLiteral("closeSplitTextView:"));
    add(*menu, QStringLiteral("分割の向きを変更"), QStringLiteral("toggleSplitOrientation:"));
    // With at most two editors, next and previous are the same editor.
    add(*menu, QStringLiteral("次のエディタへ移動"), QStringLiteral("focusNextEditor:"), QStringLiteral("`"));
    add(*menu, QStringLiteral("前のエディタへ移動"), QStringLiteral("focusNextEditor:"), QStringLiteral("`"),
        commandShift);
    add(*menu, QStringLiteral("ナビゲーションバーを表示／隠す"), QStringLiteral("toggleNavigationBar:"));
    add(*menu, QStringLiteral("アウトラインを表示"), QStringLiteral("openOutlineMenu:"));
    add(*menu, QStringLiteral("前のアウトライン項目"), QStringLiteral("previousOutline:"), QString(QChar(0xF700)),
        commandOption);
    add(*menu, QStringLiteral("次のアウトライン項目"), QStringLiteral("nextOutline:"), QString(QChar(0xF701)),
        commandOption);
    add(*menu, QStringLiteral("インスペクタを表示／隠す"), QStringLiteral("toggleInspector:"), QStringLiteral("i"));
    add(*menu, QStringLiteral("アウトライン一覧"), QStringLiteral("showOutlineInspector:"));
    add(*menu, QStringLiteral("全画面にする"), QStringLiteral("toggleFullScreen:"), QString(QChar(0xF70E)),
        KeyModifiers());
    add(*menu, QStringLiteral("ツールバーを表示／隠す"), QStringLiteral("toggleToolbarShown:"));
    add(*menu, QStringLiteral("ツールバーをカスタマイズ…"), QStringLiteral("runToolbarCustomizationPalette:"));
    return menu;
}

std::shared_ptr<MenuModel> buildWindowMenu(MenuModel& main, const MainMenu::Targets& targets)
{
    auto menu = addSubmenu(main, QStringLiteral("ウインドウ"));
    add(*menu, QStringLiteral("最小化"), QStringLiteral("performMiniaturize:"), QStringLiteral("m"));
    add(*menu, QStringLiteral("拡大／縮小"), QStringLiteral("performZoom:"));
    add(*menu, QStringLiteral("すべてを手前に移動"), QStringLiteral("arrangeInFront:"));
    add(*menu, QStringLiteral("コンソール"), QStringLiteral("showConsole:"), {}, command, targets.delegate);
    return menu;
}

void buildHelpMenu(MenuModel& main, const MainMenu::Targets& targets)
{
    auto menu = addSubmenu(main, QStringLiteral("ヘルプ"));
    add(*menu, QStringLiteral("Korimadoヘルプ"), QStringLiteral("showHelp:"), QStringLiteral("?"), command,
        targets.delegate);
    auto scripts = addSubmenu(*menu, QStringLiteral("スクリプト"));
    add(*scripts, QStringLiteral("スクリプトについて"), QStringLiteral("showGuide:"), {}, command, targets.scriptingGuide);
    add(*scripts, QStringLiteral("AppleScript用語辞書"), QStringLiteral("showDictionary:"), {}, command,
        targets.scriptingGuide);
}

}  // namespace

const std::vector<MainMenu::FindCommand>& MainMenu::findCommands()
{
    static const std::vector<FindCommand> commands{
        {QStringLiteral("検索…"), QStringLiteral("showFind:"), QStringLiteral("f"), command},
        {QStringLiteral("検索と置換…"), QStringLiteral("showReplace:"), QStringLiteral("f"), commandOption},
        {QStringLiteral("次を検索"), QStringLiteral("findNext:"), QStringLiteral("g"), command},
        {QStringLiteral("前を検索"), QStringLiteral("findPrevious:"), QStringLiteral("g"), commandShift},
        {QStringLiteral("すべて検索"), QStringLiteral("findAll:"), QStringLiteral("f"), commandShift},
        {QStringLiteral("一致箇所をすべて選択"), QStringLiteral("selectAllMatches:"), {}, command},
        {QStringLiteral("選択範囲を検索文字列に"), QStringLiteral("useSelectionForFind:"), QStringLiteral("e"), command},
        {QStringLiteral("選択範囲を置換文字列に"), QStringLiteral("useSelectionForReplace:"), QStringLiteral("e"),
         commandShift},
        {QStringLiteral("置換"), QStringLiteral("replace:"), {}, command},
        {QStringLiteral("置換して次を検索"), QStringLiteral("replaceAndFind:"), QStringLiteral("g"), commandOption},
        {QStringLiteral("すべて置換"), QStringLiteral("replaceAll:"), {}, command},
        {QStringLiteral("複数条件で置換…"), QStringLiteral("showBatchReplace:"), {}, command},
        {QStringLiteral("フォルダ内を検索・置換…"), QStringLiteral("showFolderFind:"), QStringLiteral("f"),
         KeyModifier::Command | KeyModifier::Option | KeyModifier::Shift},
        {QStringLiteral("すべてハイライト"), QStringLiteral("highlightAll:"), QStringLiteral("h"), commandShift},
        {QStringLiteral("ハイライトを消去"), QStringLiteral("clearHighlights:"), QStringLiteral("h"),
         KeyModifier::Command | KeyModifier::Option | KeyModifier::Shift},
    };
    return commands;
}

MainMenu::Built MainMenu::build(const Roots& roots, const Targets& targets)
{
    Built built;
    built.mainMenu = std::make_shared<MenuModel>(QStringLiteral("Main Menu"));
    MenuModel& main = *built.mainMenu;
    buildApplicationMenu(main, targets, built.servicesMenu);
    built.fileMenu = buildFileMenu(main, roots, targets);
    buildEditMenu(main, targets);
    roots.text->setTitle(QStringLiteral("テキスト"));
    main.addItem(roots.text);
    roots.format->setTitle(QStringLiteral("書式"));
    main.addItem(roots.format);
    buildFindMenu(main, targets);
    built.viewMenu = buildViewMenu(main, targets);
    built.windowMenu = buildWindowMenu(main, targets);
    buildHelpMenu(main, targets);
    return built;
}

}  // namespace korimado
