#include "ArchiveTestSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace korimado;
using test::archiveError;
using Kind = SettingsArchiveError::Kind;

namespace {

// A file of that size without writing its bytes (a hole reads as zeros).
void makeSparse(const QString& path, qint64 size)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    ASSERT_TRUE(file.resize(size));
}

std::optional<SettingsArchiveError> readError(const QString& path)
{
    return archiveError([&] { SettingsArchive::read(path); });
}

}  // namespace

TEST(SettingsArchiveRead, PackageShapeAndMissingLists)
{
    test::TempDir dir;
    // The extension in capitals is still a package; a trailing slash changes nothing.
    const QString upper = test::writePackage(dir, QStringLiteral("x.COTSETTINGS"));
    EXPECT_FALSE(readError(upper));
    EXPECT_FALSE(readError(upper + QStringLiteral("/")));

    EXPECT_EQ(readError(dir.write(QStringLiteral("file.cotsettings"), "plain"))->kind(), Kind::notPackage);
    EXPECT_EQ(readError(test::writePackage(dir, QStringLiteral("other.folder")))->kind(), Kind::notPackage);
    EXPECT_EQ(readError(dir.file(QStringLiteral("none.cotsettings")))->kind(), Kind::notPackage);
    EXPECT_EQ(readError(dir.file(QStringLiteral("none.cotsettings")))->localizedDescription(),
              QStringLiteral("設定アーカイブは.cotsettings形式のフォルダではありません。"));

    dir.write(QStringLiteral("noDefaults.cotsettings/Info.plist"), test::infoPlist());
    auto error = readError(dir.file(QStringLiteral("noDefaults.cotsettings")));
    EXPECT_EQ(error->localizedDescription(), QStringLiteral("設定アーカイブに「Defaults.plist」がありません。"));

    dir.write(QStringLiteral("folderDefaults.cotsettings/Info.plist"), test::infoPlist());
    QDir().mkpath(dir.file(QStringLiteral("folderDefaults.cotsettings/Defaults.plist")));
    EXPECT_EQ(readError(dir.file(QStringLiteral("folderDefaults.cotsettings")))->detail(), QStringLiteral("Defaults.plist"));

    QDir().mkpath(dir.file(QStringLiteral("empty.cotsettings")));
    EXPECT_EQ(readError(dir.file(QStringLiteral("empty.cotsettings")))->detail(), QStringLiteral("Info.plist"));

    // A link in place of a list is not a regular file.
    const QString linked = test::writePackage(dir, QStringLiteral("linked.cotsettings"));
    QFile::remove(linked + QStringLiteral("/Defaults.plist"));
    ASSERT_TRUE(QFile::link(linked + QStringLiteral("/Info.plist"), linked + QStringLiteral("/Defaults.plist")));
    EXPECT_EQ(readError(linked)->kind(), Kind::missingFile);

    // The package itself may be reached through a link.
    ASSERT_TRUE(QFile::link(upper, dir.file(QStringLiteral("alias.cotsettings"))));
    EXPECT_FALSE(readError(dir.file(QStringLiteral("alias.cotsettings"))));
}

TEST(SettingsArchiveRead, PropertyListsAndInfoRecord)
{
    test::TempDir dir;
    const QString arrayInfo = test::writePackage(dir, QStringLiteral("a.cotsettings"), test::defaultsPlist(),
                                                 "<plist><array/></plist>");
    EXPECT_EQ(readError(arrayInfo)->localizedDescription(), QStringLiteral("設定アーカイブの「Info.plist」を読み取れません。"));
    EXPECT_EQ(readError(test::writePackage(dir, QStringLiteral("b.cotsettings"), "<plist><dict>"))->detail(),
              QStringLiteral("Defaults.plist"));

    // Binary and old text lists are read as well as XML.
    PropertyList::Dictionary defaults;
    defaults.insert(QStringLiteral("tabWidth"), 4);
    const QString binary = test::writePackage(dir, QStringLiteral("bin.cotsettings"), PropertyList::binaryData(defaults),
                                              "{ date = x; version = 7.1.2; }");
    EXPECT_EQ(readError(binary)->localizedDescription(), QStringLiteral("設定アーカイブのInfo.plistが正しくありません。dateがありません。"));
    dir.write(QStringLiteral("bin.cotsettings/Info.plist"), test::infoPlist());
    EXPECT_EQ(SettingsArchive::read(binary).defaults().value(QStringLiteral("tabWidth"))->integerValue(), 4);

    const QString versionReason = QStringLiteral("versionがセマンティックバージョンではありません。");
    int n = 0;
    for (const QString& good : {QStringLiteral("7.1.2"), QStringLiteral("7.1.2-beta.1"), QStringLiteral("７.１.２")}) {
        const QString path = test::writePackage(dir, QStringLiteral("good%1.cotsettings").arg(n++), test::defaultsPlist(),
                                                test::infoPlist(good));
        EXPECT_FALSE(readError(path)) << good.toStdString();
    }
    for (const QString& bad : {QStringLiteral("7.1"), QStringLiteral("7.1.2.3"), QStringLiteral("7..2"),
                               QStringLiteral("v7.1.2"), QStringLiteral("7.1.2+1"), QStringLiteral("-7.1.2")}) {
        const QString path = test::writePackage(dir, QStringLiteral("bad%1.cotsettings").arg(n++), test::defaultsPlist(),
                                                test::infoPlist(bad));
        auto error = readError(path);
        ASSERT_TRUE(error) << bad.toStdString();
        EXPECT_EQ(error->detail(), versionReason) << bad.toStdString();
    }
    const QString stringDate = test::writePackage(dir, QStringLiteral("date.cotsettings"), test::defaultsPlist(),
                                                  test::infoPlist(QStringLiteral("7.1.2"), "<string>2024-05-06</string>"));
    EXPECT_EQ(readError(stringDate)->detail(), QStringLiteral("dateがありません。"));
}

TEST(SettingsArchiveRead, UnsafeEntriesAnywhereInTheTree)
{
    test::TempDir dir;
    const QString base = test::writePackage(dir, QStringLiteral("p.cotsettings"));
    const auto expectUnsafe = [&](const QString& relative, const QString& name) {
        auto error = readError(base);
        ASSERT_TRUE(error) << relative.toStdString();
        EXPECT_EQ(error->kind(), Kind::unsafeEntry) << relative.toStdString();
        EXPECT_EQ(error->detail(), name);
        EXPECT_EQ(error->localizedDescription(), QStringLiteral("設定アーカイブの「") + name + QStringLiteral("」は安全に読み込めません。"));
        QDir(base + QLatin1Char('/') + relative.section(u'/', 0, 0)).removeRecursively();
        QFile::remove(base + QLatin1Char('/') + relative.section(u'/', 0, 0));
        ASSERT_FALSE(readError(base));
    };

    dir.write(QStringLiteral("p.cotsettings/Themes/a:b.cottheme"), "x");
    expectUnsafe(QStringLiteral("Themes/a:b.cottheme"), QStringLiteral("a:b.cottheme"));
    dir.write(QStringLiteral("p.cotsettings/Notes/deep/line\nfeed"), "x");
    expectUnsafe(QStringLiteral("Notes"), QStringLiteral("line\nfeed"));
    dir.write(QStringLiteral("p.cotsettings/Notes/zero\u200Bwidth"), "x");
    expectUnsafe(QStringLiteral("Notes"), QStringLiteral("zero\u200Bwidth"));
    // A leading byte-order mark is a format character too: were it dropped, the folder would pass
    // as "Themes", and a name that differs from its neighbour only by it would take its place.
    dir.write(QStringLiteral("p.cotsettings/\uFEFFThemes/a.cottheme"), "x");
    expectUnsafe(QStringLiteral("\uFEFFThemes"), QStringLiteral("\uFEFFThemes"));
    dir.write(QStringLiteral("p.cotsettings/Themes/a.cottheme"), "kept");
    dir.write(QStringLiteral("p.cotsettings/Themes/\uFEFFa.cottheme"), "lost");
    expectUnsafe(QStringLiteral("Themes"), QStringLiteral("\uFEFFa.cottheme"));

    QDir().mkpath(base + QStringLiteral("/Syntaxes/Go.cotsyntax/Regex"));
    ASSERT_TRUE(QFile::link(QStringLiteral("/etc/passwd"), base + QStringLiteral("/Syntaxes/Go.cotsyntax/Regex/evil.json")));
    expectUnsafe(QStringLiteral("Syntaxes"), QStringLiteral("evil.json"));

    QDir().mkpath(base + QStringLiteral("/Replacements/sub"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(base + QStringLiteral("/Replacements/sub/pipe.cotrpl")).constData(), 0600), 0);
    QElapsedTimer timer;
    timer.start();
    expectUnsafe(QStringLiteral("Replacements"), QStringLiteral("pipe.cotrpl"));
    EXPECT_LT(timer.elapsed(), 2000);

    // A name that is not UTF-8 is not safe either.
    QDir().mkpath(base + QStringLiteral("/Raw"));
    const QByteArray raw = QFile::encodeName(base) + "/Raw/bad\xff";
    const int fd = ::open(raw.constData(), O_CREAT | O_WRONLY, 0600);
    ASSERT_GE(fd, 0);
    ::close(fd);
    auto error = readError(base);
    ::unlink(raw.constData());  // a name the folder's own removal could not spell
    ASSERT_TRUE(error);
    EXPECT_EQ(error->kind(), Kind::unsafeEntry);
}

TEST(SettingsArchiveRead, FileCountLimitAtItsEdge)
{
    test::TempDir dir;
    const QString base = test::writePackage(dir, QStringLiteral("many.cotsettings"));
    // Empty folders count nothing.
    QDir().mkpath(base + QStringLiteral("/Empty/Inner"));
    QDir().mkpath(base + QStringLiteral("/Files"));
    for (int i = 0; i < SettingsArchive::maximumFileCount; ++i) {
        QFile file(base + QStringLiteral("/Files/%1").arg(i));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    const SettingsArchive archive = SettingsArchive::read(base);
    EXPECT_EQ(archive.resources().value(QStringLiteral("Files")).fileWrappers().size(), SettingsArchive::maximumFileCount);
    EXPECT_EQ(archive.resources().value(QStringLiteral("Empty")).paths(QStringLiteral("Empty")),
              QStringList{QStringLiteral("Empty/Inner/")});
    dir.write(QStringLiteral("many.cotsettings/one-more"), "");
    EXPECT_EQ(readError(base)->localizedDescription(), QStringLiteral("設定アーカイブの項目数または容量が上限を超えています。"));
}

TEST(SettingsArchiveRead, ByteLimitAtItsEdgeAndListsBoundedBeforeReading)
{
    test::TempDir dir;
    const QString base = test::writePackage(dir, QStringLiteral("big.cotsettings"));
    makeSparse(base + QStringLiteral("/Blobs/a"), SettingsArchive::maximumByteCount - 10);
    dir.write(QStringLiteral("big.cotsettings/Blobs/b"), QByteArray(10, 'b'));
    {
        const SettingsArchive archive = SettingsArchive::read(base);
        EXPECT_EQ(archive.resources().value(QStringLiteral("Blobs")).child(QStringLiteral("b"))->regularFileContents(),
                  QByteArray(10, 'b'));
    }
    dir.write(QStringLiteral("big.cotsettings/Blobs/c"), "c");
    EXPECT_EQ(readError(base)->kind(), Kind::tooLarge);

    // A Defaults.plist of more than 32 MiB is refused by its size: were it read, it would be parsed whole.
    const QString huge = test::writePackage(dir, QStringLiteral("huge.cotsettings"));
    makeSparse(huge + QStringLiteral("/Defaults.plist"), SettingsArchive::maximumPropertyListSize + 1);
    QElapsedTimer timer;
    timer.start();
    EXPECT_EQ(readError(huge)->kind(), Kind::tooLarge);
    EXPECT_LT(timer.elapsed(), 1000);
    // At exactly the limit it is read, and fails as what it is.
    makeSparse(huge + QStringLiteral("/Defaults.plist"), SettingsArchive::maximumPropertyListSize);
    EXPECT_EQ(readError(huge)->kind(), Kind::invalidPropertyList);
    makeSparse(huge + QStringLiteral("/Info.plist"), SettingsArchive::maximumPropertyListSize + 1);
    EXPECT_EQ(readError(huge)->kind(), Kind::tooLarge);
}

TEST(SettingsArchiveRead, FoldersAreBoundedInDepth)
{
    test::TempDir dir;
    const QString base = test::writePackage(dir, QStringLiteral("deep.cotsettings"));
    QString path = base;
    for (int i = 0; i < SettingsArchive::maximumFolderDepth; ++i) path += QStringLiteral("/d");
    QDir().mkpath(path);
    EXPECT_FALSE(readError(base));
    QDir().mkpath(path + QStringLiteral("/d"));
    EXPECT_EQ(readError(base)->kind(), Kind::tooLarge);
}

TEST(SettingsArchiveWrite, WritesReadsBackAndReplacesWhole)
{
    test::TempDir dir;
    const QString source = test::writePackage(
        dir, QStringLiteral("in.cotsettings"),
        test::defaultsPlist("\t<key>lineHeight</key>\n\t<real>1.2</real>\n\t<key>tabWidth</key>\n\t<integer>4</integer>\n"));
    dir.write(QStringLiteral("in.cotsettings/Themes/Dark.cottheme"), "{\"bytes\": \"\\u00e9\"}\r\n");
    QDir().mkpath(dir.file(QStringLiteral("in.cotsettings/Empty")));
    const SettingsArchive archive = SettingsArchive::read(source);

    const QString target = dir.file(QStringLiteral("out.cotsettings"));
    dir.write(QStringLiteral("out.cotsettings/Stale/old.txt"), "old");
    archive.write(target);
    EXPECT_FALSE(QFileInfo::exists(target + QStringLiteral("/Stale")));
    const SettingsArchive again = SettingsArchive::read(target);
    EXPECT_EQ(again.info(), archive.info());
    EXPECT_EQ(again.defaults(), archive.defaults());
    EXPECT_EQ(again.resources(), archive.resources());
    EXPECT_TRUE(again.defaults().value(QStringLiteral("lineHeight"))->isReal());
    EXPECT_TRUE(test::readFile(target + QStringLiteral("/Defaults.plist")).startsWith("<?xml"));

    // A write that fails before the exchange leaves the previous package as it was.
    const auto error = archiveError([&] {
        SettingsArchive(test::validInfo(), {}, {}).write(target, [](ErrorInfo* e) {
            *e = ErrorInfo{QStringLiteral("test"), 5, QStringLiteral("入出力エラー。"), {}};
            return false;
        });
    });
    ASSERT_TRUE(error);
    EXPECT_EQ(error->localizedDescription(), QStringLiteral("設定アーカイブを書き出しできませんでした。入出力エラー。"));
    EXPECT_EQ(SettingsArchive::read(target).resources(), archive.resources());
}

TEST(SettingsArchiveWrite, ConstructorValidatesInfoAndDefaults)
{
    PropertyList::Dictionary info = test::validInfo();
    EXPECT_FALSE(archiveError([&] { SettingsArchive(info, {}, {}); }));
    PropertyList::Dictionary withUid;
    withUid.insert(QStringLiteral("u"), PropertyList::Uid{1});
    EXPECT_EQ(archiveError([&] { SettingsArchive(info, withUid, {}); })->detail(), QStringLiteral("Defaults.plist"));
    info.insert(QStringLiteral("version"), "7.1");
    EXPECT_EQ(archiveError([&] { SettingsArchive(info, {}, {}); })->kind(), Kind::invalidInfo);

    // Info keys that XML cannot carry fail when written, with the name of what was being written.
    PropertyList::Dictionary oddInfo = test::validInfo();
    oddInfo.insert(QStringLiteral("odd"), PropertyList::Uid{1});
    test::TempDir dir;
    EXPECT_EQ(archiveError([&] { SettingsArchive(oddInfo, {}, {}).write(dir.file(QStringLiteral("o.cotsettings"))); })
                  ->localizedDescription(),
              QStringLiteral("設定アーカイブの「書き出す値」を読み取れません。"));
    EXPECT_FALSE(QFileInfo::exists(dir.file(QStringLiteral("o.cotsettings"))));
}
