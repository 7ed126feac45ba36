#include "search/ui/BatchReplaceWindowController.h"

#include "document/CodecError.h"
#include "document/KoriDocument.h"
#include "editor/EditorTextView.h"
#include "platform/foundation/DispatchQueue.h"
#include "platform/foundation/JsonDecodingError.h"
#include "platform/foundation/MainQueue.h"
#include "platform/foundation/PlatformError.h"
#include "platform/text/TextChanges.h"
#include "platform/text/TextEditing.h"
#include "platform/text/TextStorage.h"
#include "platform/ui/FilePanels.h"
#include "platform/ui/ToolWindow.h"
#include "platform/ui/WindowFrameAutosave.h"
#include "search/batch/BatchReplaceEngine.h"
#include "search/batch/BatchReplaceError.h"
#include "search/batch/BatchReplaceLibrary.h"
#include "search/engine/SearchDeadline.h"
#include "search/engine/SearchEngineError.h"
#include "search/ui/SearchStatusText.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace korimado {

namespace {

const char* const columnIds[] = {"enabled", "find", "replace", "mode", "ignoreCase", "description"};

// What a rule-file function threw, as the user reads it.
template <typename Fn>
std::optional<QString> attempt(Fn&& fn)
{
    try {
        fn();
        return std::nullopt;
    } catch (const BatchReplaceError& e) {
        return e.errorDescription();
    } catch (const BatchReplaceLibraryError& e) {
        return e.errorDescription();
    } catch (const JsonDecodingError& e) {
        return e.errorDescription();
    } catch (const PlatformError& e) {
        return e.errorDescription();
    } catch (const SearchEngineError& e) {
        return e.errorDescription();
    } catch (const CodecError& e) {
        return e.errorDescription();
    } catch (const std::exception& e) {
        return QString::fromUtf8(e.what());
    }
}

const QString cotFilter = QStringLiteral("置換定義 (*.cotrpl)");
const QString tsvFilter = QStringLiteral("タブ区切りテキスト (*.tsv *.tab)");
const QString textFilter = QStringLiteral("テキスト (*.txt)");
const QString jsonFilter = QStringLiteral("JSON (*.json)");

QString ruleLabel(int row, const char* what)
{
    return QStringLiteral("ルール") + QString::number(row + 1) + QString::fromUtf8(what);
}

}  // namespace

BatchReplaceRule BatchReplaceWindowController::freshRule()
{
    BatchReplaceRule rule;
    rule.id = QUuid::createUuid();
    rule.enabled = true;
    rule.options = BatchReplaceRule::standardRuleOptions();
    return rule;
}

BatchReplaceWindowController::BatchReplaceWindowController(EditorTextView* editor, KoriDocument* document)
    : QWidget(nullptr, Qt::Tool), editor_(editor), model_(document),
      queue_(std::make_unique<DispatchQueue>(DispatchQueue::applicationLabel(QStringLiteral(".batch-replace"))))
{
    beep = [] { QApplication::beep(); };
    rules_.append(freshRule());
    resize(820, 500);
    configure();
}

BatchReplaceWindowController::~BatchReplaceWindowController()
{
    if (token_) token_->cancel();
    // ~QWidget hides the window, and a focused cell then reports its editing finished into rules
    // that are already gone.
    for (QObject* child : findChildren<QObject*>()) QObject::disconnect(child, nullptr, this, nullptr);
}

void BatchReplaceWindowController::configure()
{
    setWindowTitle(QStringLiteral("複数置換"));
    setMinimumSize(680, 380);
    WindowFrameAutosave::setFrameAutosaveName(this, QStringLiteral("Korimado.batchReplace"));
    ToolWindow::closeOnEscape(this);

    table_ = new QTableWidget(0, 6, this);
    table_->setHorizontalHeaderLabels({QStringLiteral("有効"), QStringLiteral("検索文字列"), QStringLiteral("置換文字列"),
                                       QStringLiteral("方式"), QStringLiteral("大小無視"), QStringLiteral("説明")});
    const int widths[] = {48, 180, 180, 105, 68, 170};
    for (int c = 0; c < 6; ++c) table_->setColumnWidth(c, widths[c]);
    table_->verticalHeader()->hide();
    table_->verticalHeader()->setDefaultSectionSize(29);
    table_->horizontalHeader()->setStretchLastSection(true);
    table_->setAlternatingRowColors(true);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setAccessibleName(QStringLiteral("複数置換ルール"));
    table_->setMinimumHeight(260);

    savedRulePicker_ = new QComboBox(this);
    savedRulePicker_->setAccessibleName(QStringLiteral("保存済みの複数置換ルール"));
    savedRulePicker_->setMinimumWidth(280);
    connect(savedRulePicker_, &QComboBox::activated, this, [this](int index) { selectSavedRule(index); });
    auto* pickerRow = new QHBoxLayout;
    pickerRow->setSpacing(8);
    pickerRow->addWidget(new QLabel(QStringLiteral("保存済みルール:"), this));
    pickerRow->addWidget(savedRulePicker_, 1);

    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(8);
    auto add = [this, buttons](const QString& title, void (BatchReplaceWindowController::*action)()) {
        auto* b = new QPushButton(title, this);
        b->setAutoDefault(false);
        connect(b, &QPushButton::clicked, this, [this, action] { (this->*action)(); });
        buttons->addWidget(b);
        return b;
    };
    add(QStringLiteral("追加"), &BatchReplaceWindowController::addRule);
    add(QStringLiteral("削除"), &BatchReplaceWindowController::removeRule);
    add(QStringLiteral("上へ"), &BatchReplaceWindowController::moveRuleUp);
    add(QStringLiteral("下へ"), &BatchReplaceWindowController::moveRuleDown);
    buttons->addStretch(1);
    add(QStringLiteral("読込…"), &BatchReplaceWindowController::loadRules);
    add(QStringLiteral("保存…"), &BatchReplaceWindowController::saveRules);
    QPushButton* apply = add(QStringLiteral("文書へ適用"), &BatchReplaceWindowController::applyRules);
    apply->setDefault(true);

    status_ = new QLabel(QStringLiteral("ルールは上から順に適用されます。"), this);
    QPalette palette = status_->palette();
    palette.setColor(QPalette::WindowText, palette.color(QPalette::Disabled, QPalette::WindowText));
    status_->setPalette(palette);
    status_->setMinimumWidth(1);

    auto* stack = new QVBoxLayout(this);
    stack->setContentsMargins(16, 16, 16, 16);
    stack->setSpacing(10);
    stack->addLayout(pickerRow);
    stack->addWidget(table_, 1);
    stack->addLayout(buttons);
    stack->addWidget(status_);

    reloadTable();
    selectRow(0);
}

QString BatchReplaceWindowController::status() const
{
    return status_->text();
}

void BatchReplaceWindowController::setStatus(const QString& text)
{
    status_->setText(text);
}

void BatchReplaceWindowController::fail(const QString& description)
{
    setStatus(description);
    if (beep) beep();
}

QPushButton* BatchReplaceWindowController::button(const QString& title) const
{
    for (QPushButton* b : findChildren<QPushButton*>()) {
        if (b->text() == title) return b;
    }
    return nullptr;
}

void BatchReplaceWindowController::showWindow(QWidget* owner)
{
    refreshSavedRuleLibrary();
    ToolWindow::present(this, owner, ToolWindow::Lifetime::withOwner);
}

void BatchReplaceWindowController::closeEvent(QCloseEvent* event)
{
    if (token_) token_->cancel();
    token_.reset();
    QWidget::closeEvent(event);
}

// MARK: - The table

void BatchReplaceWindowController::reloadTable()
{
    table_->setRowCount(0);
    table_->setRowCount(int(rules_.size()));
    for (int row = 0; row < rules_.size(); ++row) {
        for (int column = 0; column < 6; ++column) table_->setCellWidget(row, column, cellWidget(row, column));
    }
}

QWidget* BatchReplaceWindowController::cellWidget(int row, int column)
{
    const BatchReplaceRule& rule = rules_[row];
    const QString id = QString::fromLatin1(columnIds[column]);
    if (id == u"enabled" || id == u"ignoreCase") {
        auto* box = new QCheckBox;
        box->setObjectName(id);
        box->setProperty("row", row);
        const bool enabledColumn = id == u"enabled";
        box->setChecked(enabledColumn ? rule.enabled : !rule.options.caseSensitive);
        box->setAccessibleName(enabledColumn ? ruleLabel(row, "を有効にする") : ruleLabel(row, "で大文字と小文字を無視する"));
        connect(box, &QCheckBox::toggled, this, [this, box](bool on) {
            const int r = box->property("row").toInt();
            if (r < 0 || r >= rules_.size()) return;
            if (box->objectName() == u"ignoreCase") rules_[r].options.caseSensitive = !on;
            else rules_[r].enabled = on;
        });
        return box;
    }
    if (id == u"mode") {
        auto* picker = new QComboBox;
        picker->addItems({QStringLiteral("テキスト"), QStringLiteral("正規表現")});
        picker->setProperty("row", row);
        picker->setCurrentIndex(rule.options.mode == SearchMode::text ? 0 : 1);
        connect(picker, &QComboBox::activated, this, [this, picker](int index) {
            const int r = picker->property("row").toInt();
            if (r < 0 || r >= rules_.size()) return;
            rules_[r].options.mode = index == 0 ? SearchMode::text : SearchMode::regularExpression;
        });
        return picker;
    }
    auto* field = new QLineEdit;
    field->setObjectName(id);
    field->setProperty("row", row);
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPointSize(12);
    field->setFont(font);
    field->setFrame(false);
    if (id == u"find") {
        field->setText(rule.find);
        field->setAccessibleName(ruleLabel(row, "の検索文字列"));
    } else if (id == u"replace") {
        field->setText(rule.replacement);
        field->setAccessibleName(ruleLabel(row, "の置換文字列"));
    } else {
        field->setText(rule.description.value_or(QString()));
        field->setAccessibleName(ruleLabel(row, "の説明"));
    }
    connect(field, &QLineEdit::editingFinished, this, [this, field] {
        const int r = field->property("row").toInt();
        if (r < 0 || r >= rules_.size()) return;
        const QString text = field->text();
        if (field->objectName() == u"find") rules_[r].find = text;
        else if (field->objectName() == u"replace") rules_[r].replacement = text;
        else rules_[r].description = text.isEmpty() ? std::nullopt : std::optional<QString>(text);
    });
    return field;
}

void BatchReplaceWindowController::endCellEditing()
{
    for (int row = 0; row < table_->rowCount() && row < rules_.size(); ++row) {
        for (int column : {1, 2, 5}) {
            auto* field = qobject_cast<QLineEdit*>(table_->cellWidget(row, column));
            if (field && field->isModified()) Q_EMIT field->editingFinished();
        }
    }
}

int BatchReplaceWindowController::selectedRow() const
{
    const QModelIndexList rows = table_->selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
}

void BatchReplaceWindowController::selectRow(int row)
{
    if (row < 0 || row >= table_->rowCount()) {
        table_->clearSelection();
        return;
    }
    table_->selectRow(row);
}

void BatchReplaceWindowController::addRule()
{
    endCellEditing();
    const int row = int(std::min<qsizetype>(std::max(selectedRow() + 1, 0), rules_.size()));
    rules_.insert(row, freshRule());
    reloadTable();
    selectRow(row);
    if (auto* field = qobject_cast<QLineEdit*>(table_->cellWidget(row, 1))) {
        field->setFocus(Qt::OtherFocusReason);
        field->selectAll();
    }
}

void BatchReplaceWindowController::removeRule()
{
    const int row = selectedRow();
    if (row < 0 || row >= rules_.size()) return;
    rules_.removeAt(row);
    if (rules_.isEmpty()) rules_.append(freshRule());
    reloadTable();
    selectRow(int(std::min<qsizetype>(row, rules_.size() - 1)));
}

void BatchReplaceWindowController::moveSelected(int delta)
{
    endCellEditing();
    const int row = selectedRow();
    const int target = row + delta;
    if (row < 0 || row >= rules_.size() || target < 0 || target >= rules_.size()) return;
    rules_.swapItemsAt(row, target);
    reloadTable();
    selectRow(target);
}

// MARK: - Applying

void BatchReplaceWindowController::applyRules()
{
    endCellEditing();
    if (!editor_ || !model_) return;
    // Shared chunks here; the one string is made on the queue.
    const TextSnapshot text = model_->storage().snapshot();
    const std::uint64_t revision = model_->revision();
    BatchReplaceDocument document;
    document.rules = rules_;
    const LineEnding lineEnding = model_->format().lineEnding;
    if (token_) token_->cancel();
    SearchCancellationTokenPtr token = SearchCancellationToken::make();
    token_ = token;
    setStatus(QStringLiteral("複数置換を計算中…"));
    std::weak_ptr<int> alive = alive_;
    // A rule's expression may backtrack for minutes: the run ends by itself at the limit.
    auto deadline = std::make_shared<SearchDeadline>(SearchDeadline::limitMilliseconds, token);
    queue_->async([this, alive, token, deadline, text, revision, document, lineEnding] {
        std::optional<BatchReplaceResult> result;
        std::optional<QString> error = attempt([&] {
            result = BatchReplaceEngine::apply(document, text.string(), lineEnding, token.get());
        });
        const bool timedOut = error && deadline->expired();
        if (timedOut) error = deadline->expiredDescription();
        MainQueue::async([this, alive, token, timedOut, revision, result = std::move(result), error] {
            if (alive.expired()) return;
            if ((token->isCancelled() && !timedOut) || !model_ || !editor_ || model_->revision() != revision) {
                setStatus(staleMessage);
                return;
            }
            token_.reset();
            if (error) return fail(*error);
            qsizetype total = 0;
            for (const BatchRuleResult& r : result->ruleResults) total += r.replacements;
            if (result->ruleResults.isEmpty() || total < 1) return setStatus(SearchStatusText::noMatch);
            if (result->edits.isEmpty()) {
                return setStatus(SearchStatusText::matchedUnchanged(QString::number(total)));
            }
            if (!editor_->isEditable()) return setStatus(KoriDocument::notEditableMessage);
            QVector<TextRange> ranges;
            QStringList strings;
            std::vector<TextChange> pieces;
            for (const SearchReplacement& edit : result->edits) {
                ranges.append(edit.originalRange);
                strings.append(edit.replacement);
                pieces.push_back({edit.originalRange.location, edit.originalRange.length, edit.replacement.size()});
            }
            // The caret follows the text as every other position does.
            const qsizetype caret = TextChanges(std::move(pieces)).mapPosition(editor_->selectedRange().location);
            const TextEditing::Outcome outcome =
                TextEditing::replace(model_->storage(), ranges, strings, QStringLiteral("複数置換"),
                                     QVector<TextRange>{TextRange(caret, 0)}, editor_->editInitiator());
            // A change the view did not approve leaves the text as it was: say so, never "done".
            if (outcome == TextEditing::Outcome::notEditable) return setStatus(KoriDocument::notEditableMessage);
            if (outcome != TextEditing::Outcome::replaced) {
                return setStatus(SearchStatusText::refused);
            }
            if (editor_) editor_->scrollRangeToVisible(editor_->selectedRange());
            setStatus(QString::number(total) + QStringLiteral("件を") + QString::number(result->ruleResults.size())
                      + QStringLiteral("個のルールで置換しました。"));
        });
    });
}

// MARK: - Rule files and the library

void BatchReplaceWindowController::replaceRules(const QList<BatchReplaceRule>& rules)
{
    // A cell still being edited belongs to the rules going: its edit lands there, and its field,
    // losing the focus as the table is rebuilt, must not write into the rules coming.
    endCellEditing();
    for (int row = 0; row < table_->rowCount(); ++row) {
        for (int column = 0; column < table_->columnCount(); ++column)
            if (QWidget* cell = table_->cellWidget(row, column)) cell->blockSignals(true);
    }
    rules_ = rules;
    if (rules_.isEmpty()) rules_.append(freshRule());
}

void BatchReplaceWindowController::refreshSavedRuleLibrary()
{
    savedRulePicker_->clear();
    const std::optional<QString> directory = BatchReplaceLibrary::directory();
    if (!directory) {
        savedRulePicker_->addItem(QStringLiteral("保存済みルールを取得できません"));
        savedRulePicker_->setEnabled(false);
        return;
    }
    const BatchReplaceLibrary::Listing listing = BatchReplaceLibrary::list(*directory);
    if (listing.state == BatchReplaceLibrary::Listing::State::unreadable) {
        savedRulePicker_->addItem(QStringLiteral("保存済みルールを読み込めません"));
        savedRulePicker_->setEnabled(false);
        setStatus(listing.errorDescription);
        return;
    }
    if (listing.paths.isEmpty()) {
        savedRulePicker_->addItem(QStringLiteral("保存済みルールはありません"));
        savedRulePicker_->setEnabled(false);
        return;
    }
    savedRulePicker_->addItem(QStringLiteral("保存済みルールを選択…"));
    for (const QString& path : listing.paths) {
        savedRulePicker_->addItem(BatchReplaceEngine::nameForFile(path), path);
        savedRulePicker_->setItemData(savedRulePicker_->count() - 1, path, Qt::ToolTipRole);
    }
    savedRulePicker_->setCurrentIndex(0);
    savedRulePicker_->setEnabled(true);
}

void BatchReplaceWindowController::readRuleFile(
    const QString& path, bool validate, std::function<void(BatchReplaceDocument&, const std::optional<QString>&)> done)
{
    if (!fileQueue_)
        fileQueue_ = std::make_unique<DispatchQueue>(DispatchQueue::applicationLabel(QStringLiteral(".batch-replace.files")));
    const quint64 ticket = ++ruleReads_;
    readingRules_ = true;
    std::weak_ptr<int> alive = alive_;
    fileQueue_->async([this, alive, ticket, path, validate, done = std::move(done)] {
        auto document = std::make_shared<BatchReplaceDocument>();
        const std::optional<QString> error = attempt([&] {
            *document = BatchReplaceEngine::load(path);
            if (validate) BatchReplaceLibrary::validate(*document);
        });
        MainQueue::async([this, alive, ticket, document, error, done] {
            if (alive.expired() || ticket != ruleReads_) return;
            readingRules_ = false;
            done(*document, error);
        });
    });
}

void BatchReplaceWindowController::selectSavedRule(int index)
{
    const QString path = savedRulePicker_->itemData(index).toString();
    if (path.isEmpty()) return;
    readRuleFile(path, true, [this, path](BatchReplaceDocument& document, const std::optional<QString>& error) {
        if (error) {
            savedRulePicker_->setCurrentIndex(0);
            return fail(*error);
        }
        replaceRules(document.rules);
        reloadTable();
        selectRow(0);
        setStatus(QStringLiteral("保存済みルール「") + BatchReplaceEngine::nameForFile(path)
                  + QStringLiteral("」を読み込みました。文書にはまだ適用していません。"));
    });
}

void BatchReplaceWindowController::loadRules()
{
    FilePanels* panels = FilePanels::shared();
    if (!panels) return;
    OpenPanelOptions options;
    options.parent = window();
    options.message = QStringLiteral("複数置換ルールを読み込む");
    options.nameFilters = {QStringLiteral("複数置換ルール (*.cotrpl *.tsv *.tab *.txt *.json)"), cotFilter, tsvFilter,
                           textFilter, jsonFilter};
    const OpenPanelResult chosen = panels->runOpenPanel(options);
    if (!chosen.confirmed || chosen.paths.isEmpty()) return;
    readRuleFile(chosen.paths.first(), false, [this](BatchReplaceDocument& document, const std::optional<QString>& error) {
        if (error) return fail(*error);
        const int selected = selectedRow();
        replaceRules(document.rules);
        reloadTable();
        selectRow(std::min(selected, int(rules_.size()) - 1));
        setStatus(QString::number(rules_.size()) + QStringLiteral("件のルールを読み込みました。"));
    });
}

void BatchReplaceWindowController::saveRules()
{
    endCellEditing();
    FilePanels* panels = FilePanels::shared();
    if (!panels) return;
    SavePanelOptions options;
    options.parent = window();
    options.message = QStringLiteral("複数置換ルールを保存");
    options.nameFieldValue = QStringLiteral("複数置換.cotrpl");
    options.nameFilters = {cotFilter, tsvFilter, jsonFilter};
    const SavePanelResult chosen = panels->runSavePanel(options);
    if (!chosen.confirmed || chosen.path.isEmpty()) return;
    BatchReplaceDocument document;
    document.name = BatchReplaceEngine::nameForFile(chosen.path);
    document.rules = rules_;
    const std::optional<QString> error = attempt([&] { BatchReplaceEngine::save(document, chosen.path); });
    if (error) return fail(*error);
    QString label;
    switch (BatchReplaceEngine::fileFormat(chosen.path)) {
    case BatchReplaceFileFormat::cotReplacement: label = QStringLiteral(".cotrpl置換定義"); break;
    case BatchReplaceFileFormat::tsv: label = QStringLiteral("TSV"); break;
    case BatchReplaceFileFormat::json: label = QStringLiteral("Korimado JSON"); break;
    }
    setStatus(QString::number(rules_.size()) + QStringLiteral("件のルールを") + label + QStringLiteral("で保存しました。"));
}

}  // namespace korimado
