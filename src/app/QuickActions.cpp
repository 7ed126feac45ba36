#include "app/QuickActions.h"

#include "platform/ui/ActionDispatcher.h"
#include "platform/ui/MenuBinder.h"
#include "platform/ui/MenuModel.h"
#include "platform/ui/ToolWindow.h"
#include "platform/ui/WindowTracker.h"

#include <QHBoxLayout>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace korimado {

QuickActions::QuickActions() : panel_(std::make_unique<QWidget>(nullptr, Qt::Tool))
{
    QWidget* panel = panel_.get();
    panel->setWindowTitle(QStringLiteral("クイックアクション"));
    panel->resize(640, 390);
    WindowTracker::shared().setCanBecomeMain(panel, false);
    ToolWindow::closeOnEscape(panel);

    field_ = new QLineEdit(panel);
    field_->setPlaceholderText(QStringLiteral("実行する操作を検索"));
    field_->setAccessibleName(QStringLiteral("操作名の検索"));
    table_ = new QListWidget(panel);
    table_->setTextElideMode(Qt::ElideMiddle);
    table_->setUniformItemSizes(true);
    table_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    run_ = new QPushButton(QStringLiteral("実行"), panel);
    run_->setDefault(true);

    auto* layout = new QVBoxLayout(panel);
    layout->setContentsMargins(16, 16, 16, 12);
    layout->setSpacing(12);
    layout->addWidget(field_);
    layout->addWidget(table_, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(run_);
    layout->addLayout(buttons);

    connect(field_, &QLineEdit::textChanged, this, [this] { filter(); });
    connect(field_, &QLineEdit::returnPressed, this, [this] { runSelection(); });
    connect(table_, &QListWidget::itemDoubleClicked, this, [this] { runSelection(); });
    connect(run_, &QPushButton::clicked, this, [this] { runSelection(); });
}

QuickActions::~QuickActions() = default;

void QuickActions::collect(const MenuModel& menu, const QString& prefix, QWidget* window)
{
    ActionDispatcher& dispatcher = MenuBinder::shared().dispatcher();
    for (const std::shared_ptr<MenuItem>& item : menu.items()) {
        if (item->isSeparatorItem() || item->isHidden()) continue;
        const QString path = prefix.isEmpty() ? item->title() : prefix + separator + item->title();
        if (MenuModel* submenu = item->submenu()) {
            collect(*submenu, path, window);
            continue;
        }
        if (item->action().isEmpty()) continue;
        const bool enabled = menu.autoenablesItems() ? dispatcher.validateItem(*item, window) : item->isEnabled();
        if (enabled) items_.emplace_back(path, item);
    }
}

void QuickActions::show()
{
    items_.clear();
    WindowTracker& tracker = WindowTracker::shared();
    QWidget* window = tracker.keyWindow() && tracker.keyWindow() != panel_.get() ? tracker.keyWindow()
                                                                                  : tracker.mainWindow();
    if (MenuModel* main = MenuBinder::shared().mainMenu()) collect(*main, QString(), window);
    field_->clear();
    filter();
    // A palette of the document window the user works in: it opens over it and goes with it.
    QWidget* owner = tracker.mainWindow() ? tracker.mainWindow() : window;
    ToolWindow::present(panel_.get(), owner, ToolWindow::Lifetime::shared, ToolWindow::Placement::centred);
    field_->setFocus(Qt::OtherFocusReason);
}

void QuickActions::filter()
{
    const QString query = field_->text();
    filtered_.clear();
    for (const Entry& entry : items_)
        if (query.isEmpty() || entry.first.contains(query, Qt::CaseInsensitive)) filtered_.push_back(entry);
    table_->clear();
    for (const Entry& entry : filtered_) {
        auto* row = new QListWidgetItem(entry.first, table_);
        row->setSizeHint(QSize(610, 30));
    }
    if (!filtered_.empty()) table_->setCurrentRow(0);
}

QStringList QuickActions::filteredTitles() const
{
    QStringList titles;
    for (const Entry& entry : filtered_) titles.append(entry.first);
    return titles;
}

void QuickActions::runSelection()
{
    const int row = table_->currentRow();
    if (row < 0 || static_cast<size_t>(row) >= filtered_.size()) return;
    const std::shared_ptr<MenuItem> item = filtered_[static_cast<size_t>(row)].second;
    if (!item || item->action().isEmpty()) return;
    panel_->hide();
    WindowTracker& tracker = WindowTracker::shared();
    QWidget* main = tracker.mainWindow();
    if (main) tracker.makeKeyAndOrderFront(main);
    MenuBinder::shared().dispatcher().sendAction(item->action(), item->target(), item.get(), main);
}

}  // namespace korimado
