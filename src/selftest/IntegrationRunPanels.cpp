// The integration suite's panels: the colour panel, the live find panel and the multi-rule
// replace window, each driven through its own controls as a user would.
#include "selftest/IntegrationRun.h"

#include "commands/TextCommands.h"
#include "document/KoriDocument.h"
#include "platform/text/TextView.h"
#include "platform/ui/ColorPanel.h"
#include "platform/ui/MenuBinder.h"
#include "platform/ui/WindowTracker.h"
#include "search/ui/SearchController.h"
#include "selftest/SelfTestFrame.h"
#include "selftest/SelfTestLookup.h"
#include "selftest/SuiteAwait.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMainWindow>
#include <QStringList>
#include <QTableWidget>

namespace korimado {

namespace {

QString boolText(bool value)
{
    return value ? QStringLiteral("true") : QStringLiteral("false");
}

void clearFirstResponder(QWidget* window)
{
    if (QWidget* focus = window ? window->focusWidget() : nullptr) focus->clearFocus();
}

void click(QWidget* root, const QString& title)
{
    if (QAbstractButton* button = SelfTestLookup::buttonTitled(root, title)) button->click();
}

}  // namespace

SuiteTask<> IntegrationRun::checkColorPanel()
{
    window_.setMode(SelfTestWindow::Mode::edit);
    setContents(QStringLiteral("#112233"));
    resetUndo();
    editor()->setSelectedRange(TextRange{0, 7});
    TextCommands& commands = *window_.primaryCommands();
    commands.perform(QStringLiteral("editColorCode:"), nullptr);
    ColorPanel& panel = ColorPanel::shared();
    panel.setColor(QColor::fromRgbF(0, 1, 0, 1));
    commands.perform(QStringLiteral("colorPanelChanged:"), nullptr);
    checks_.check(QStringLiteral("color panel updates selected code"), text().toLower() == QStringLiteral("#00ff00"));
    panel.orderOut();
    co_await sleepFor(150);
    undo();
    checks_.check(QStringLiteral("color panel change supports undo"), text() == QStringLiteral("#112233"));
}

SuiteTask<> IntegrationRun::checkFindPanel()
{
    const QString source = QStringLiteral("猫 cat 猫\n");
    setContents(source);
    resetUndo();
    markClean();
    SearchController& search = *window_.search();
    search.showReplace(nullptr);
    co_await sleepFor(100);

    QWidget* panel = SelfTestLookup::windowTitled(QStringLiteral("検索と置換"));
    if (!panel) {
        checks_.check(QStringLiteral("search panel opens"), false);
        co_return;
    }
    QLineEdit* find = SelfTestLookup::fieldWithPlaceholder(panel, QStringLiteral("検索する文字列"));
    QLineEdit* replacement = SelfTestLookup::fieldWithPlaceholder(panel, QStringLiteral("置換後の文字列"));
    QComboBox* mode = SelfTestLookup::popUpWithItem(panel, QStringLiteral("正規表現（ICU）"));
    const auto fill = [find, replacement](const QString& pattern, const QString& with) {
        if (find) find->setText(pattern);
        if (replacement) replacement->setText(with);
    };
    fill(QStringLiteral("猫"), QStringLiteral("犬"));
    search.replaceAll(nullptr);
    const auto replaced = [this] { return text() == QStringLiteral("犬 cat 犬\n"); };
    const bool japanese = co_await poll(50, 50, replaced);
    checks_.check(QStringLiteral("Japanese replace through live panel"), japanese);

    QMainWindow* window = window_.window();
    focusEditor();
    const auto focused = [this, window] {
        return WindowTracker::shared().keyWindow() == window && window_.firstResponder() == editor();
    };
    const bool focusHere = co_await poll(20, 50, focused);
    checks_.check(QStringLiteral("replace undo focus belongs to document"), focusHere);
    QWidget* key = WindowTracker::shared().keyWindow();
    SelfTestFrame::printLine(QStringLiteral("Replace undo: canUndo=") + boolText(canUndo()) + QStringLiteral(", key=")
                             + (key ? SelfTestLookup::title(key) : QStringLiteral("none")));
    for (QWidget* shown : SelfTestLookup::windows())
        SelfTestFrame::printLine(QStringLiteral("Visible test window: ") + SelfTestLookup::title(shown) + QStringLiteral(" key=")
                                 + boolText(shown == key) + QStringLiteral(" main=")
                                 + boolText(shown == WindowTracker::shared().mainWindow()));

    const QKeyEvent commandZ(QEvent::KeyPress, Qt::Key_Z, Qt::ControlModifier, QStringLiteral("z"));
    checks_.check(QStringLiteral("Command-Z key equivalent routes"), MenuBinder::shared().performKeyEquivalent(commandZ, window));
    checks_.check(QStringLiteral("live replace undo restores entire document"), text() == source);

    if (mode) mode->setCurrentIndex(1);
    fill(QStringLiteral("(cat)"), QStringLiteral("<$1>"));
    search.replaceAll(nullptr);
    const auto captured = [this] { return text() == QStringLiteral("猫 <cat> 猫\n"); };
    const bool regex = co_await poll(50, 50, captured);
    checks_.check(QStringLiteral("regex capture through live panel"), regex);
    SelfTestFrame::capture(panel, QStringLiteral("integrated-replace-panel.png"));
    undo();
    checks_.check(QStringLiteral("length-changing regex replacement undo is exact"), text() == source);

    setContents(QStringLiteral("a a"));
    resetUndo();
    editor()->setSelectedRanges({TextRange{0, 1}, TextRange{2, 1}});
    if (mode) mode->setCurrentIndex(0);
    fill(QStringLiteral("a"), QStringLiteral("bbb"));
    search.replaceAll(nullptr);
    const auto widened = [this] { return text() == QStringLiteral("bbb bbb"); };
    const bool once = co_await poll(30, 50, widened);
    checks_.check(QStringLiteral("replace all after multi-selection does not duplicate document"), once);
    undo();
    checks_.check(QStringLiteral("replace all after multi-selection undo is exact"), text() == QStringLiteral("a a"));
    search.cancel(nullptr);
}

SuiteTask<> IntegrationRun::checkBatchReplace()
{
    setContents(QStringLiteral("A"));
    resetUndo();
    window_.search()->showBatchReplace(nullptr);
    co_await sleepFor(100);

    QWidget* window = SelfTestLookup::windowTitled(QStringLiteral("複数置換"));
    if (!window) {
        checks_.check(QStringLiteral("multiple replacement window opens"), false);
        co_return;
    }
    QTableWidget* table = SelfTestLookup::firstTable(window);
    if (!table) {
        checks_.check(QStringLiteral("multiple replacement table exists"), false);
        window->close();
        co_return;
    }
    const QString add = QStringLiteral("追加");
    const QString apply = QStringLiteral("文書へ適用");
    clearFirstResponder(window);
    SelfTestLookup::setRule(table, 0, 1, QStringLiteral("A"));
    SelfTestLookup::setRule(table, 0, 2, QStringLiteral("B"));
    click(window, add);
    clearFirstResponder(window);
    SelfTestLookup::setRule(table, 1, 1, QStringLiteral("B"));
    SelfTestLookup::setRule(table, 1, 2, QStringLiteral("C"));
    click(window, apply);
    const auto chained = [this] { return text() == QStringLiteral("C"); };
    const bool inOrder = co_await poll(30, 50, chained);
    checks_.check(QStringLiteral("multiple replacement UI applies rules in order"), inOrder);
    undo();
    checks_.check(QStringLiteral("multiple replacement UI undo is atomic"), text() == QStringLiteral("A"));

    const QString decomposed = QStringLiteral("e\u0301");
    setContents(decomposed);
    resetUndo();
    SelfTestLookup::setRule(table, 0, 1, decomposed);
    SelfTestLookup::setRule(table, 0, 2, QStringLiteral("\u00e9"));
    SelfTestLookup::setRule(table, 1, 1, QStringLiteral("unused"));
    SelfTestLookup::setRule(table, 1, 2, QStringLiteral("unused"));
    click(window, apply);
    const auto composed = [this] { return text() == QString(QChar(0x00e9)); };
    const bool kept = co_await poll(30, 50, composed);
    checks_.check(QStringLiteral("multiple replacement preserves normalization edit"), kept);
    undo();
    QStringList units;
    for (const QChar unit : text()) units.append(QString::number(unit.unicode()));
    SelfTestFrame::printLine(QStringLiteral("Normalization undo units: [") + units.join(QStringLiteral(", "))
                             + QStringLiteral("]; canUndo: ") + boolText(canUndo()));
    checks_.check(QStringLiteral("normalization edit undo restores original units"), text() == decomposed);
    window->close();
}

}  // namespace korimado
