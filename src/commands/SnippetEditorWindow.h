#pragma once

#include "syntax/SyntaxLanguage.h"
#include "syntax/SyntaxSnippet.h"

#include <QWidget>

#include <functional>
#include <vector>

class QListWidget;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace korimado {

// The window that edits one language's snippet list: names on the left, the selected snippet's
// name and body on the right. It works on its own copy; only "保存" writes the list to the store.
// The window deletes itself when closed, after telling its opener.
class SnippetEditorWindow : public QWidget {
    Q_OBJECT

public:
    SnippetEditorWindow(const SyntaxLanguage& language, std::function<void(SnippetEditorWindow*)> onClose);
    ~SnippetEditorWindow() override;

    const SyntaxLanguage& language() const { return language_; }
    const std::vector<SyntaxSnippet>& snippets() const { return snippets_; }
    QListWidget* table() const { return table_; }
    QLineEdit* nameField() const { return name_; }
    QPlainTextEdit* bodyField() const { return body_; }

    void addSnippet();
    void removeSnippet();
    void saveSnippets();

protected:
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    int selectedRow() const;
    void reloadTable();
    void select(int row);
    void loadSelection();
    void updateSelection();

    SyntaxLanguage language_;
    std::vector<SyntaxSnippet> snippets_;
    QListWidget* table_ = nullptr;
    QLineEdit* name_ = nullptr;
    QPlainTextEdit* body_ = nullptr;
    QPushButton* add_ = nullptr;
    QPushButton* remove_ = nullptr;
    QPushButton* save_ = nullptr;
    std::function<void(SnippetEditorWindow*)> onClose_;
    bool loading_ = false;
};

}  // namespace korimado
