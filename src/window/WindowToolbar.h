#pragma once

#include <QObject>
#include <QStringList>

#include <functional>

class QCheckBox;
class QMainWindow;
class QToolBar;
class QWidget;

namespace korimado {

class SegmentedControl;

// A document window's toolbar: the sidebar, open-folder and settings buttons, the mode control
// and the wrap switch, by item identifier.
class WindowToolbar : public QObject {
    Q_OBJECT

public:
    static inline const QString identifier = QStringLiteral("Korimado.main");

    struct Actions {
        std::function<void()> toggleFileTree;
        std::function<void()> openFolder;
        std::function<void()> showSettings;
    };

    WindowToolbar(QMainWindow& window, Actions actions, QObject* parent = nullptr);

    static QStringList defaultItemIdentifiers();
    static QStringList allowedItemIdentifiers();
    // The item for an identifier; nullptr for an unknown identifier.
    QWidget* item(const QString& identifier);

    QToolBar* toolbar() const { return toolbar_; }
    SegmentedControl* modePicker() const { return modePicker_; }
    QCheckBox* wrap() const { return wrap_; }

Q_SIGNALS:
    // The user chose a mode segment, or clicked the wrap switch.
    void modeClicked(int segment);
    void wrapClicked(bool on);

private:
    QMainWindow* window_;
    Actions actions_;
    QToolBar* toolbar_ = nullptr;
    SegmentedControl* modePicker_ = nullptr;
    QCheckBox* wrap_ = nullptr;
};

}  // namespace korimado
