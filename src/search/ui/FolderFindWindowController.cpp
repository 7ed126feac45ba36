#include "search/ui/FolderFindWindowController.h"

#include "platform/foundation/DispatchQueue.h"
#include "platform/foundation/FilePath.h"
#include "platform/foundation/MainQueue.h"
#include "platform/foundation/PlatformError.h"
#include "platform/ui/FilePanels.h"
#include "platform/ui/WindowFrameAutosave.h"
#include "search/ui/FolderFindResultsModel.h"
#include "search/folder/FolderSearchEngine.h"
#include "search/folder/FolderSearchError.h"
#include "search/engine/SearchEngineError.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>

namespace korimado {

namespace {

QString describe(std::exception_ptr error)
{
    try {
        std::rethrow_exception(error);
    } catch (const FolderSearchError& e) {
        return e.errorDescription();
    } catch (const SearchEngineError& e) {
        return e.errorDescription();
    } catch (const PlatformError& e) {
        return e.errorDescription();
    } catch (const std::exception& e) {
        return QString::fromUtf8(e.what());
    } catch (...) {
        return QString();
    }
}

QLabel* plainLabel(const QString& text, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setTextInteractionFlags(Qt::NoTextInteraction);
    return label;
}

}  // namespace

FolderFindWindowController::FolderFindWindowController(const std::optional<QString>& initialRootURL,
                                                       const SearchRequest& initialRequest,
                                                       OpenDocumentsProvider openDocumentURLs)
    : QWidget(nullptr, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint
                           | Qt::WindowMaximizeButtonHint),
      openDocumentURLs_(std::move(openDocumentURLs)),
      queue_(std::make_shared<DispatchQueue>(DispatchQueue::applicationLabel(QStringLiteral(".folder-search"))))
{
    beep = [] { QApplication::beep(); };
    resize(920, 620);
    configure(initialRootURL, initialRequest);
}

FolderFindWindowController::~FolderFindWindowController()
{
    if (token_) token_->cancel();
    // The table outlives this object's members while ~QWidget takes the children down.
    table_->setModel(nullptr);
    delete model_;
}

void FolderFindWindowController::configure(const std::optional<QString>& initialRootURL, const SearchRequest& request)
{
    setWindowTitle(QStringLiteral("フォルダ内検索"));
    setMinimumSize(760, 480);
    WindowFrameAutosave::setFrameAutosaveName(this, QStringLiteral("Korimado.folderFind"));

    rootField_ = new QLineEdit(initialRootURL.value_or(QString()), this);
    rootField_->setPlaceholderText(QStringLiteral("検索するフォルダのフルパス"));
    rootField_->setAccessibleName(QStringLiteral("検索するフォルダ"));
    findField_ = new QLineEdit(request.pattern, this);
    findField_->setPlaceholderText(QStringLiteral("検索する文字列"));
    replaceField_ = new QLineEdit(request.replacement, this);
    replaceField_->setPlaceholderText(QStringLiteral("置換後の文字列"));
    modePicker_ = new QComboBox(this);
    modePicker_->addItems({QStringLiteral("テキスト"), QStringLiteral("正規表現（ICU）")});
    modePicker_->setCurrentIndex(request.options.mode == SearchMode::regularExpression ? 1 : 0);
    exclusions_ = new QLineEdit(this);
    exclusions_->setPlaceholderText(QStringLiteral("除外例: .git/**, build/**, *.png"));
    exclusions_->setAccessibleName(QStringLiteral("除外するパス"));

    recursive_ = new QCheckBox(QStringLiteral("サブフォルダを含める"), this);
    recursive_->setChecked(true);
    hidden_ = new QCheckBox(QStringLiteral("隠しファイルを含める"), this);
    symlinks_ = new QCheckBox(QStringLiteral("フォルダ内のシンボリックリンクをたどる"), this);
    matchCase_ = new QCheckBox(QStringLiteral("大文字と小文字を区別"), this);
    matchCase_->setChecked(request.options.caseSensitive);

    auto* folderRow = new QHBoxLayout;
    folderRow->setSpacing(8);
    folderRow->addWidget(plainLabel(QStringLiteral("フォルダ:"), this));
    folderRow->addWidget(rootField_, 1);
    auto* choose = new QPushButton(QStringLiteral("選択…"), this);
    connect(choose, &QPushButton::clicked, this, [this] { chooseRoot(); });
    folderRow->addWidget(choose);

    auto* grid = new QGridLayout;
    grid->setVerticalSpacing(7);
    grid->setHorizontalSpacing(8);
    const std::pair<const char*, QWidget*> rows[] = {
        {"検索:", findField_}, {"置換:", replaceField_}, {"方式:", modePicker_}, {"除外:", exclusions_}};
    for (int row = 0; row < 4; ++row) {
        grid->addWidget(plainLabel(QString::fromUtf8(rows[row].first), this), row, 0, Qt::AlignRight | Qt::AlignVCenter);
        grid->addWidget(rows[row].second, row, 1);
    }
    grid->setColumnStretch(1, 1);

    auto* optionsRow = new QHBoxLayout;
    optionsRow->setSpacing(14);
    for (QCheckBox* box : {recursive_, hidden_, symlinks_, matchCase_}) optionsRow->addWidget(box);
    optionsRow->addStretch(1);

    model_ = new FolderFindResultsModel(*this);
    table_ = new QTableView(this);
    table_->setModel(model_);
    for (int column = 0; column < model_->columnCount(); ++column) {
        table_->setColumnWidth(column, FolderFindResultsModel::columnWidth(column));
    }
    table_->verticalHeader()->hide();
    table_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    table_->verticalHeader()->setDefaultSectionSize(30);
    table_->horizontalHeader()->setStretchLastSection(true);
    table_->setAlternatingRowColors(true);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setTextElideMode(Qt::ElideMiddle);
    table_->setWordWrap(false);
    table_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    table_->setAccessibleName(QStringLiteral("フォルダ内検索結果"));
    table_->setMinimumHeight(270);

    auto* buttonRow = new QHBoxLayout;
    buttonRow->setSpacing(8);
    auto add = [this, buttonRow](const QString& title, void (FolderFindWindowController::*action)()) {
        auto* b = new QPushButton(title, this);
        b->setAutoDefault(false);
        connect(b, &QPushButton::clicked, this, [this, action] { (this->*action)(); });
        buttonRow->addWidget(b);
        return b;
    };
    add(QStringLiteral("検索"), &FolderFindWindowController::searchFolder);
    // Return in the fields that say what to look for and where starts the search, as in other
    // search windows; it never replaces.
    for (QLineEdit* field : {findField_, rootField_, exclusions_})
        connect(field, &QLineEdit::returnPressed, this, [this] { searchFolder(); });
    add(QStringLiteral("中止"), &FolderFindWindowController::cancel);
    previewButton_ = add(QStringLiteral("置換プレビュー"), &FolderFindWindowController::makePreview);
    applyButton_ = add(QStringLiteral("選択したファイルを置換…"), &FolderFindWindowController::applyPreview);
    rollbackButton_ = add(QStringLiteral("直前の置換を元に戻す…"), &FolderFindWindowController::rollback);
    for (QPushButton* b : {previewButton_, applyButton_, rollbackButton_}) b->setEnabled(false);
    buttonRow->addStretch(1);

    status_ = new QLabel(initialStatus, this);
    QPalette palette = status_->palette();
    palette.setColor(QPalette::WindowText, palette.color(QPalette::Disabled, QPalette::WindowText));
    status_->setPalette(palette);
    status_->setWordWrap(true);
    status_->setMinimumWidth(1);
    status_->setMaximumHeight(status_->fontMetrics().lineSpacing() * 3 + 2);
    status_->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    auto* stack = new QVBoxLayout(this);
    stack->setContentsMargins(16, 16, 16, 16);
    stack->setSpacing(10);
    stack->addLayout(folderRow);
    stack->addLayout(grid);
    stack->addLayout(optionsRow);
    stack->addLayout(buttonRow);
    stack->addWidget(status_);
    stack->addWidget(table_, 1);
}

QString FolderFindWindowController::status() const
{
    return status_->text();
}

void FolderFindWindowController::setStatus(const QString& text)
{
    status_->setText(text);
}

void FolderFindWindowController::fail(const QString& description)
{
    setStatus(description);
    if (beep) beep();
}

QPushButton* FolderFindWindowController::button(const QString& title) const
{
    for (QPushButton* b : findChildren<QPushButton*>()) {
        if (b->text() == title) return b;
    }
    return nullptr;
}

void FolderFindWindowController::closeEvent(QCloseEvent* event)
{
    cancel();
    QWidget::closeEvent(event);
}

// MARK: - Reading the controls

SearchRequest FolderFindWindowController::currentRequest() const
{
    SearchRequest request;
    request.pattern = findField_->text();
    request.replacement = replaceField_->text();
    SearchOptions& o = request.options;
    o.mode = modePicker_->currentIndex() != 0 ? SearchMode::regularExpression : SearchMode::text;
    o.caseSensitive = matchCase_->isChecked();
    o.wholeWord = false;
    o.wraps = true;
    o.dotMatchesNewline = false;
    o.ignoresDiacriticMarks = false;
    o.ignoresWidth = false;
    o.isLiteralSearch = false;
    o.isMultiline = true;
    o.unescapesReplacementString = false;
    o.usesUnicodeBoundaries = true;
    return request;
}

QStringList FolderFindWindowController::excludedGlobs(const QString& text)
{
    QStringList globs;
    for (const QString& piece : text.split(u',', Qt::SkipEmptyParts)) {
        const QString trimmed = piece.trimmed();
        if (!trimmed.isEmpty()) globs.append(trimmed);
    }
    return globs;
}

FolderSearchOptions FolderFindWindowController::currentOptions() const
{
    FolderSearchOptions options;
    options.recursive = recursive_->isChecked();
    options.includesHiddenFiles = hidden_->isChecked();
    options.followsSymbolicLinks = symlinks_->isChecked();
    options.excludedGlobs = excludedGlobs(exclusions_->text());
    options.maximumFileBytes = FolderSearchOptions::windowMaximumFileBytes;
    return options;
}

QString FolderFindWindowController::currentRootURL() const
{
    QString path = rootField_->text();
    if (path == u"~" || path.startsWith(QStringLiteral("~/"))) path = QDir::homePath() + path.mid(1);
    // Only a full path is made absolute: an empty or relative one reaches the engine as typed and
    // is refused there, rather than quietly searching the working folder.
    if (!QDir::isAbsolutePath(path)) return path;
    return standardizedPath(path);
}

// MARK: - Background runs

void FolderFindWindowController::start(const QString& statusText, Work work)
{
    if (token_) token_->cancel();
    const std::uint64_t run = ++generation_;
    SearchCancellationTokenPtr token = SearchCancellationToken::make();
    token_ = token;
    setStatus(statusText);
    std::weak_ptr<int> alive = alive_;
    queue_->async([this, alive, run, token, work = std::move(work), keep = queue_]() {
        Completion done = work(*token);
        MainQueue::async([this, alive, run, token, done = std::move(done)] {
            if (alive.expired()) return;
            if (generation_ != run || token->isCancelled()) {
                if (done.reportsWhenStale) done.run(*this);
                return;
            }
            token_.reset();
            if (done) done.run(*this);
        });
    });
}

FolderFindWindowController::Completion FolderFindWindowController::failure(std::exception_ptr error)
{
    Completion failed = [description = describe(error)](FolderFindWindowController& window) { window.fail(description); };
    try {
        std::rethrow_exception(error);
    } catch (const FolderSearchError& e) {
        if (e.kind() == FolderSearchError::Kind::writeFailed && !e.rollbackFailures().isEmpty()) {
            // Files kept the replacement: the user is told whatever happened since, and the ones
            // that could not be put back stay on offer for "直前の置換を元に戻す…".
            failed.reportsWhenStale = true;
            if (const std::optional<FolderReplaceReceipt>& left = e.unrestored()) {
                failed.run = [description = e.errorDescription(), left = *left](FolderFindWindowController& window) {
                    window.receipt_ = left;
                    window.rollbackButton_->setEnabled(true);
                    window.fail(description);
                };
            }
        }
    } catch (...) {
    }
    return failed;
}

void FolderFindWindowController::cancel()
{
    if (token_) token_->cancel();
    token_.reset();
    ++generation_;
    setStatus(cancelledStatus);
}

// MARK: - Choosing and searching

void FolderFindWindowController::chooseRoot()
{
    FilePanels* panels = FilePanels::shared();
    if (!panels) return;
    OpenPanelOptions options;
    options.parent = window();
    options.canChooseFiles = false;
    options.canChooseDirectories = true;
    options.allowsMultipleSelection = false;
    const OpenPanelResult chosen = panels->runOpenPanel(options);
    if (!chosen.confirmed || chosen.paths.isEmpty()) return;
    rootField_->setText(chosen.paths.first());
}

void FolderFindWindowController::searchFolder()
{
    const QString root = currentRootURL();
    const SearchRequest request = currentRequest();
    const FolderSearchOptions options = currentOptions();
    start(QStringLiteral("フォルダを検索中…"), [root, request, options, fs = fileSystem_](const SearchCancellationToken& token) -> Completion {
        try {
            FolderSearchResult found = FolderSearchEngine::search(root, request, options, &token, fs);
            return [found = std::move(found), request](FolderFindWindowController& window) {
                window.searchFinished(found, request);
            };
        } catch (...) {
            return failure(std::current_exception());
        }
    });
}

void FolderFindWindowController::searchFinished(const FolderSearchResult& found, const SearchRequest& request)
{
    result_ = found;
    resultRequest_ = request;
    preview_.reset();
    selectedURLs_.clear();
    for (const FolderSearchFile& file : result_->files) selectedURLs_.insert(standardizedPath(file.url));
    reloadTable();
    previewButton_->setEnabled(!result_->files.isEmpty());
    applyButton_->setEnabled(false);
    setStatus(QString::number(result_->visitedFileCount) + QStringLiteral("ファイルを確認し、")
              + QString::number(result_->files.size()) + QStringLiteral("ファイルで")
              + QString::number(result_->matchCount()) + QStringLiteral("件一致しました（")
              + QString::asprintf("%.1f", result_->elapsedMilliseconds) + QStringLiteral("ミリ秒）。除外または読込不可: ")
              + QString::number(result_->skippedFiles.size()) + QStringLiteral("件"));
    QStringList skipped;
    for (const FolderSkippedFile& entry : result_->skippedFiles) skipped.append(entry.path + QStringLiteral(": ") + entry.reason);
    status_->setToolTip(skipped.join(u'\n'));
}

// MARK: - The table

int FolderFindWindowController::rowCount() const
{
    if (preview_) return int(preview_->files.size());
    if (result_) return int(result_->files.size());
    return 0;
}

const FolderSearchFile* FolderFindWindowController::fileAt(int row) const
{
    if (row < 0 || row >= rowCount()) return nullptr;
    return preview_ ? &preview_->files[row].source : &result_->files[row];
}

const FolderReplacementFile* FolderFindWindowController::previewFileAt(int row) const
{
    if (!preview_ || row < 0 || row >= preview_->files.size()) return nullptr;
    return &preview_->files[row];
}

void FolderFindWindowController::reloadTable()
{
    model_->reload();
}

void FolderFindWindowController::toggleFile(int row, bool on)
{
    const FolderSearchFile* file = fileAt(row);
    if (!file) return;
    const QString url = standardizedPath(file->url);
    if (!blockedOpenURLs_.contains(url)) {
        if (on) selectedURLs_.insert(url);
        else selectedURLs_.remove(url);
        applyButton_->setEnabled(!selectedURLs_.isEmpty());
    }
    model_->rowChanged(row);
}

}  // namespace korimado
