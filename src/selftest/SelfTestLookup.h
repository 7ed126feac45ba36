#pragma once

#include <QList>
#include <QString>

class QAbstractButton;
class QComboBox;
class QLineEdit;
class QTableWidget;
class QWidget;

namespace korimado {

// Windows and controls found as a user finds them: a window by its title, a button by its title,
// a field by its placeholder, a pop-up by one of its items, a table as the first one; each the
// first match, views searched parents before children.
class SelfTestLookup {
public:
    SelfTestLookup() = delete;

    // The shown windows, front to back: those that have been key, most recent first, then the rest.
    static QList<QWidget*> windows();
    static QWidget* windowTitled(const QString& title);
    // The title as the window shows it, with its edited mark when it has one.
    static QString title(const QWidget* window);

    static QAbstractButton* buttonTitled(QWidget* root, const QString& title);
    static QLineEdit* fieldWithPlaceholder(QWidget* root, const QString& placeholder);
    static QComboBox* popUpWithItem(QWidget* root, const QString& item);
    static QTableWidget* firstTable(QWidget* root);

    // Sets a text cell of a table and commits it, as a user ending editing does; nothing when the
    // cell is missing or not a text field.
    static void setRule(QTableWidget* table, int row, int column, const QString& text);
};

}  // namespace korimado
