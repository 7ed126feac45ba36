#include "preview/PreviewResourceLocator.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

using namespace korimado;

namespace {

QUrl preview(const QString& path)
{
    return QUrl(QStringLiteral("kori-preview://local/") + path);
}

bool served(const QUrl& url, const std::optional<QString>& root)
{
    return std::holds_alternative<PreviewResourceLocator::Resource>(PreviewResourceLocator::load(url, root));
}

}  // namespace

TEST(PreviewResourceLocator, ServesOnlyInsideTheFolder)
{
    test::TempDir dir;
    dir.write(QStringLiteral("doc/style.css"), "p{}");
    dir.write(QStringLiteral("doc/sub/pic.png"), "png");
    dir.write(QStringLiteral("doc/with blank.css"), "x");
    dir.write(QStringLiteral("secret.css"), "secret");
    const auto root = PreviewResourceLocator::standardizedRoot(dir.path() + QStringLiteral("/doc/"));
    ASSERT_TRUE(root);

    EXPECT_TRUE(served(preview(QStringLiteral("style.css")), root));
    EXPECT_TRUE(served(preview(QStringLiteral("sub/../style.css")), root)) << "down and back up";
    EXPECT_TRUE(served(preview(QStringLiteral("with%20blank.css")), root));
    EXPECT_FALSE(served(preview(QStringLiteral("../secret.css")), root));
    EXPECT_FALSE(served(preview(QStringLiteral("sub/../../secret.css")), root));
    EXPECT_FALSE(served(preview(QStringLiteral("%2E%2E/secret.css")), root)) << "dots escaped";
    EXPECT_FALSE(served(preview(QStringLiteral("..%2Fsecret.css")), root)) << "a slash escaped";
    EXPECT_FALSE(served(preview(dir.path() + QStringLiteral("/secret.css")), root)) << "an absolute path is under the root";
    EXPECT_FALSE(served(preview(QStringLiteral("style.css%00.png")), root));
    EXPECT_FALSE(served(preview(QString()), root)) << "the folder itself";
    EXPECT_FALSE(served(preview(QStringLiteral("sub")), root));
    EXPECT_FALSE(served(QUrl(QStringLiteral("kori-preview://other/style.css")), root));
    EXPECT_FALSE(served(QUrl(QStringLiteral("file://") + dir.path() + QStringLiteral("/doc/style.css")), root));
    EXPECT_FALSE(served(preview(QStringLiteral("style.css")), std::nullopt)) << "an untitled document";

    const auto failure = std::get<PreviewResourceLocator::Failure>(
        PreviewResourceLocator::load(preview(QStringLiteral("../secret.css")), root));
    EXPECT_TRUE(failure.refused);
    EXPECT_EQ(failure.message, QStringLiteral("このプレビューから読み込めないファイルです。"));
}

TEST(PreviewResourceLocator, SymbolicLinksResolveBeforeTheCheck)
{
    test::TempDir dir;
    dir.write(QStringLiteral("doc/inside.css"), "in");
    dir.write(QStringLiteral("outside/out.css"), "out");
    const QString doc = dir.path() + QStringLiteral("/doc");
    ASSERT_TRUE(QFile::link(dir.path() + QStringLiteral("/outside/out.css"), doc + QStringLiteral("/escape.css")));
    ASSERT_TRUE(QFile::link(dir.path() + QStringLiteral("/outside"), doc + QStringLiteral("/folder")));
    ASSERT_TRUE(QFile::link(doc + QStringLiteral("/inside.css"), doc + QStringLiteral("/alias.css")));
    // The document reached through a link to its folder still serves its own files.
    ASSERT_TRUE(QFile::link(doc, dir.path() + QStringLiteral("/linked")));
    const auto root = PreviewResourceLocator::standardizedRoot(dir.path() + QStringLiteral("/linked"));

    EXPECT_TRUE(served(preview(QStringLiteral("inside.css")), root));
    EXPECT_TRUE(served(preview(QStringLiteral("alias.css")), root)) << "a link that stays inside";
    EXPECT_FALSE(served(preview(QStringLiteral("escape.css")), root));
    EXPECT_FALSE(served(preview(QStringLiteral("folder/out.css")), root));
}

TEST(PreviewResourceLocator, ExtensionsSizesAndTypes)
{
    test::TempDir dir;
    dir.write(QStringLiteral("PIC.PNG"), "png");
    dir.write(QStringLiteral("page.html"), "<p>");
    dir.write(QStringLiteral("code.js"), "x()");
    dir.write(QStringLiteral("font.woff2"), "w");
    const auto root = PreviewResourceLocator::standardizedRoot(dir.path());

    const auto png = std::get<PreviewResourceLocator::Resource>(PreviewResourceLocator::load(preview(QStringLiteral("PIC.PNG")), root));
    EXPECT_EQ(png.data, "png");
    EXPECT_EQ(png.mimeType, "image/png") << "looked up with the extension as written";
    EXPECT_FALSE(served(preview(QStringLiteral("page.html")), root));
    EXPECT_FALSE(served(preview(QStringLiteral("code.js")), root));
    EXPECT_TRUE(served(preview(QStringLiteral("font.woff2")), root));
    EXPECT_EQ(PreviewResourceLocator::mimeType(QStringLiteral("a.css")), "text/css");
    EXPECT_EQ(PreviewResourceLocator::mimeType(QStringLiteral("a.nothing")), "application/octet-stream");

    // Sparse files: the size is what counts, not what is on disk.
    for (const auto& [name, size] : {std::pair{QStringLiteral("exact.mp4"), PreviewResourceLocator::maximumSize},
                                     std::pair{QStringLiteral("over.mp4"), PreviewResourceLocator::maximumSize + 1}}) {
        QFile file(dir.file(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_TRUE(file.resize(size));
    }
    const auto exact = PreviewResourceLocator::load(preview(QStringLiteral("exact.mp4")), root);
    ASSERT_TRUE(std::holds_alternative<PreviewResourceLocator::Resource>(exact));
    EXPECT_EQ(std::get<PreviewResourceLocator::Resource>(exact).data.size(), PreviewResourceLocator::maximumSize);
    EXPECT_FALSE(served(preview(QStringLiteral("over.mp4")), root));
}
