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

// The top menus open with Alt and their letter, as in Japanese Linux programs ("ファイル(F)").
std::shared_ptr<MenuModel> addTopMenu(MenuModel& menu, const QString& title, QChar accessKey)
{
    auto submenu = addSubmenu(menu, title);
    menu.itemAt(menu.numberOfItems() - 1)->setAccessKey(accessKey);
    return submenu;
}

std::shared_ptr<MenuModel> buildApplicationMenu(MenuModel& main, const MainMenu::Targets& targets)
{
    auto menu = addTopMenu(main, QStringLiteral("Korimado"), u'K');
    add(*menu, QStringLiteral("Korimadoについて"), QStringLiteral("orderFrontStandardAboutPanel:"));
    add(*menu, QStringLiteral("設定…"), QStringLiteral("showSettings:"), QStringLiteral(","), command, targets.delegate);
    menu->addSeparator();
    // No key: Ctrl+H is replace, as in the other editors here. Other programs' windows are not
    // ours to hide or show, and the desktop has no services to list.
    add(*menu, QStringLiteral("Korimadoを隠す"), QStringLiteral("hide:"));
    menu->addSeparator();
    add(*menu, QStringLiteral("Korimadoを終了"), QStringLiteral("terminate:"), QStringLiteral("q"));
    return menu;
}

std::shared_ptr<MenuModel> buildFileMenu(MenuModel& main, const MainMenu::Roots& roots,
                                         const MainMenu::Targets& targets)
{
    auto menu = addTopMenu(main, QStringLiteral("ファイル"), u'F');
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

void buildEditMenu(MenuModel& main, const MainMenu::Targets& targets)
{
    auto menu = addTopMenu(main, QStringLiteral("編集"), u'E');
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

    // The spelling, substitution and speech panels have no counterpart here: their menus are not
    // shown (the spelling setting stays in the View menu and the settings window).
}

void buildFindMenu(MenuModel& main, const MainMenu::Targets& targets)
{
    auto menu = addTopMenu(main, QStringLiteral("検索"), u'S');
    for (const MainMenu::FindCommand& entry : MainMenu::findCommands()) {
        MenuItem* item = add(*menu, entry.title, MainMenu::searchRelayAction, entry.key, entry.modifiers,
                             targets.delegate);
        item->setRepresentedObject(entry.action);
        // Ctrl+H opens the panel at its replace field, as in Linux editors.
        if (entry.action == QStringLiteral("showReplace:")) item->setAlternateKeyEquivalent(QStringLiteral("h"), command);
    }
    add(*menu, QStringLiteral("選択範囲へ移動"), QStringLiteral("centerSelectionInVisibleArea:"), QStringLiteral("j"));
}

std::shared_ptr<MenuModel> buildViewMenu(MenuModel& main, const MainMenu::Targets& targets)
{
    auto menu = addTopMenu(main, QStringLiteral("表示"), u'V');
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
    return menu;
}

std::shared_ptr<MenuModel> buildWindowMenu(MenuModel& main, const MainMenu::Targets& targets)
{
    auto menu = addTopMenu(main, QStringLiteral("ウインドウ"), u'W');
    add(*menu, QStringLiteral("最小化"), QStringLiteral("performMiniaturize:"), QStringLiteral("m"));
    add(*menu, QStringLiteral("拡大／縮小"), QStringLiteral("performZoom:"));
    add(*menu, QStringLiteral("すべてを手前に移動"), QStringLiteral("arrangeInFront:"));
    add(*menu, QStringLiteral("コンソール"), QStringLiteral("showConsole:"), {}, command, targets.delegate);
    return menu;
}

void buildHelpMenu(MenuModel& main, const MainMenu::Targets& targets)
{
    auto menu = addTopMenu(main, QStringLiteral("ヘルプ"), u'H');
    add(*menu, QStringLiteral("Korimadoヘルプ"), QStringLiteral("showHelp:"), QStringLiteral("?"), command,
        targets.delegate)
        ->setAlternateKeyEquivalent(QString(QChar(0xF704)), KeyModifiers());  // F1
    auto scripts = addSubmenu(*menu, QStringLiteral("スクリプト"));
    add(*scripts, QStringLiteral("スクリプトについて"), QStringLiteral("showGuide:"), {}, command, targets.scriptingGuide);
    add(*scripts, QStringLiteral("用語辞書"), QStringLiteral("showDictionary:"), {}, command,
        targets.scriptingGuide);
    // Where a script's "write to console" lines are read, beside the scripting help.
    add(*menu, QStringLiteral("コンソール"), QStringLiteral("showConsole:"), {}, command, targets.delegate);
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
    buildApplicationMenu(main, targets);
    built.fileMenu = buildFileMenu(main, roots, targets);
    buildEditMenu(main, targets);
    roots.text->setTitle(QStringLiteral("テキスト"));
    roots.text->setAccessKey(u'T');
    main.addItem(roots.text);
    roots.format->setTitle(QStringLiteral("書式"));
    roots.format->setAccessKey(u'O');
    main.addItem(roots.format);
    buildFindMenu(main, targets);
    built.viewMenu = buildViewMenu(main, targets);
    built.windowMenu = buildWindowMenu(main, targets);
    buildHelpMenu(main, targets);
    return built;
}

}  // namespace korimado
