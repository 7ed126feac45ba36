#include "platform/ui/WindowSheet.h"

#include "platform/documents/Document.h"
#include "platform/documents/DocumentController.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/ui/ScriptedAlertPresenter.h"
#include "platform/ui/ScriptedFilePanels.h"
#include "platform/ui/WindowController.h"

#include <QDialog>
#include <QPushButton>
#include <QWidget>

#include <gtest/gtest.h>

#include <memory>

using namespace korimado;

namespace {

QDialog* modalDialog(QWidget* parent, Qt::WindowModality modality)
{
    auto* dialog = new QDialog(parent);
    dialog->setWindowModality(modality);
    return dialog;
}

class ShownWindow : public WindowController {
public:
    explicit ShownWindow(QWidget* window) : window_(window) {}
    QWidget* windowForSheet() const override { return window_; }

private:
    QWidget* window_;
};

class PlainController : public DocumentController {
public:
    using DocumentController::DocumentController;
    QString defaultType() const override { return "public.plain-text"; }
    std::unique_ptr<Document> makeDocument(const QString&) override { return std::make_unique<Document>(); }
};

}  // namespace

// A window's sheet is a modal dialog on screen that belongs to it; anything else is not: a
// dialog that is not modal, one not shown, one of another window, a question asked over the sheet.
TEST(DocumentSheetTest, OnlyAShownModalDialogOfTheWindowIsItsSheet)
{
    auto window = std::make_unique<QWidget>();
    auto other = std::make_unique<QWidget>();
    window->show();
    other->show();
    EXPECT_EQ(WindowSheet::attached(window.get()), nullptr);
    EXPECT_EQ(WindowSheet::attached(nullptr), nullptr);

    QDialog* modeless = modalDialog(window.get(), Qt::NonModal);
    modeless->show();
    EXPECT_EQ(WindowSheet::attached(window.get()), nullptr);

    QDialog* hidden = modalDialog(window.get(), Qt::WindowModal);
    EXPECT_EQ(WindowSheet::attached(window.get()), nullptr);

    QDialog* ofOther = modalDialog(other.get(), Qt::WindowModal);
    ofOther->show();
    EXPECT_EQ(WindowSheet::attached(window.get()), nullptr);
    EXPECT_EQ(WindowSheet::attached(other.get()), ofOther);

    // A panel asked from a control inside the window belongs to the window all the same.
    auto* button = new QPushButton(window.get());
    QDialog* sheet = modalDialog(button, Qt::ApplicationModal);
    sheet->show();
    EXPECT_EQ(WindowSheet::attached(window.get()), sheet);
    QDialog* overSheet = modalDialog(sheet, Qt::WindowModal);
    overSheet->show();
    EXPECT_EQ(WindowSheet::attached(window.get()), sheet);
    EXPECT_EQ(WindowSheet::attached(sheet), overSheet);

    sheet->hide();
    EXPECT_EQ(WindowSheet::attached(window.get()), nullptr);
    delete hidden;
}

// Asked about one document while another window is active, the question must stand on the
// document's own window, or the user answers it for the wrong document.
TEST(DocumentSheetTest, ADocumentAsksItsQuestionsOnItsOwnWindow)
{
    UserDefaults defaults;
    ScriptedAlertPresenter alerts;
    ScriptedFilePanels panels;
    PlainController controller(&defaults);
    controller.setAlertPresenter(&alerts);
    controller.setFilePanels(&panels);
    QWidget window;
    Document* document = controller.addDocument(std::make_unique<Document>());
    document->addWindowController(std::make_unique<ShownWindow>(&window));
    document->updateChangeCount(Document::ChangeType::done);

    alerts.enqueueAnswer(1);  // キャンセル
    EXPECT_FALSE(document->canClose());
    ASSERT_EQ(alerts.shown().size(), 1);
    EXPECT_EQ(alerts.shown().front().parent, &window);
    EXPECT_FALSE(document->saveDocumentAs());  // the panel is cancelled
    ASSERT_EQ(panels.savePanels().size(), 1);
    EXPECT_EQ(panels.savePanels().front().parent, &window);
    document->updateChangeCount(Document::ChangeType::cleared);
}
