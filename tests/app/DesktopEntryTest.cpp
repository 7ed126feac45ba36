#include "document/TextDocumentSupport.h"
#include "support/TestSupport.h"

#include <QFile>
#include <QMimeDatabase>
#include <QSet>

#include <gtest/gtest.h>

using namespace korimado;

namespace {

QSet<QString> listedTypes()
{
    QFile file(QStringLiteral(KORIMADO_SOURCE_RESOURCES "/desktop/app.korimado.Korimado.desktop"));
    if (!file.open(QIODevice::ReadOnly)) return {};
    for (const QByteArray& line : file.readAll().split('\n')) {
        if (!line.startsWith("MimeType=")) continue;
        const QStringList types = QString::fromUtf8(line.mid(9)).split(';', Qt::SkipEmptyParts);
        return QSet<QString>(types.begin(), types.end());
    }
    return {};
}

// A file manager offers Korimado for the types its desktop entry lists: each must be a type the
// program opens, and every type it opens by extension must be listed, or its files are not offered.
TEST(DesktopEntryTest, ListsExactlyTheTypesTheProgramOpensByName)
{
    const QSet<QString> listed = listedTypes();
    ASSERT_GT(listed.size(), 20);
    const QMimeDatabase database;
    test::TempDir dir;
    for (const QString& name : listed) {
        const QMimeType type = database.mimeTypeForName(name);
        ASSERT_TRUE(type.isValid()) << name.toStdString() << " is not a known type";
        const QString suffix = type.preferredSuffix();
        const QString file = dir.write("sample." + (suffix.isEmpty() ? QStringLiteral("txt") : suffix), "text\n");
        EXPECT_TRUE(TextDocumentSupport::canOpen(file)) << name.toStdString() << " (." << suffix.toStdString() << ")";
    }

    for (const QString& extension : TextDocumentSupport::extensions()) {
        const QMimeType type = database.mimeTypeForFile("x." + extension, QMimeDatabase::MatchExtension);
        if (type.isDefault()) continue;  // named by extension only: no type to list
        EXPECT_TRUE(listed.contains(type.name())) << "." << extension.toStdString() << " is " << type.name().toStdString();
    }
    for (const QString& name : TextDocumentSupport::filenames()) {
        const QMimeType type = database.mimeTypeForFile(name, QMimeDatabase::MatchExtension);
        if (type.isDefault()) continue;
        EXPECT_TRUE(listed.contains(type.name())) << name.toStdString() << " is " << type.name().toStdString();
    }
    EXPECT_TRUE(listed.contains(QStringLiteral("text/plain")));
}

}  // namespace
