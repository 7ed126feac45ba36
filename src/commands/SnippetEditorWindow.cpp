#include "commands/SnippetEditorWindow.h"

#include "commands/SnippetStore.h"
#include "platform/documents/Document.h"
#include "platform/ui/WindowPlacement.h"

#include <QCloseEvent>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>

namespace korimado {

SnippetEditorWindow::SnippetEditorWindow(const SyntaxLanguage& language,
                                         std::function<void(SnippetEditorWindow*)> onClose)
    : QWidget(nullptr, Qt::Window),
      language_(language),
      snippets_(SnippetStore::snippets(language)),
      onClose_(std::move(onClose))
{
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("スニペットを編集 — ") + language.displayName);
    setMinimumSize(560, 340);
    resize(680, 430);

    table_ = new QListWidget(this);
    table_->setAccessibleName(QStringLiteral("名前"));
    table_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    name_ = new QLineEdit(this);
    name_->setPlaceholderText(QStringLiteral("名前"));
    name_->setAccessibleName(QStringLiteral("スニペット名"));
    body_ = new QPlainTextEdit(this);
    QFont mono = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    mono.setPointSizeF(13);
    body_->setFont(mono);
    body_->setAccessibleName(QStringLiteral("スニペット本文"));
    add_ = new QPushButton(QStringLiteral("追加"), this);
    remove_ = new QPushButton(QStringLiteral("削除"), this);
    save_ = new QPushButton(QStringLiteral("保存"), this);

    connect(add_, &QPushButton::clicked, this, &SnippetEditorWindow::addSnippet);
    connect(remove_, &QPushButton::clicked, this, &SnippetEditorWindow::removeSnippet);
    connect(save_, &QPushButton::clicked, this, &SnippetEditorWindow::saveSnippets);
    connect(table_, &QListWidget::currentRowChanged, this, [this] {
        if (!loading_) loadSelection();
    });
    connect(name_, &QLineEdit::textEdited, this, [this] { updateSelection(); });
    connect(body_, &QPlainTextEdit::textChanged, this, [this] {
        if (!loading_) updateSelection();
    });

    reloadTable();
    if (!snippets_.empty()) select(0);
    WindowPlacement::centreOnScreen(this);
}

SnippetEditorWindow::~SnippetEditorWindow() = default;

int SnippetEditorWindow::selectedRow() const
{
    const int row = table_->currentRow();
    return row >= 0 && static_cast<size_t>(row) < snippets_.size() ? row : -1;
}

void SnippetEditorWindow::reloadTable()
{
    loading_ = true;
    const int row = table_->currentRow();
    table_->clear();
    for (const SyntaxSnippet& snippet : snippets_) table_->addItem(snippet.name);
    if (row >= 0 && row < table_->count()) table_->setCurrentRow(row);
    loading_ = false;
}

void SnippetEditorWindow::select(int row)
{
    loading_ = true;
    table_->setCurrentRow(row);
    loading_ = false;
    loadSelection();
}

void SnippetEditorWindow::loadSelection()
{
    loading_ = true;
    const int row = selectedRow();
    name_->setText(row >= 0 ? snippets_[static_cast<size_t>(row)].name : QString());
    body_->setPlainText(row >= 0 ? snippets_[static_cast<size_t>(row)].body : QString());
    loading_ = false;
}

void SnippetEditorWindow::updateSelection()
{
    const int row = selectedRow();
    if (row < 0) return;
    SyntaxSnippet& snippet = snippets_[static_cast<size_t>(row)];
    snippet.name = name_->text().isEmpty() ? Document::untitledBaseName : name_->text();
    snippet.body = body_->toPlainText();
    if (QListWidgetItem* item = table_->item(row)) item->setText(snippet.name);
}

void SnippetEditorWindow::addSnippet()
{
    snippets_.push_back({QStringLiteral("新しいスニペット"), QString()});
    reloadTable();
    select(static_cast<int>(snippets_.size()) - 1);
}

void SnippetEditorWindow::removeSnippet()
{
    const int row = selectedRow();
    if (row < 0) return;
    snippets_.erase(snippets_.begin() + row);
    reloadTable();
    if (snippets_.empty()) {
        select(-1);
        return;
    }
    select(std::min(row, static_cast<int>(snippets_.size()) - 1));
}

void SnippetEditorWindow::saveSnippets()
{
    updateSelection();
    SnippetStore::save(snippets_, language_);
    close();
}

void SnippetEditorWindow::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    const int w = width();
    const int h = height();
    const QSize button = add_->sizeHint();
    add_->setGeometry(20, h - 18 - button.height(), button.width(), button.height());
    const QSize removeSize = remove_->sizeHint();
    remove_->setGeometry(add_->geometry().right() + 1 + 8, add_->geometry().center().y() - removeSize.height() / 2,
                         removeSize.width(), removeSize.height());
    const QSize saveSize = save_->sizeHint();
    save_->setGeometry(w - 20 - saveSize.width(), h - 18 - saveSize.height(), saveSize.width(), saveSize.height());
    table_->setGeometry(20, 20, 210, add_->y() - 10 - 20);
    const int left = 20 + 210 + 18;
    const int nameHeight = name_->sizeHint().height();
    name_->setGeometry(left, 20, w - 20 - left, nameHeight);
    const int bodyTop = 20 + nameHeight + 10;
    body_->setGeometry(left, bodyTop, w - 20 - left, save_->y() - 10 - bodyTop);
}

void SnippetEditorWindow::closeEvent(QCloseEvent* event)
{
    if (onClose_) {
        auto callback = std::move(onClose_);
        onClose_ = nullptr;
        callback(this);
    }
    QWidget::closeEvent(event);
}

}  // namespace korimado
