#include "platform/ui/QtFilePanels.h"

#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>

namespace korimado {

namespace {

// A file dialog that treats package folders as items, can take a folder itself when confirmed,
// and asks in Japanese before a save replaces something.
class PanelDialog : public QFileDialog {
public:
    PanelDialog(QWidget* parent, QStringList packageExtensions)
        : QFileDialog(parent), packageExtensions_(std::move(packageExtensions))
    {
        setOption(QFileDialog::DontUseNativeDialog);
        // A double-click enters a folder: a package is picked instead.
        connect(this, &QFileDialog::directoryEntered, this, [this](const QString& folder) {
            if (!isPackage(folder)) return;
            setDirectory(QFileInfo(folder).absolutePath());
            pick(folder);
        });
    }

    bool acceptFolders = false;
    QString picked() const { return picked_; }

protected:
    void accept() override
    {
        const QString chosen = selectedFiles().value(0);
        if (!chosen.isEmpty() && isPackage(chosen)) {
            pick(chosen);
            return;
        }
        const QFileInfo info(chosen);
        if (acceptMode() == QFileDialog::AcceptSave && !chosen.isEmpty() && (info.exists() || info.isSymLink())
            && !info.isDir()) {
            pick(chosen);
            return;
        }
        if (acceptFolders && !chosen.isEmpty() && info.isDir() && chosen != directory().absolutePath()) {
            picked_ = chosen;
            done(QDialog::Accepted);
            return;
        }
        QFileDialog::accept();
    }

private:
    bool isPackage(const QString& path) const
    {
        const QFileInfo info(path);
        return info.isDir() && packageExtensions_.contains(info.suffix(), Qt::CaseInsensitive);
    }

    void pick(const QString& path)
    {
        if (acceptMode() == QFileDialog::AcceptSave && !confirmReplace(path)) return;
        picked_ = path;
        done(QDialog::Accepted);
    }

    bool confirmReplace(const QString& path)
    {
        QMessageBox box(QMessageBox::Warning, windowTitle(),
                        QStringLiteral("「") + QFileInfo(path).fileName() + QStringLiteral("」はすでに存在します。置き換えますか？"),
                        QMessageBox::NoButton, this);
        QPushButton* replace = box.addButton(QStringLiteral("置き換える"), QMessageBox::AcceptRole);
        QPushButton* cancel = box.addButton(QStringLiteral("キャンセル"), QMessageBox::RejectRole);
        box.setDefaultButton(cancel);
        box.setEscapeButton(cancel);
        box.exec();
        return box.clickedButton() == replace;
    }

    QStringList packageExtensions_;
    QString picked_;
};

// The parent the panel is modal to: the requested window while it is on screen.
QWidget* modalParent(QWidget* requested)
{
    return requested && requested->isVisible() ? requested : nullptr;
}

void prepare(PanelDialog& dialog, QWidget* parent, const QString& prompt, const QString& message,
             const QString& directory, const QStringList& nameFilters)
{
    dialog.setWindowModality(parent ? Qt::WindowModal : Qt::ApplicationModal);
    if (!prompt.isEmpty()) dialog.setLabelText(QFileDialog::Accept, prompt);
    if (!message.isEmpty()) dialog.setWindowTitle(message);
    if (!directory.isEmpty()) dialog.setDirectory(directory);
    if (!nameFilters.isEmpty()) dialog.setNameFilters(nameFilters);
}

QComboBox* addAccessory(QFileDialog& dialog, const std::optional<PanelAccessory>& accessory)
{
    if (!accessory) return nullptr;
    auto* popUp = new QComboBox(&dialog);
    popUp->addItems(accessory->items);
    popUp->setCurrentIndex(accessory->selectedIndex);
    popUp->setAccessibleName(accessory->accessibilityLabel);
    popUp->setFixedSize(accessory->size);
    if (auto* grid = qobject_cast<QGridLayout*>(dialog.layout())) {
        auto* label = new QLabel(accessory->label.isEmpty() ? accessory->accessibilityLabel : accessory->label, &dialog);
        label->setBuddy(popUp);
        const int row = grid->rowCount();
        grid->addWidget(label, row, 0);
        grid->addWidget(popUp, row, 1);
    }
    return popUp;
}

}  // namespace

OpenPanelResult QtFilePanels::runOpenPanel(const OpenPanelOptions& options)
{
    QWidget* parent = modalParent(options.parent);
    PanelDialog dialog(parent ? parent : QApplication::activeWindow(), options.packageExtensions);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    if (!options.canChooseFiles && options.canChooseDirectories) {
        dialog.setFileMode(QFileDialog::Directory);
        dialog.setOption(QFileDialog::ShowDirsOnly);
    } else {
        dialog.setFileMode(options.allowsMultipleSelection ? QFileDialog::ExistingFiles : QFileDialog::ExistingFile);
        dialog.acceptFolders = options.canChooseDirectories;
    }
    prepare(dialog, parent, options.prompt, options.message, options.directory, options.nameFilters);
    QComboBox* popUp = addAccessory(dialog, options.accessory);

    OpenPanelResult result;
    if (dialog.exec() != QDialog::Accepted) return result;
    result.confirmed = true;
    result.paths = dialog.picked().isEmpty() ? dialog.selectedFiles() : QStringList{dialog.picked()};
    if (popUp) result.accessorySelection = popUp->currentIndex();
    return result;
}

SavePanelResult QtFilePanels::runSavePanel(const SavePanelOptions& options)
{
    QWidget* parent = modalParent(options.parent);
    PanelDialog dialog(parent ? parent : QApplication::activeWindow(), options.packageExtensions);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    // Replacing is confirmed by the dialog itself, in Japanese.
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    prepare(dialog, parent, options.prompt, options.message, options.directory, options.nameFilters);
    if (!options.nameFieldValue.isEmpty()) dialog.selectFile(options.nameFieldValue);
    QComboBox* popUp = addAccessory(dialog, options.accessory);

    SavePanelResult result;
    if (dialog.exec() != QDialog::Accepted) return result;
    const QString path = dialog.picked().isEmpty() ? dialog.selectedFiles().value(0) : dialog.picked();
    if (path.isEmpty()) return result;
    result.confirmed = true;
    result.path = path;
    if (popUp) result.accessorySelection = popUp->currentIndex();
    return result;
}

}  // namespace korimado
