#include "platform/documents/Document.h"
#include "platform/ui/QtAlertPresenter.h"
#include "platform/ui/WindowController.h"
#include "platform/ui/WindowSheet.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <optional>

using namespace korimado;

namespace {

class NoteDocument : public Document {
public:
    bool readFromData(const QByteArray&, const QString&, ErrorInfo*) override { return true; }
    std::optional<QByteArray> data(const QString&, ErrorInfo*) override { return QByteArray(); }
};

class SheetWindowController : public WindowController {
public:
    explicit SheetWindowController(QWidget* window) : window_(window) {}
    QWidget* windowForSheet() const override { return window_; }

private:
    QWidget* window_;
};

// Runs on the question while it is shown (the presenter waits in its own loop meanwhile).
void whileShown(std::function<void()> look)
{
    QTimer::singleShot(0, qApp, std::move(look));
}

}  // namespace

TEST(WindowSheetTest, ClosingAnEditedDocumentsWindowAsksInASheetOnThatWindow)
{
    QtAlertPresenter alerts;
    AlertPresenter* before = AlertPresenter::shared();
    AlertPresenter::setShared(&alerts);
    QWidget window;
    window.resize(400, 300);
    window.show();
    QWidget other;
    other.show();

    NoteDocument document;
    document.addWindowController(std::make_unique<SheetWindowController>(&window));
    document.updateChangeCount(Document::ChangeType::done);

    QStringList titles;
    bool attachedToOther = true;
    whileShown([&] {
        QDialog* sheet = WindowSheet::attached(&window);
        ASSERT_NE(sheet, nullptr);
        attachedToOther = WindowSheet::attached(&other) != nullptr;
        EXPECT_EQ(sheet->windowModality(), Qt::WindowModal);
        for (QAbstractButton* button : sheet->findChildren<QAbstractButton*>()) titles.append(button->text());
        for (QAbstractButton* button : sheet->findChildren<QAbstractButton*>())
            if (button->text() == QStringLiteral("キャンセル")) {
                button->click();
                break;
            }
    });
    EXPECT_FALSE(document.shouldCloseWindowController(document.windowControllers().front().get()));
    AlertPresenter::setShared(before);
    EXPECT_TRUE(titles.contains(QStringLiteral("キャンセル")));
    EXPECT_FALSE(attachedToOther);
    EXPECT_TRUE(document.isDocumentEdited()) << "cancelled: the changes stay";
    EXPECT_EQ(WindowSheet::attached(&window), nullptr) << "answered: no sheet is left";
}

TEST(WindowSheetTest, OnlyAVisibleModalDialogOwnedByTheWindowIsItsSheet)
{
    QWidget window;
    window.show();
    EXPECT_EQ(WindowSheet::attached(&window), nullptr);
    EXPECT_EQ(WindowSheet::attached(nullptr), nullptr);

    auto* modeless = new QDialog(&window);
    modeless->show();
    EXPECT_EQ(WindowSheet::attached(&window), nullptr) << "a modeless dialog is a panel, not a sheet";

    auto* inner = new QWidget(&window);
    auto* modal = new QDialog(inner);
    modal->setWindowModality(Qt::WindowModal);
    modal->show();
    EXPECT_EQ(WindowSheet::attached(&window), modal) << "owned through a widget of the window";
    modal->hide();
    EXPECT_EQ(WindowSheet::attached(&window), nullptr);
}
