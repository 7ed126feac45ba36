#pragma once

#include "search/batch/BatchReplaceRule.h"
#include "search/engine/SearchCancellationToken.h"

#include <QList>
#include <QPointer>
#include <QWidget>

#include <functional>
#include <memory>

class QComboBox;
class QLabel;
class QPushButton;
class QTableWidget;

namespace korimado {

class DispatchQueue;
class EditorTextView;
class KoriDocument;

// The multi-rule replace window of one editor: an ordered list of rules, applied top to bottom to
// the editor's document in one undo step, and read from and written to rule files. The rules live
// only here; closing the window hides it and keeps them.
class BatchReplaceWindowController : public QWidget {
    Q_OBJECT

public:
    BatchReplaceWindowController(EditorTextView* editor, KoriDocument* document);
    ~BatchReplaceWindowController() override;

    // Refreshes the saved-rule library, then shows the window.
    void showWindow(QWidget* owner = nullptr);

    const QList<BatchReplaceRule>& rules() const { return rules_; }
    QTableWidget* table() const { return table_; }
    QComboBox* savedRulePicker() const { return savedRulePicker_; }
    QString status() const;
    bool isRunning() const { return token_ != nullptr; }
    QPushButton* button(const QString& title) const;
    // Sounds the system beep; tests count it.
    std::function<void()> beep;

    static BatchReplaceRule freshRule();

    void addRule();
    void removeRule();
    void moveRuleUp() { moveSelected(-1); }
    void moveRuleDown() { moveSelected(+1); }
    void applyRules();
    void loadRules();
    void saveRules();
    void selectSavedRule(int index);
    void refreshSavedRuleLibrary();

    static inline const QString staleMessage = QStringLiteral("本文が変わったため、古い置換結果を破棄しました。");

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void configure();
    void reloadTable();
    QWidget* cellWidget(int row, int column);
    int selectedRow() const;
    void selectRow(int row);
    void moveSelected(int delta);
    // Stores what the cells show, as the end of a cell's editing would.
    void endCellEditing();
    void setStatus(const QString& text);
    void fail(const QString& description);
    void replaceRules(const QList<BatchReplaceRule>& rules);

    QPointer<EditorTextView> editor_;
    QPointer<KoriDocument> model_;
    QList<BatchReplaceRule> rules_;
    QComboBox* savedRulePicker_ = nullptr;
    QTableWidget* table_ = nullptr;
    QLabel* status_ = nullptr;
    std::unique_ptr<DispatchQueue> queue_;
    SearchCancellationTokenPtr token_;
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);
};

}  // namespace korimado
