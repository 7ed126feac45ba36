#include "platform/foundation/Bundle.h"
#include "support/TestSupport.h"
#include "theme/EditorThemeError.h"
#include "theme/EditorThemeStore.h"
#include "theme/ThemeTestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <thread>

namespace korimado {
namespace {

using test::themeBytes;
using test::themeObject;

// A theme whose keyword colour tells two versions of one file apart.
QByteArray versioned(const QString& name, const QString& keywords)
{
    QJsonObject object = themeObject(name);
    object.insert("keywords", QJsonObject{{"color", keywords}});
    return themeBytes(object);
}

QString failure(const std::function<void()>& action)
{
    try {
        action();
        return {};
    } catch (const EditorThemeError& error) {
        return error.localizedDescription();
    }
}

// Gives a file a fixed modification time so that rewrites look unchanged to the cache.
void setModificationTime(const QString& path, time_t seconds)
{
    const struct timespec times[2] = {{seconds, 0}, {seconds, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0), 0);
}

class EditorThemeStoreTest : public ::testing::Test {
protected:
    test::TempDir dir;
    EditorThemeStore store{dir.file("bundled"), dir.file("user/Korimado/Themes")};

    QString bundled(const QString& file, const QByteArray& bytes) const { return dir.write("bundled/" + file, bytes); }
    QString user(const QString& file, const QByteArray& bytes) const
    {
        return dir.write("user/Korimado/Themes/" + file, bytes);
    }
};

TEST_F(EditorThemeStoreTest, UserThemesReplaceBundledOnesOfTheSameName)
{
    bundled("Classic.cottheme", versioned("Classic", "#111111"));
    bundled("Dusk.cottheme", themeBytes(QStringLiteral("Dusk")));
    // Named inside the file, not by the file: this replaces the bundled "Classic" too.
    const QString mine = user("my-classic.cottheme", versioned("Classic", "#222222"));

    const std::vector<EditorThemeDescriptor> themes = store.availableThemes();
    ASSERT_EQ(themes.size(), 2u);
    EXPECT_EQ(themes[0], (EditorThemeDescriptor{"Classic", mine, false}));
    EXPECT_EQ(themes[1].name, "Dusk");
    EXPECT_TRUE(themes[1].isBundled);
    EXPECT_EQ(store.theme("Classic").colorValues.value("keywords").hex, "#222222");
}

TEST_F(EditorThemeStoreTest, ListsLoadableThemeFilesSortedLikeAFileBrowser)
{
    bundled("Theme 10.cottheme", themeBytes(QString()));
    bundled("Theme 2.COTTHEME", themeBytes(QString()));
    bundled("beta.cottheme", themeBytes(QStringLiteral("Beta")));
    bundled("Alpha.cottheme", themeBytes(QStringLiteral("Alpha")));
    bundled(".Hidden.cottheme", themeBytes(QStringLiteral("Hidden")));
    bundled("notes.json", themeBytes(QStringLiteral("Notes")));
    QJsonObject broken = themeObject(QStringLiteral("Broken"));
    broken.insert("keywords", QJsonObject{{"color", "#12"}});
    bundled("Broken.cottheme", themeBytes(broken));
    user("Unreadable.cottheme", "{");
    QDir().mkpath(dir.file("bundled/Folder.cottheme"));

    EXPECT_EQ(store.availableThemeNames(), QStringList({"Alpha", "Beta", "Theme 2", "Theme 10"}));
    EXPECT_EQ(failure([&] { store.theme("Broken"); }), QStringLiteral("テーマ「Broken」が見つかりません。"));
    EXPECT_EQ(failure([&] { store.theme("alpha"); }), QStringLiteral("テーマ「alpha」が見つかりません。"));
    EXPECT_EQ(store.theme("Theme 2").name, "Theme 2");
}

TEST_F(EditorThemeStoreTest, MissingFoldersListNothing)
{
    EXPECT_TRUE(store.availableThemes().empty());
    const EditorThemeStore noBundle(std::nullopt, dir.file("nowhere"));
    EXPECT_TRUE(noBundle.availableThemeNames().isEmpty());
    EXPECT_FALSE(QFileInfo::exists(dir.file("nowhere")));
    EXPECT_EQ(failure([&] { store.load(dir.file("bundled/None.cottheme")); }).left(13),
              QStringLiteral("テーマを読み込みできませんでした。").left(13));
}

TEST_F(EditorThemeStoreTest, InstallWritesTheReencodedThemeUnderItsOwnName)
{
    const QByteArray original = versioned("Bar", "#AbCdEf");
    const EditorTheme installed = store.installTheme(original, QStringLiteral("Foo"), false);
    EXPECT_EQ(installed.name, "Bar");
    const QString path = dir.file("user/Korimado/Themes/Bar.cottheme");
    ASSERT_TRUE(QFileInfo::exists(path));
    EXPECT_FALSE(QFileInfo::exists(dir.file("user/Korimado/Themes/Foo.cottheme")));
    EXPECT_EQ(test::readFile(path), installed.encodedData());
    EXPECT_EQ(store.theme("Bar"), installed);

    // No name inside: the fallback names the file.
    EXPECT_EQ(store.installTheme(themeBytes(QString()), QStringLiteral("Foo"), false).name, "Foo");
    EXPECT_EQ(store.availableThemeNames(), QStringList({"Bar", "Foo"}));
}

TEST_F(EditorThemeStoreTest, InstallWithoutOverwriteLeavesTheExistingFileAlone)
{
    store.installTheme(versioned("Twice", "#111111"), std::nullopt, false);
    const QString path = dir.file("user/Korimado/Themes/Twice.cottheme");
    const QByteArray first = test::readFile(path);

    EXPECT_EQ(failure([&] { store.installTheme(versioned("Twice", "#222222"), std::nullopt, false); }),
              QStringLiteral("テーマ「Twice」はすでに読み込まれています。既存のテーマは変更していません。"));
    EXPECT_EQ(test::readFile(path), first);

    // Overwriting replaces the file; the next load sees it even though the time did not move.
    setModificationTime(path, 1'000'000);
    EXPECT_EQ(store.theme("Twice").colorValues.value("keywords").hex, "#111111");
    store.installTheme(versioned("Twice", "#333333"), std::nullopt, true);
    setModificationTime(path, 1'000'000);
    EXPECT_EQ(store.theme("Twice").colorValues.value("keywords").hex, "#333333");
    EXPECT_EQ(QDir(dir.file("user/Korimado/Themes")).entryList(QDir::Files | QDir::Hidden).size(), 1)
        << "no temporary files left behind";
}

// An archive's theme installs over whatever has its name in the user folder: a link planted
// there is replaced, and the file it leads to stays as it was.
TEST_F(EditorThemeStoreTest, OverwritingReplacesALinkInsteadOfWritingThroughIt)
{
    const QString outside = dir.write("outside/keep.txt", "keep");
    QDir().mkpath(dir.file("user/Korimado/Themes"));
    const QString path = dir.file("user/Korimado/Themes/Linked.cottheme");
    ASSERT_TRUE(QFile::link(outside, path));
    const QString dangling = dir.file("user/Korimado/Themes/Dangling.cottheme");
    ASSERT_EQ(::symlink(QFile::encodeName(dir.file("outside/new.txt")).constData(), QFile::encodeName(dangling).constData()), 0);

    store.installTheme(themeBytes("Linked"), std::nullopt, true);
    store.installTheme(themeBytes("Dangling"), std::nullopt, true);
    EXPECT_EQ(test::readFile(outside), QByteArray("keep"));
    EXPECT_FALSE(QFileInfo::exists(dir.file("outside/new.txt")));
    EXPECT_FALSE(QFileInfo(path).isSymLink());
    EXPECT_FALSE(QFileInfo(dangling).isSymLink());
    EXPECT_EQ(store.theme("Linked").name, "Linked");
    EXPECT_EQ(store.theme("Dangling").name, "Dangling");
    EXPECT_EQ(QDir(dir.file("user/Korimado/Themes")).entryList(QDir::Files | QDir::Hidden | QDir::System).size(), 2);
}

TEST_F(EditorThemeStoreTest, InstallOfABadFileLeavesNothingBehind)
{
    const QStringList expected = {
        QStringLiteral("テーマを読み込めません。.cottheme形式のJSONファイルを選んでください。"),
        QStringLiteral("テーマの形式が正しくありません。「background」がありません。"),
        QStringLiteral("テーマの形式が正しくありません。nameがありません。"),
    };
    const QByteArray inputs[] = {"{\"name\": ", "{\"name\": \"Empty\"}", themeBytes(QString())};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(failure([&] { store.installTheme(inputs[i], std::nullopt, true); }), expected[i]);
    }
    EXPECT_FALSE(QFileInfo::exists(dir.file("user"))) << "the user folder is made only for a valid theme";
}

TEST_F(EditorThemeStoreTest, InstallReportsAFolderThatCannotBeMade)
{
    dir.write("user/Korimado", "a file where the folder should be");
    const QString message = failure([&] { store.installTheme(themeBytes(), std::nullopt, false); });
    EXPECT_TRUE(message.startsWith(QStringLiteral("テーマを保存できませんでした。"))) << message.toStdString();
}

TEST_F(EditorThemeStoreTest, NamesThatWouldInstallAsHiddenFilesAreRefused)
{
    // Such a file would never be listed: the theme would be installed and lost.
    for (const QString& name : {QStringLiteral(".dot"), QStringLiteral("  .dot"), QStringLiteral("..")}) {
        try {
            store.installTheme(themeBytes(name), std::nullopt, false);
            ADD_FAILURE() << name.toStdString();
        } catch (const EditorThemeError& error) {
            EXPECT_EQ(QString::fromUtf8(error.what()), "テーマの形式が正しくありません。nameに使用できない文字があります。");
        }
    }
    EXPECT_TRUE(QDir(dir.file("user/Korimado/Themes")).entryList(QDir::Files | QDir::Hidden).isEmpty());
    // A hidden file put there by other means is still not listed.
    dir.write("user/Korimado/Themes/.dot.cottheme", themeBytes(QStringLiteral("Visible")));
    EXPECT_TRUE(store.availableThemeNames().isEmpty());
}

TEST_F(EditorThemeStoreTest, CacheParsesAFileAgainOnlyWhenItChanged)
{
    const QString path = bundled("Cached.cottheme", versioned("Cached", "#111111"));
    setModificationTime(path, 2'000'000);
    EXPECT_EQ(store.load(path).colorValues.value("keywords").hex, "#111111");

    // Same time, new content: the cached theme stands.
    dir.write("bundled/Cached.cottheme", versioned("Cached", "#222222"));
    setModificationTime(path, 2'000'000);
    EXPECT_EQ(store.load(dir.file("bundled/./Cached.cottheme")).colorValues.value("keywords").hex, "#111111");

    setModificationTime(path, 2'000'001);
    EXPECT_EQ(store.theme("Cached").colorValues.value("keywords").hex, "#222222");

    dir.write("bundled/Cached.cottheme", versioned("Cached", "#333333"));
    setModificationTime(path, 2'000'001);
    store.invalidate(path);
    EXPECT_EQ(store.load(path).colorValues.value("keywords").hex, "#333333");
    dir.write("bundled/Cached.cottheme", versioned("Cached", "#444444"));
    setModificationTime(path, 2'000'001);
    store.invalidate();
    EXPECT_EQ(store.load(path).colorValues.value("keywords").hex, "#444444");
}

TEST_F(EditorThemeStoreTest, ExportWritesTheThemeAndReportsWhereItCannot)
{
    const EditorTheme theme(versioned("Out", "#0a0b0c"));
    const QString target = dir.file("Out.cottheme");
    dir.write("Out.cottheme", "old contents");
    store.exportTheme(theme, target);
    EXPECT_EQ(EditorTheme(test::readFile(target)), theme);

    const QString message = failure([&] { store.exportTheme(theme, dir.file("missing/Out.cottheme")); });
    EXPECT_TRUE(message.startsWith(QStringLiteral("テーマを書き出しできませんでした。"))) << message.toStdString();
    EXPECT_GT(message.size(), QStringLiteral("テーマを書き出しできませんでした。").size());
}

TEST_F(EditorThemeStoreTest, LoadsAndInvalidatesSafelyFromSeveralThreads)
{
    for (int i = 0; i < 8; ++i) bundled(QStringLiteral("T%1.cottheme").arg(i), themeBytes(QStringLiteral("T%1").arg(i)));
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int round = 0; round < 30; ++round) {
                if (t == 0) store.invalidate();
                if (store.availableThemeNames().size() != 8) ++failures;
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(failures.load(), 0);
}

TEST(EditorThemeStoreDefaultsTest, UsesTheDataFolderWithoutCreatingTheThemesFolder)
{
    const EditorThemeStore store(Bundle(QStringLiteral("/nonexistent/resources")));
    EXPECT_EQ(store.bundledDirectory(), std::optional<QString>("/nonexistent/resources/Themes"));
    EXPECT_EQ(store.userDirectory(), test::testDataHome() + "/Korimado/Themes");
    EXPECT_FALSE(QFileInfo::exists(store.userDirectory()));
    EXPECT_EQ(&EditorThemeStore::shared(), &EditorThemeStore::shared());
}

}  // namespace
}  // namespace korimado
