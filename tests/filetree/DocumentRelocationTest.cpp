#include "document/KoriDocument.h"
#include "filetree/DocumentRelocation.h"
#include "filetree/WorkspaceFileOperations.h"
#include "platform/documents/DocumentController.h"
#include "platform/documents/FileManager.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/text/TextStorage.h"
#include "platform/ui/ScriptedAlertPresenter.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <QTest>

using namespace korimado;
using korimado::test::TempDir;

namespace {

class TextController : public DocumentController {
public:
    using DocumentController::DocumentController;
    QString defaultType() const override { return KoriDocument::plainTextType; }
    std::unique_ptr<Document> makeDocument(const QString&) override { return std::make_unique<KoriDocument>(); }
};

struct Fixture {
    TempDir dir;
    QString root = dir.file("w");
    UserDefaults defaults;
    ScriptedAlertPresenter alerts;
    TextController controller{&defaults};
    WorkspaceFileOperations operations{FileManager::defaultManager()};
    Fixture() { controller.setAlertPresenter(&alerts); }

    KoriDocument* open(const QString& relative, const QByteArray& bytes)
    {
        const QString path = dir.write("w/" + relative, bytes);
        Document* opened = nullptr;
        controller.openDocument(path, false, [&](Document* document, bool, std::optional<ErrorInfo>) { opened = document; });
        return qobject_cast<KoriDocument*>(opened);
    }
};

}  // namespace

TEST(DocumentRelocation, DocumentsUnderAMovedFolderFollowItWithTheirEditsWhileLookAlikesStay)
{
    Fixture f;
    KoriDocument* inside = f.open("src/a/b.txt", "before\n");
    KoriDocument* lookAlike = f.open("srcx/c.txt", "c\n");
    KoriDocument* folderItself = f.open("src", QByteArray());  // not openable as text: stays absent
    ASSERT_NE(inside, nullptr);
    ASSERT_NE(lookAlike, nullptr);
    EXPECT_EQ(folderItself, nullptr);

    inside->storage().replaceCharacters(TextRange{0, 6}, QStringLiteral("edited"));
    inside->updateChangeCount(Document::ChangeType::done);
    ASSERT_TRUE(inside->isDocumentEdited());
    EXPECT_EQ(DocumentRelocation::openDocuments(f.root + "/src/", &f.controller), std::vector<Document*>{inside});
    EXPECT_TRUE(DocumentRelocation::openDocuments(f.root + "/sr", &f.controller).empty());

    const QString moved = f.operations.move(f.root + "/src", f.root, QStringLiteral("lib"), f.root);
    DocumentRelocation::relocate(f.root + "/src", moved, &f.controller);
    EXPECT_EQ(inside->fileURL(), f.root + "/lib/a/b.txt");
    EXPECT_EQ(lookAlike->fileURL(), f.root + "/srcx/c.txt");
    EXPECT_EQ(f.controller.documentForURL(f.root + "/lib/a/b.txt"), inside);
    EXPECT_TRUE(inside->isDocumentEdited()) << "the unsaved edit stays";
    EXPECT_EQ(inside->string(), QStringLiteral("edited\n"));

    // Saving writes the new place; the moved file is the one it read, so nothing is refused.
    ErrorInfo error;
    ASSERT_TRUE(inside->saveToURL(inside->fileURL(), KoriDocument::plainTextType, Document::SaveOperation::save, &error))
        << error.debugDescription().toStdString();
    EXPECT_EQ(test::readFile(f.root + "/lib/a/b.txt"), "edited\n");
    EXPECT_FALSE(QFileInfo::exists(f.root + "/src/a/b.txt"));
}

TEST(DocumentRelocation, ARenamedOpenFileIsWatchedAtItsNewPlace)
{
    Fixture f;
    KoriDocument* document = f.open("note.txt", "one\n");
    ASSERT_NE(document, nullptr);
    const QString renamed = f.operations.move(f.root + "/note.txt", f.root, QStringLiteral("メモ.txt"), f.root);
    DocumentRelocation::relocate(f.root + "/note.txt", renamed, &f.controller);
    EXPECT_EQ(document->fileURL(), renamed);
    EXPECT_EQ(document->monitoredURL(), renamed);
    QTest::qWait(400);
    EXPECT_FALSE(document->hasExternalChanges()) << "the move itself is not a change by another program";
    EXPECT_EQ(document->string(), QStringLiteral("one\n"));

    f.dir.write("w/メモ.txt", "two\n");
    ASSERT_TRUE(QTest::qWaitFor([&] { return document->string() == QStringLiteral("two\n"); }, 3000))
        << "an unedited document reloads what another program wrote at the new place";
}
