#include "platform/ui/MenuItemList.h"

#include "platform/ui/MenuModel.h"

#include <QAbstractListModel>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScrollBar>

#include <algorithm>

namespace korimado {

class MenuItemList::Model : public QAbstractListModel {
public:
    using QAbstractListModel::QAbstractListModel;

    void setItems(std::vector<std::shared_ptr<MenuItem>> items)
    {
        beginResetModel();
        items_ = std::move(items);
        enabled_.assign(items_.size(), Unknown);
        endResetModel();
    }

    const std::vector<std::shared_ptr<MenuItem>>& items() const { return items_; }
    void setValidator(Validator validator) { validator_ = std::move(validator); }

    void refresh(bool revalidate)
    {
        if (items_.empty())
            return;
        if (revalidate)
            std::fill(enabled_.begin(), enabled_.end(), Unknown);
        Q_EMIT dataChanged(index(0), index(rowCount() - 1));
    }

    MenuItem* itemAt(const QModelIndex& index) const
    {
        if (!index.isValid() || index.row() >= rowCount())
            return nullptr;
        return items_[static_cast<size_t>(index.row())].get();
    }

    int rowCount(const QModelIndex& parent = {}) const override
    {
        return parent.isValid() ? 0 : static_cast<int>(items_.size());
    }

    QVariant data(const QModelIndex& index, int role) const override
    {
        MenuItem* item = itemAt(index);
        if (!item)
            return {};
        if (role == Qt::DisplayRole)
            return rowTitle(*item);
        return {};
    }

    Qt::ItemFlags flags(const QModelIndex& index) const override
    {
        MenuItem* item = itemAt(index);
        if (!item)
            return Qt::NoItemFlags;
        return isEnabled(static_cast<size_t>(index.row()), *item) ? Qt::ItemIsEnabled | Qt::ItemIsSelectable
                                                                 : Qt::NoItemFlags;
    }

    bool isEnabled(size_t row, MenuItem& item) const
    {
        if (!validator_)
            return item.isEnabled();
        if (enabled_[row] == Unknown)
            enabled_[row] = validator_(item) ? Yes : No;
        return enabled_[row] == Yes;
    }

private:
    enum Validity : signed char { Unknown = -1, No = 0, Yes = 1 };
    std::vector<std::shared_ptr<MenuItem>> items_;
    mutable std::vector<signed char> enabled_;
    Validator validator_;
};

MenuItemList::MenuItemList(QWidget* parent) : QListView(parent), model_(new Model(this))
{
    setModel(model_);
    setUniformItemSizes(true);
    setMouseTracking(true);
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setFocusPolicy(Qt::StrongFocus);
}

MenuItemList::~MenuItemList() = default;

void MenuItemList::setItems(std::vector<std::shared_ptr<MenuItem>> items)
{
    model_->setItems(std::move(items));
    updateGeometry();
}

const std::vector<std::shared_ptr<MenuItem>>& MenuItemList::items() const
{
    return model_->items();
}

void MenuItemList::setValidator(Validator validator)
{
    model_->setValidator(std::move(validator));
}

void MenuItemList::refresh(bool revalidate)
{
    model_->refresh(revalidate);
}

QString MenuItemList::rowTitle(const MenuItem& item)
{
    QString title = QString(item.indentationLevel() * 4, QLatin1Char(' ')) + item.title();
    switch (item.state()) {
    case MenuItem::State::on: return QStringLiteral("✓ ") + title;
    case MenuItem::State::mixed: return QStringLiteral("– ") + title;
    case MenuItem::State::off: break;
    }
    return title;
}

QSize MenuItemList::sizeHint() const
{
    // The longest title by length stands for the widest: measuring every row would cost what
    // the list is there to save.
    const auto& items = model_->items();
    const auto longest = std::max_element(items.begin(), items.end(), [](const auto& a, const auto& b) {
        return a->title().size() + a->indentationLevel() * 4 < b->title().size() + b->indentationLevel() * 4;
    });
    const QFontMetrics metrics(font());
    const int textWidth = longest == items.end() ? 0 : metrics.horizontalAdvance(rowTitle(**longest) + QStringLiteral("  "));
    const int rows = std::clamp(static_cast<int>(items.size()), 1, visibleRows);
    const int rowHeight = std::max(sizeHintForRow(0), metrics.height() + 4);
    const int scrollWidth = static_cast<int>(items.size()) > visibleRows ? verticalScrollBar()->sizeHint().width() : 0;
    return QSize(std::min(textWidth + scrollWidth + 16, 900), rows * rowHeight + 2 * frameWidth());
}

void MenuItemList::mouseMoveEvent(QMouseEvent* event)
{
    // Rows follow the pointer, as menu items do.
    const QModelIndex under = indexAt(event->position().toPoint());
    if (under.isValid() && under != currentIndex())
        setCurrentIndex(under);
    QListView::mouseMoveEvent(event);
}

void MenuItemList::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        const QModelIndex under = indexAt(event->position().toPoint());
        if (under.isValid()) {
            choose(under);
            return;
        }
    }
    QListView::mouseReleaseEvent(event);
}

void MenuItemList::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        choose(currentIndex());
        return;
    }
    QListView::keyPressEvent(event);
}

void MenuItemList::choose(const QModelIndex& index)
{
    if (!(model_->flags(index) & Qt::ItemIsEnabled))
        return;
    if (model_->itemAt(index))
        Q_EMIT chosen(index.row());
}

}  // namespace korimado
