// The integration suite: one real source document in a real editor window, driven through the
// editor's areas in a fixed order; every edit goes through the document's edit entry or the
// editor's own typing entry, as a user's or a script's would.
#include "selftest/IntegrationTests.h"
#include "selftest/IntegrationRun.h"
#include "scripting/console/ScriptOutputView.h"
#include "scripting/guide/ScriptingGuide.h"

#include "document/KoriDocument.h"
#include "commands/TextCommands.h"
#include "editor/DocumentEditor.h"
#include "editor/EditorHost.h"
#include "platform/text/LayoutManager.h"
#include "platform/ui/MenuModel.h"
#include "settings/EditorSettingsKeys.h"
#include "syntax/SyntaxHighlighter.h"
#include "syntax/SyntaxModel.h"
#include "platform/documents/DocumentController.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/UndoManager.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/text/TextEditing.h"
#include "platform/text/TextStorage.h"
#include "platform/text/TextView.h"
#include "selftest/ScriptEventTests.h"
#include "selftest/SelfTestChecks.h"
#include "selftest/SelfTestDocuments.h"
#include "selftest/SelfTestFrame.h"
#include "selftest/SelfTestWindow.h"
#include "selftest/SuiteAlertWatch.h"
#include "selftest/SuiteAwait.h"
#include "syntax/CotSyntaxCatalog.h"
#include "theme/EditorThemeStore.h"
#include "platform/ui/WindowTracker.h"

#include <QAbstractButton>
#include <QAbstractScrollArea>
#include <QPlainTextEdit>
#include <QTableWidget>
#include <QFile>
#include <QMainWindow>
#include <QPointer>
#include <QSplitter>

namespace korimado {

namespace {

const QString& fixtureText = IntegrationRun::fixtureText;
const QString reportPath = QStringLiteral("docs/evidence/integration-tests.json");

using SelfTestDocuments::writeWhole;

std::optional<QString> readText(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
    return QString::fromUtf8(file.readAll());
}

}  // namespace

void IntegrationRun::setContents(const QString& contents)
{
    if (!document_) return;
    TextStorage& storage = document_->storage();
    TextEditing::replace(storage, {TextRange{0, storage.length()}}, QStringList{contents}, QStringLiteral("内容を設定"));
}

void IntegrationRun::resetUndo()
{
    if (document_ && document_->undoManager()) document_->undoManager()->removeAllActions();
}

void IntegrationRun::markClean()
{
    if (document_) document_->updateChangeCount(Document::ChangeType::cleared);
}

void IntegrationRun::undo()
{
    if (document_ && document_->undoManager()) document_->undoManager()->undo();
}

QString IntegrationRun::text() const
{
    return document_ ? document_->string() : QString();
}

bool IntegrationRun::canUndo() const
{
    return document_ && document_->undoManager() && document_->undoManager()->canUndo();
}

TextView* IntegrationRun::editor() const
{
    return window_.textView();
}

void IntegrationRun::focusEditor()
{
    if (!window_) return;
    WindowTracker::shared().makeKeyAndOrderFront(window_.window());
    window_.window()->activateWindow();
    window_.makeFirstResponder(editor());
}

QList<TextView*> IntegrationRun::editors() const
{
    return window_.visibleTextViews();
}

void IntegrationRun::harnessError(const QString& description)
{
    checks_.check(QStringLiteral("integration harness: ") + description, false);
}

SuiteTask<bool> IntegrationRun::setUp()
{
    fixture_ = SelfTestFrame::path(QStringLiteral("tests/fixtures/integration.swift"));
    copy_ = SelfTestFrame::path(QStringLiteral("tests/outputs/integration-copy.swift"));
    QString error;
    if (!writeWhole(fixture_, fixtureText, &error)) {
        harnessError(error);
        co_return false;
    }
    window_ = SelfTestDocuments::openTextWindow(fixture_, &error);
    if (!window_) {
        harnessError(error);
        co_return false;
    }
    document_ = window_.document();
    QMainWindow* window = window_.window();
    window->raise();
    window->activateWindow();
    window_.makeFirstResponder(editor());
    co_await sleepFor(500);
    co_return true;
}

void IntegrationRun::checkBundle()
{
    QMainWindow* window = window_.window();
    QSplitter* workspace = window_.workspaceSplit();
    QWidget* content = window->centralWidget();
    checks_.check(QStringLiteral("editor workspace uses window height"),
                  workspace && content && workspace->height() > 0.6 * content->height());
    checks_.check(QStringLiteral("app icon bundled"), !Bundle::main().path(QStringLiteral("AppIcon"), QStringLiteral("icns")).isEmpty());
    checks_.check(QStringLiteral("scripting dictionary bundled"),
                  !Bundle::main().path(QStringLiteral("Korimado"), QStringLiteral("sdef")).isEmpty());
    checks_.check(QStringLiteral("bundled syntax catalog includes 70 formats"), CotSyntaxCatalog::shared().languages().size() > 69);
    checks_.check(QStringLiteral("bundled theme catalog includes 14 themes"),
                  EditorThemeStore::shared().availableThemeNames().size() > 13);

    const DefaultsValue::Dictionary before =
        SelfTestFrame::setArgument(EditorSettingsKey::themeName, QStringLiteral("Classic (Dark)"));
    window_.preferencesChanged();
    const QColor background = editor()->backgroundColor();
    checks_.check(QStringLiteral("theme change applies editor background"), background.isValid() && background.toRgb().redF() < 0.4);
    SelfTestFrame::restoreArguments(before);
    window_.preferencesChanged();
}

SuiteTask<> IntegrationRun::checkHighlightingAndWindow()
{
    TextCommands& commands = *window_.commands();
    const auto coloured = [this, &commands] {
        bool found = false;
        if (LayoutManager* layout = window_.layout())
            layout->enumerateTemporaryAttributes(&commands.syntaxHighlighter(), TextRange{0, 1},
                                                 [&found](TextRange, const TemporaryAttributes& attributes) {
                                                     found = found || attributes.foreground.has_value();
                                                 });
        return found;
    };
    const bool hasColour = co_await poll(30, 50, coloured);
    checks_.check(QStringLiteral("Swift syntax detected"), commands.syntax().language().id == QStringLiteral("swift"));
    checks_.check(QStringLiteral("syntax colors are temporary"), hasColour);
    checks_.check(QStringLiteral("syntax does not dirty document"), !document_->isDocumentEdited());
    checks_.check(QStringLiteral("text menu contains implemented commands"), commands.menu() && commands.menu()->numberOfItems() > 5);
    checks_.check(QStringLiteral("workspace file menu present"),
                  IntegrationTests::fileMenuItemCount && IntegrationTests::fileMenuItemCount(window_.window()) > 0);
    ScriptingGuide& guide = ScriptingGuide::shared();
    guide.showGuide();
    ScriptOutputView* guideText = guide.text();
    checks_.check(QStringLiteral("Japanese scripting guide opens"),
                  guideText && guideText->text().contains(QStringLiteral("正規表現のキャプチャ")));
    guide.showDictionary();
    checks_.check(QStringLiteral("dictionary lists bundled commands"),
                  guideText && guideText->text().contains(QStringLiteral("normalize unicode"))
                      && guideText->text().contains(QStringLiteral("write to console")));
    if (QWidget* guideWindow = guide.window()) guideWindow->close();
    window_.window()->activateWindow();
    editor()->setFocus();

    TextView* view = editor();
    view->setSelectedRange(TextRange{4, 5});
    // The state as the next launch finds it: written to the state file and read back from there.
    window_.saveRestorableState();
    UserDefaults& store = SelfTestWindow::restorableStateStore();
    store.synchronize();
    const UserDefaults nextLaunch(store.filePath());
    const std::optional<SelfTestWindow::RestorableState> stored = nextLaunch.dictionary(document_->fileURL());
    view->setSelectedRange(TextRange{0, 0});
    if (stored) window_.restoreState(*stored);
    checks_.check(QStringLiteral("window state restores selection"), stored && view->selectedRange() == TextRange{4, 5});
    QWidget* bar = window_.navigationBar();
    checks_.check(QStringLiteral("navigation bar is visible"), bar && bar->height() > 20);
    window_.toggleNavigationBar();
    checks_.check(QStringLiteral("navigation bar can hide"), window_.isNavigationBarHidden());
    window_.toggleNavigationBar();
}

SuiteTask<> IntegrationRun::checkOutlineAndCounter()
{
    TextCommands& commands = *window_.commands();
    setContents(QStringLiteral("func first() {}\n\nfunc second() {}\n"));
    co_await poll(30, 50, [&commands] { return commands.syntax().outline().size() > 1; });
    TextView* view = editor();
    view->setSelectedRange(TextRange{0, 0});
    window_.navigateOutline(true);
    checks_.check(QStringLiteral("outline navigation moves forward"), view->selectedRange().location > 0);
    window_.navigateOutline(false);
    checks_.check(QStringLiteral("outline navigation moves backward"), view->selectedRange().location == 0);
    window_.showOutlineInspector();
    QTableWidget* table = window_.outlineTable();
    checks_.check(QStringLiteral("persistent outline inspector lists entries"), table && table->rowCount() > 1);

    setContents(QStringLiteral(" A\n"));
    window_.showAdvancedCounter();
    QPlainTextEdit* counter = window_.inspectionText();
    const auto counts = [counter](const QString& expected) { return counter && counter->toPlainText().contains(expected); };
    const bool live = co_await poll(30, 50, [&] { return counts(QStringLiteral("全文：3文字")); });
    checks_.check(QStringLiteral("advanced counter updates live"), live);
    for (const QString& title : {QStringLiteral("空白を含む"), QStringLiteral("改行を含む")}) {
        for (QAbstractButton* button : SelfTestFrame::buttons(window_.window()->centralWidget()))
            if (button->text() == title) {
                button->click();
                break;
            }
    }
    const bool excluded = co_await poll(30, 50, [&] { return counts(QStringLiteral("全文：1文字")); });
    checks_.check(QStringLiteral("advanced counter excludes spaces and newlines"), excluded);
    window_.setMode(SelfTestWindow::Mode::edit);
}

SuiteTask<> IntegrationRun::checkSplitAndCarets()
{
    window_.makeFirstResponder(editor());
    setContents(fixtureText);
    resetUndo();
    markClean();
    window_.openSplitTextView();
    co_await sleepFor(200);

    const QList<TextView*> views = editors();
    checks_.check(QStringLiteral("split has two text editors"), views.size() == 2);
    const bool two = views.size() == 2;
    checks_.check(QStringLiteral("split editors share storage"), two && views[0]->textStorage() == views[1]->textStorage());
    if (two) {
        TextView* second = views[1];
        window_.makeFirstResponder(second);
        const qsizetype end = second->string().size();
        second->insertText(QStringLiteral("// secondary\n"), TextRange{end, 0});
        second->breakUndoCoalescing();
        checks_.check(QStringLiteral("split edit reaches shared text"), views[0]->string().endsWith(QStringLiteral("// secondary\n")));
        undo();
        checks_.check(QStringLiteral("split undo restores exact source"), text() == fixtureText);
    }
    window_.closeSplitTextView();
    checks_.check(QStringLiteral("closing split retains primary editor"), editors().size() == 1);

    TextView* view = editor();
    window_.makeFirstResponder(view);
    setContents(QStringLiteral("    a"));
    resetUndo();
    view->setSelectedRange(TextRange{5, 0});
    view->insertNewline();
    view->breakUndoCoalescing();
    checks_.check(QStringLiteral("newline preserves indentation"), text() == QStringLiteral("    a\n    "));
    undo();
    checks_.check(QStringLiteral("auto-indent undo restores source"), text() == QStringLiteral("    a"));

    setContents(QStringLiteral("a\nb"));
    resetUndo();
    DocumentEditor* primary = window_.editors()->primaryEditor();
    primary->select({TextRange{1, 0}, TextRange{3, 0}});
    view->insertNewline();
    checks_.check(QStringLiteral("newline applies to every caret"), text() == QStringLiteral("a\n\nb\n"));
    undo();
    checks_.check(QStringLiteral("multi-caret newline undo is atomic"), text() == QStringLiteral("a\nb"));

    primary->select({TextRange{0, text().size()}});
    view->insertText(QStringLiteral("one two three"), TextRange{0, text().size()});
    resetUndo();
    view->setSelectedRanges({TextRange{0, 3}, TextRange{8, 5}});
    view->insertText(QStringLiteral("X"));
    checks_.check(QStringLiteral("multi-selection inserts at both ranges"), text() == QStringLiteral("X two X"));
    undo();
    checks_.check(QStringLiteral("multi-selection undo is atomic"), text() == QStringLiteral("one two three"));
}

SuiteTask<bool> IntegrationRun::checkSaving()
{
    if (window_ && window_.window()) SelfTestFrame::capture(window_.window(), QStringLiteral("integrated-editor.png"));

    const QString edited = QStringLiteral("let alpha = 12\n// 日本語\nprint(alpha)\n// local change\n");
    setContents(edited);
    ErrorInfo error;
    if (!document_->writeSafely(copy_, KoriDocument::plainTextType, Document::SaveOperation::saveTo, &error)) {
        harnessError(error.description);
        co_return false;
    }
    const std::optional<QString> copied = readText(copy_);
    const std::optional<QString> source = readText(fixture_);
    if (!copied || !source) {
        harnessError(QStringLiteral("ファイルを読み込めませんでした。"));
        co_return false;
    }
    checks_.check(QStringLiteral("export copy contains unsaved edits"), *copied == edited);
    checks_.check(QStringLiteral("export copy preserves source baseline"), *source == fixtureText);
    const bool saved = document_->writeSafely(fixture_, KoriDocument::plainTextType, Document::SaveOperation::save, &error);
    checks_.check(QStringLiteral("save after export uses original baseline"), saved && readText(fixture_) == edited);

    QString writeError;
    const QString external = QStringLiteral("// external change\n");
    if (!writeWhole(fixture_, external, &writeError)) {
        harnessError(writeError);
        co_return false;
    }
    const bool overwritten = document_->writeSafely(fixture_, KoriDocument::plainTextType, Document::SaveOperation::save, &error);
    checks_.check(QStringLiteral("external edit blocks overwrite"), !overwritten);
    checks_.check(QStringLiteral("external file remains untouched"), readText(fixture_) == external);

    if (!writeWhole(fixture_, fixtureText, &writeError)) {
        harnessError(writeError);
        co_return false;
    }
    if (!document_->readFromURL(fixture_, KoriDocument::plainTextType, &error)) {
        harnessError(error.description);
        co_return false;
    }
    markClean();
    QString updated = fixtureText;
    updated.replace(QStringLiteral("12"), QStringLiteral("13"));
    if (!writeWhole(fixture_, updated, &writeError)) {
        harnessError(writeError);
        co_return false;
    }
    const auto isUpdated = [this, updated] { return text() == updated; };
    const bool reloaded = co_await poll(40, 50, isUpdated);
    checks_.check(QStringLiteral("clean document reloads external update"), reloaded && !document_->isDocumentEdited());
    if (!writeWhole(fixture_, fixtureText, &writeError)) {
        harnessError(writeError);
        co_return false;
    }
    co_return true;
}

void IntegrationRun::finish()
{
    SelfTestFrame::writeReport(reportPath, QJsonObject{{QStringLiteral("checks"), checks_.records()}});
    SelfTestFrame::printLine(checks_.summary(QStringLiteral("Integrated checks ")));
    // The program ends as a user's would, with the window and its (clean) document still open.
    markClean();
    SelfTestFrame::terminate();
}

SuiteTask<> IntegrationRun::run()
{
    SuiteAlertWatch::shared().start([this](const QString& alert) {
        harnessError(alert);
        finish();
    });
    // This compiler loses a co_await written inside a condition: await into a local first.
    const bool ready = co_await setUp();
    if (!ready) {
        finish();
        co_return;
    }
    checkBundle();
    co_await checkHighlightingAndWindow();
    co_await checkOutlineAndCounter();
    co_await checkColorPanel();
    co_await checkSplitAndCarets();
    co_await checkFindPanel();
    co_await checkBatchReplace();
    checkScripting();
    const QJsonArray appleEvents = co_await ScriptEventTests::run(document_.data(), fixture_, SelfTestFrame::workingDirectory());
    checks_.append(appleEvents);
    co_await checkNativeInput();
    markClean();
    window_.setMode(SelfTestWindow::Mode::split);
    co_await sleepFor(500);
    co_await checkSaving();
    finish();
}

SuiteTask<> IntegrationTests::run()
{
    IntegrationRun suite;
    SuiteTask<> whole = suite.run();
    co_await whole;
}

}  // namespace korimado
