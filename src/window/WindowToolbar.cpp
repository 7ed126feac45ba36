#include "window/WindowToolbar.h"

#include "window/SegmentedControl.h"

#include <QAction>
#include <QCheckBox>
#include <QMainWindow>
#include <QStyle>
#include <QToolBar>
#include <QToolButton>

namespace korimado {

namespace {

const QString treeItem = QStringLiteral("tree");
const QString folderItem = QStringLiteral("folder");
const QString modeItem = QStringLiteral("mode");
const QString wrapItem = QStringLiteral("wrap");
const QString settingsItem = QStringLiteral("settings");
const QString flexibleSpaceItem = QStringLiteral("flexibleSpace");
const QString spaceItem = QStringLiteral("space");

}  // namespace

WindowToolbar::WindowToolbar(QMainWindow& window, Actions actions, QObject* parent)
    : QObject(parent), window_(&window), actions_(std::move(actions))
{
    modePicker_ = new SegmentedControl({QStringLiteral("原案"), QStringLiteral("2カラム"), QStringLiteral("プレビュー")});
    modePicker_->setSelectedSegment(0);
    modePicker_->setAccessibleName(QStringLiteral("表示モード"));
    connect(modePicker_, &SegmentedControl::segmentClicked, this, &WindowToolbar::modeClicked);
    wrap_ = new QCheckBox(QStringLiteral("折り返す"));
    connect(wrap_, &QCheckBox::clicked, this, &WindowToolbar::wrapClicked);

    toolbar_ = new QToolBar;
    toolbar_->setObjectName(identifier);
    toolbar_->setToolButtonStyle(Qt::ToolButtonIconOnly);
    toolbar_->setMovable(false);
    toolbar_->setFloatable(false);
    for (const QString& each : defaultItemIdentifiers()) {
        if (QWidget* widget = item(each)) {
            QAction* action = toolbar_->addWidget(widget);
            action->setObjectName(each);
        }
    }
    window_->addToolBar(Qt::TopToolBarArea, toolbar_);
}

QStringList WindowToolbar::defaultItemIdentifiers()
{
    return {treeItem, folderItem, flexibleSpaceItem, modeItem, wrapItem, settingsItem};
}

QStringList WindowToolbar::allowedItemIdentifiers()
{
    return defaultItemIdentifiers() << spaceItem;
}

QWidget* WindowToolbar::item(const QString& identifier)
{
    auto symbolButton = [this](const QString& label, QStyle::StandardPixmap icon, const QString& description,
                               const std::function<void()>& action) {
        auto* button = new QToolButton;
        button->setIcon(window_->style()->standardIcon(icon));
        button->setText(label);
        button->setToolTip(label);
        button->setAccessibleName(description);
        button->setToolButtonStyle(Qt::ToolButtonIconOnly);
        button->setObjectName(label);
        connect(button, &QToolButton::clicked, this, [action] {
            if (action) action();
        });
        return static_cast<QWidget*>(button);
    };
    if (identifier == treeItem) {
        return symbolButton(QStringLiteral("サイドバー"), QStyle::SP_FileDialogListView,
                            QStringLiteral("サイドバーを表示／隠す"), actions_.toggleFileTree);
    }
    if (identifier == folderItem) {
        return symbolButton(QStringLiteral("フォルダを開く"), QStyle::SP_DirOpenIcon, QStringLiteral("フォルダを開く"),
                            actions_.openFolder);
    }
    if (identifier == settingsItem) {
        return symbolButton(QStringLiteral("設定"), QStyle::SP_FileDialogDetailedView, QStringLiteral("設定"),
                            actions_.showSettings);
    }
    if (identifier == modeItem) {
        modePicker_->setToolTip(QStringLiteral("表示モード"));
        return modePicker_;
    }
    if (identifier == wrapItem) {
        wrap_->setToolTip(QStringLiteral("行の折り返し"));
        return wrap_;
    }
    if (identifier == flexibleSpaceItem) {
        auto* spacer = new QWidget;
        spacer->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
        return spacer;
    }
    if (identifier == spaceItem) {
        auto* spacer = new QWidget;
        spacer->setFixedWidth(16);
        return spacer;
    }
    return nullptr;
}

}  // namespace korimado
