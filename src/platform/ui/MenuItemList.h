#pragma once

#include <QListView>

#include <functional>
#include <memory>
#include <vector>

namespace korimado {

class MenuItem;

// A long run of plain menu items shown inside a menu as one scrolling list. A Qt menu makes and
// lays out an action per item whenever it changes or opens, which takes seconds for tens of
// thousands of items; the list draws only the rows on screen and asks their state as it draws them.
class MenuItemList : public QListView {
    Q_OBJECT

public:
    // Whether an item may be chosen now; asked once per row each time the menu opens.
    using Validator = std::function<bool(MenuItem&)>;

    explicit MenuItemList(QWidget* parent = nullptr);
    ~MenuItemList() override;

    void setItems(std::vector<std::shared_ptr<MenuItem>> items);
    const std::vector<std::shared_ptr<MenuItem>>& items() const;
    void setValidator(Validator validator);
    // Titles or states changed; with revalidate, enabled states are asked again.
    void refresh(bool revalidate);
    // The text a row shows for item.
    static QString rowTitle(const MenuItem& item);

    QSize sizeHint() const override;
    static constexpr int visibleRows = 24;

Q_SIGNALS:
    // The row of items() the user picked.
    void chosen(int row);

protected:
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    class Model;
    void choose(const QModelIndex& index);

    Model* model_;
};

}  // namespace korimado
