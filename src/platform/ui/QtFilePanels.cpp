#include "platform/ui/QtFilePanels.h"

#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>

namespace korimado {

namespace {

// A dialog in file mode that also takes a folder when the folder itself is confirmed.
class FileOrFolderDialog : public QFileDialog {
public:
    using QFileDialog::QFileDialog;
    bool acceptFolders = false;

protected:
    void accept() override
    {
        if (acceptFolders) {
            const QStringList chosen = selectedFiles();
            if (!chosen.isEmpty() && QFileInfo(chosen.first()).isDir()
                && chosen.first() != directory().absolutePath()) {
                done(QDialog::Accepted);
                return;
            }
        }
        QFileDialog::accept();
    }
};

}  // namespace

OpenPanelResult QtFilePanels::runOpenPanel(const OpenPanelOptions& options)
{
    FileOrFolderDialog dialog(QApplication::activeWindow());
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    if (!options.canChooseFiles && options.canChooseDirectories) {
        dialog.setFileMode(QFileDialog::Directory);
        dialog.setOption(QFileDialog::ShowDirsOnly);
    } else {
        dialog.setFileMode(options.allowsMultipleSelection ? QFileDialog::ExistingFiles : QFileDialog::ExistingFile);
        dialog.acceptFolders = options.canChooseDirectories;
    }
    if (!options.prompt.isEmpty()) dialog.setLabelText(QFileDialog::Accept, options.prompt);
    if (!options.message.isEmpty()) dialog.setWindowTitle(options.message);
    if (!options.directory.isEmpty()) dialog.setDirectory(options.directory);
    if (!options.nameFilters.isEmpty()) dialog.setNameFilters(options.nameFilters);

    QComboBox* popUp = nullptr;
    if (options.accessory) {
        popUp = new QComboBox(&dialog);
        popUp->addItems(options.accessory->items);
        popUp->setCurrentIndex(options.accessory->selectedIndex);
        popUp->setAccessibleName(options.accessory->accessibilityLabel);
        popUp->setFixedSize(options.accessory->size);
        if (auto* grid = qobject_cast<QGridLayout*>(dialog.layout())) {
            auto* label = new QLabel(options.accessory->accessibilityLabel, &dialog);
            const int row = grid->rowCount();
            grid->addWidget(label, row, 0);
            grid->addWidget(popUp, row, 1);
        }
    }

    OpenPanelResult result;
    if (dialog.exec() != QDialog::Accepted) return result;
    result.confirmed = true;
    result.paths = dialog.selectedFiles();
    if (popUp) result.accessorySelection = popUp->currentIndex();
    return result;
}

SavePanelResult QtFilePanels::runSavePanel(const SavePanelOptions& options)
{
    QFileDialog dialog(QApplication::activeWindow());
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    if (!options.prompt.isEmpty()) dialog.setLabelText(QFileDialog::Accept, options.prompt);
    if (!options.message.isEmpty()) dialog.setWindowTitle(options.message);
    if (!options.directory.isEmpty()) dialog.setDirectory(options.directory);
    if (!options.nameFilters.isEmpty()) dialog.setNameFilters(options.nameFilters);
    if (!options.nameFieldValue.isEmpty()) dialog.selectFile(options.nameFieldValue);

    SavePanelResult result;
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return result;
    result.confirmed = true;
    result.path = dialog.selectedFiles().first();
    return result;
}

}  // namespace korimado
