#pragma once

#include <QObject>
#include <QString>

#include <memory>
#include <utility>
#include <vector>

class QLineEdit;
class QListWidget;
class QPushButton;
class QWidget;

namespace korimado {

class MenuItem;
class MenuModel;

// The command palette over the main menu: every enabled command, named by its menu path,
// narrowed by what is typed, and run as choosing it in the menu would. It keeps no command
// table of its own; each opening collects the menu of that moment.
class QuickActions : public QObject {
    Q_OBJECT

public:
    QuickActions();
    ~QuickActions() override;

    // Collects, resets the query, filters and shows the panel.
    void show();
    // Runs the selected entry: closes the panel, brings the main window back and sends the action.
    void runSelection();

    QWidget* window() const { return panel_.get(); }
    QLineEdit* field() const { return field_; }
    QListWidget* table() const { return table_; }
    // The path texts listed now, in menu order.
    QStringList filteredTitles() const;

    static inline const QString separator = QStringLiteral(" \u203A ");

protected:
    // The search field keeps the focus: its arrow and page keys move the list's selection, and
    // Escape closes the palette wherever the focus is.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    using Entry = std::pair<QString, std::shared_ptr<MenuItem>>;

    void collect(const MenuModel& menu, const QString& prefix, QWidget* window);
    void filter();

    std::unique_ptr<QWidget> panel_;
    QLineEdit* field_ = nullptr;
    QListWidget* table_ = nullptr;
    QPushButton* run_ = nullptr;
    std::vector<Entry> items_;
    std::vector<Entry> filtered_;
};

}  // namespace korimado
