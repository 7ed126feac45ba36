#pragma once

#include <QWidget>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableView;

namespace korimado {

// The find panel's window and controls; SearchController gives them their behaviour.
class FindPanel : public QWidget {
    Q_OBJECT

public:
    explicit FindPanel(QWidget* parent = nullptr);

    QLineEdit* findField = nullptr;
    QLineEdit* replaceField = nullptr;
    QComboBox* modePicker = nullptr;
    QLabel* status = nullptr;
    QTableView* table = nullptr;

    QCheckBox* matchCase = nullptr;
    QCheckBox* wholeWord = nullptr;
    QCheckBox* selectionOnly = nullptr;
    QCheckBox* wraps = nullptr;
    QCheckBox* ignoreDiacritics = nullptr;
    QCheckBox* ignoreWidth = nullptr;
    QCheckBox* literalComparison = nullptr;
    QCheckBox* unicodeBoundaries = nullptr;
    QCheckBox* multiline = nullptr;
    QCheckBox* singleLine = nullptr;
    QCheckBox* unescapeReplacement = nullptr;

    // The buttons by action name ("findNext:", ...), in the order of their rows.
    QList<QPair<QString, QPushButton*>> buttons;
    QPushButton* button(const QString& action) const;

Q_SIGNALS:
    // Return pressed where no field takes it: the "次を検索" key equivalent.
    void defaultActionRequested();
    void closed();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
};

}  // namespace korimado
