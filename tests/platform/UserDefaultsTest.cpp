#include "platform/foundation/UserDefaults.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <limits>

using korimado::DefaultsValue;
using korimado::UserDefaults;
using korimado::test::TempDir;

namespace {

DefaultsValue::Dictionary sampleOfEveryKind()
{
    DefaultsValue::Dictionary nested{{"depth", 2}, {"ratio", 0.5}};
    return {
        {"flag", true},
        {"count", 14},
        {"size", 14.0},
        {"tenth", 0.1},
        {"huge", qint64(1) << 62 | 1},
        {"negative", std::numeric_limits<qint64>::min()},
        {"infinite", -std::numeric_limits<double>::infinity()},
        {"name", QStringLiteral("日本語 / \"quoted\"")},
        {"blob", QByteArray("\x00\xFF\x10zz", 5)},
        {"list", DefaultsValue::Array{1, "two", 3.0, false}},
        {"nested", DefaultsValue::Dictionary{{"inner", nested}, {"empty", DefaultsValue::Array{}}}},
    };
}

}  // namespace

TEST(UserDefaults, IntegerReadingConvertsNumbersAndNumericTexts)
{
    UserDefaults d;
    d.setInteger("int", 3);
    d.setDouble("double", 9.7);
    d.setDouble("negativeDouble", -9.7);
    d.setDouble("tooLarge", 1e30);
    d.setBool("bool", true);
    d.setString("text", "8");
    d.setString("padded", "  -12abc");
    d.setString("words", "abc");
    d.setData("bytes", "8");
    EXPECT_EQ(d.integer("int"), 3);
    EXPECT_EQ(d.integer("double"), 9);
    EXPECT_EQ(d.integer("negativeDouble"), -9);
    EXPECT_EQ(d.integer("tooLarge"), std::numeric_limits<qint64>::max());
    EXPECT_EQ(d.integer("bool"), 1);
    EXPECT_EQ(d.integer("text"), 8);
    EXPECT_EQ(d.integer("padded"), -12);
    EXPECT_EQ(d.integer("words"), 0);
    EXPECT_EQ(d.integer("bytes"), 0);
    EXPECT_EQ(d.integer("absent"), 0);
}

TEST(UserDefaults, ExactIntegerAcceptsOnlyIntegralNumbers)
{
    UserDefaults d;
    d.setInteger("int", 8);
    d.setDouble("integralDouble", 8.0);
    d.setDouble("fraction", 9.5);
    d.setDouble("tooLarge", 1e30);
    d.setDouble("nan", std::numeric_limits<double>::quiet_NaN());
    d.setBool("bool", true);
    d.setString("text", "8");
    EXPECT_EQ(d.exactInteger("int"), 8);
    EXPECT_EQ(d.exactInteger("integralDouble"), 8);
    EXPECT_EQ(d.exactInteger("bool"), 1);
    EXPECT_FALSE(d.exactInteger("fraction"));
    EXPECT_FALSE(d.exactInteger("tooLarge"));
    EXPECT_FALSE(d.exactInteger("nan"));
    EXPECT_FALSE(d.exactInteger("text"));  // the defaults' own reading converts it; this one must not
    EXPECT_FALSE(d.exactInteger("absent"));
}

TEST(UserDefaults, BooleanDoubleAndStringReadings)
{
    UserDefaults d;
    const char* truthy[] = {"YES", "yes", "true", "TRUE", "1", " 2"};
    const char* falsy[] = {"NO", "false", "0", "abc", ""};
    for (const char* s : truthy) {
        d.setString("b", s);
        EXPECT_TRUE(d.boolean("b")) << s;
    }
    for (const char* s : falsy) {
        d.setString("b", s);
        EXPECT_FALSE(d.boolean("b")) << s;
    }
    d.setInteger("two", 2);
    d.setDouble("zero", 0.0);
    EXPECT_TRUE(d.boolean("two"));
    EXPECT_FALSE(d.boolean("zero"));
    EXPECT_FALSE(d.boolean("absent"));

    d.setString("sci", "3.5e2kg");
    d.setString("dot", ".5");
    d.setString("junk", "e5");
    d.setInteger("int", 7);
    EXPECT_DOUBLE_EQ(d.doubleValue("sci"), 350.0);
    EXPECT_DOUBLE_EQ(d.doubleValue("dot"), 0.5);
    EXPECT_DOUBLE_EQ(d.doubleValue("junk"), 0.0);
    EXPECT_DOUBLE_EQ(d.doubleValue("int"), 7.0);
    EXPECT_DOUBLE_EQ(d.doubleValue("absent"), 0.0);

    d.setDouble("half", 9.5);
    d.setDouble("tenth", 0.1);
    d.setBool("flag", true);
    d.setData("bytes", "x");
    EXPECT_EQ(d.string("int"), QStringLiteral("7"));
    EXPECT_EQ(d.string("half"), QStringLiteral("9.5"));
    EXPECT_EQ(d.string("tenth"), QStringLiteral("0.1"));
    EXPECT_EQ(d.string("flag"), QStringLiteral("1"));
    EXPECT_FALSE(d.string("bytes"));
    EXPECT_FALSE(d.string("absent"));
    EXPECT_EQ(d.data("bytes"), QByteArray("x"));
    EXPECT_FALSE(d.data("half"));
}

TEST(UserDefaults, StoredValuesOverlayRegisteredDefaults)
{
    UserDefaults d;
    d.registerDefaults({{"size", 12.0}, {"name", "Classic"}});
    EXPECT_EQ(d.object("size"), DefaultsValue(12.0));
    EXPECT_DOUBLE_EQ(d.doubleValue("size"), 12.0);

    d.setInteger("size", 20);
    EXPECT_EQ(d.object("size"), DefaultsValue(20));
    EXPECT_TRUE(d.object("size")->isInteger());

    const auto all = d.dictionaryRepresentation();
    EXPECT_EQ(all.value("size"), DefaultsValue(20));
    EXPECT_EQ(all.value("name"), DefaultsValue("Classic"));

    d.removeObject("size");
    EXPECT_EQ(d.object("size"), DefaultsValue(12.0));
    EXPECT_FALSE(d.object("other"));
    EXPECT_EQ(d.array("name"), std::nullopt);
}

TEST(UserDefaults, PersistenceKeepsEveryKindApart)
{
    TempDir dir;
    const QString path = dir.file("sub/defaults.json");
    const auto sample = sampleOfEveryKind();
    {
        UserDefaults d(path);
        for (auto it = sample.cbegin(); it != sample.cend(); ++it) d.set(it.key(), it.value());
        d.setDouble("nan", std::numeric_limits<double>::quiet_NaN());
    }  // written on destruction
    ASSERT_TRUE(QFile::exists(path));
    ASSERT_TRUE(QJsonDocument::fromJson(korimado::test::readFile(path)).isObject());

    UserDefaults reloaded(path);
    for (auto it = sample.cbegin(); it != sample.cend(); ++it) {
        EXPECT_EQ(reloaded.object(it.key()), it.value()) << it.key().toStdString();
    }
    EXPECT_TRUE(reloaded.object("count")->isInteger());
    EXPECT_TRUE(reloaded.object("size")->isDouble());
    EXPECT_TRUE(std::isnan(reloaded.doubleValue("nan")));
    EXPECT_EQ(reloaded.integer("huge"), qint64(1) << 62 | 1);
}

TEST(UserDefaults, ArgumentDomainWinsWhileSetAndIsNeverSaved)
{
    TempDir dir;
    const QString path = dir.file("defaults.json");
    {
        UserDefaults d(path);
        d.registerDefaults({{"editor.wrap", false}});
        d.setString("editor.themeName", "Classic");
        const DefaultsValue::Dictionary before = d.argumentDomain();
        EXPECT_TRUE(before.isEmpty());

        DefaultsValue::Dictionary changed = before;
        changed.insert("editor.themeName", QStringLiteral("Classic (Dark)"));
        changed.insert("editor.wrap", true);
        d.setArgumentDomain(changed);
        EXPECT_EQ(d.string("editor.themeName"), QStringLiteral("Classic (Dark)"));
        EXPECT_TRUE(d.boolean("editor.wrap"));
        EXPECT_EQ(d.dictionaryRepresentation().value("editor.themeName"), DefaultsValue(QStringLiteral("Classic (Dark)")));
        ASSERT_TRUE(d.synchronize());
        // Written while the domain is installed: the file still holds only the stored value.
        EXPECT_EQ(UserDefaults(path).string("editor.themeName"), QStringLiteral("Classic"));
        EXPECT_FALSE(UserDefaults(path).object("editor.wrap"));

        d.setArgumentDomain(before);
        EXPECT_EQ(d.string("editor.themeName"), QStringLiteral("Classic"));
        EXPECT_FALSE(d.boolean("editor.wrap"));
    }
    EXPECT_EQ(UserDefaults(path).string("editor.themeName"), QStringLiteral("Classic"));
}

TEST(UserDefaults, ChangesReachTheFileSoonAndRemovalsToo)
{
    TempDir dir;
    const QString path = dir.file("defaults.json");
    UserDefaults d(path);
    d.setString("editor.fontName", "Mono");
    EXPECT_TRUE(QTest::qWaitFor([&] { return QFile::exists(path); }, 5000));
    EXPECT_EQ(UserDefaults(path).string("editor.fontName"), QStringLiteral("Mono"));

    d.removeObject("editor.fontName");
    ASSERT_TRUE(d.synchronize());
    EXPECT_FALSE(UserDefaults(path).object("editor.fontName"));
}

TEST(UserDefaults, CorruptFileIsSetAsideNotLost)
{
    TempDir dir;
    const QByteArray garbage("{ \"a\": {\"type\": \"int\", \"value\": 1 ");
    const QString path = dir.write("defaults.json", garbage);
    {
        UserDefaults d(path);
        EXPECT_FALSE(d.object("a"));
        EXPECT_EQ(korimado::test::readFile(path + ".corrupt"), garbage);
        d.setInteger("b", 2);
    }
    EXPECT_EQ(UserDefaults(path).integer("b"), 2);

    // A second corrupt file does not overwrite the first one set aside.
    dir.write("defaults.json", "[]");
    UserDefaults again(path);
    EXPECT_EQ(korimado::test::readFile(path + ".corrupt"), garbage);
    EXPECT_EQ(QDir(dir.path()).entryList({"defaults.json.corrupt*"}).size(), 2);
}

TEST(UserDefaults, AFileThatIsNotStrictJsonIsSetAsideWhole)
{
    // Each of these a lenient reader takes (the last of two values, a raw control character, "1.",
    // an unknown escape): which value the user meant cannot be known, so none is read.
    for (const QByteArray& content :
         {QByteArray(R"({"a": {"type": "int", "value": 1}, "a": {"type": "int", "value": 2}})"),
          QByteArray("{\"a\": {\"type\": \"string\", \"value\": \"x\x01y\"}}"),
          QByteArray(R"({"a": {"type": "double", "value": 1.}})"),
          QByteArray(R"({"a": {"type": "string", "value": "\x"}})")}) {
        TempDir dir;
        const QString path = dir.write("defaults.json", content);
        {
            UserDefaults d(path);
            EXPECT_FALSE(d.object("a")) << content.constData();
            d.setInteger("b", 2);
        }
        EXPECT_EQ(korimado::test::readFile(path + ".corrupt"), content);
        EXPECT_EQ(UserDefaults(path).integer("b"), 2);
    }
}

TEST(UserDefaults, NumbersAndLoneSurrogatesReadBackAsTheyWereMeant)
{
    TempDir dir;
    // Integers and reals are told apart by their tag, not by how the number is written.
    const QString hand = dir.write("hand.json", R"({"five": {"type": "int", "value": 5.0},
                                                     "three": {"type": "double", "value": 3},
                                                     "big": {"type": "int", "value": 9007199254740992}})");
    UserDefaults read(hand);
    EXPECT_EQ(read.object("five"), DefaultsValue(5));
    EXPECT_EQ(read.object("three"), DefaultsValue(3.0));
    EXPECT_EQ(read.object("big"), DefaultsValue(qint64(1) << 53));
    EXPECT_FALSE(QFileInfo::exists(hand + ".corrupt"));

    // A text holding half of a surrogate pair is stored as it was given.
    const QString path = dir.file("defaults.json");
    const QString lone = QStringLiteral("a") + QChar(0xD800) + QStringLiteral("b") + QChar(0xDC00);
    {
        UserDefaults d(path);
        d.setString(lone, lone);
        ASSERT_TRUE(d.synchronize());
    }
    EXPECT_EQ(UserDefaults(path).string(lone), lone);
}

TEST(UserDefaults, DamagedEntriesAreSetAsideAndTheRestKept)
{
    TempDir dir;
    const QByteArray content(R"({"good": {"type": "int", "value": 5},
                                 "fraction": {"type": "int", "value": 5.5},
                                 "unknown": {"type": "colour", "value": 1},
                                 "badData": {"type": "data", "value": "!!"}})");
    const QString path = dir.write("defaults.json", content);
    UserDefaults d(path);
    EXPECT_EQ(d.object("good"), DefaultsValue(5));
    EXPECT_FALSE(d.object("fraction"));
    EXPECT_FALSE(d.object("unknown"));
    EXPECT_FALSE(d.object("badData"));
    EXPECT_EQ(korimado::test::readFile(path + ".corrupt"), content);
    EXPECT_EQ(UserDefaults(path).object("good"), DefaultsValue(5));
}

TEST(UserDefaults, AFileThatCannotBeReadIsKeptAndNeverWrittenOver)
{
    TempDir dir;
    // What cannot be read is not known to be corrupt: no reset, no file set aside, nothing written.
    auto checkKept = [&](const QString& path) {
        {
            UserDefaults d(path);
            d.setInteger("b", 2);
            EXPECT_EQ(d.integer("b"), 2);  // in memory for this session
            EXPECT_FALSE(d.synchronize());
        }
        EXPECT_FALSE(QFileInfo::exists(path + ".corrupt"));
    };
    // A folder, and a pipe (which a blocking open would wait on for ever) stand where the file goes.
    const QString folder = dir.file("folder/defaults.json");
    QDir().mkpath(folder);
    checkKept(folder);
    EXPECT_TRUE(QFileInfo(folder).isDir());
    const QString pipe = dir.file("defaults.json");
    ASSERT_EQ(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    checkKept(pipe);
    // A read that fails with an I/O error, as a failing disk gives, even for root: the memory of
    // this process reads EIO at address 0.
    const QString failing = dir.file("failing/defaults.json");
    QDir().mkpath(dir.file("failing"));
    ASSERT_EQ(::symlink("/proc/self/mem", QFile::encodeName(failing).constData()), 0);
    checkKept(failing);
    EXPECT_EQ(QFileInfo(failing).symLinkTarget(), "/proc/self/mem");

    if (::geteuid() != 0) {  // root reads a file of mode 000 all the same
        const QByteArray content(R"({"a": {"type": "int", "value": 1}})");
        const QString locked = dir.write("locked/defaults.json", content);
        ::chmod(QFile::encodeName(locked).constData(), 0);
        checkKept(locked);
        ::chmod(QFile::encodeName(locked).constData(), 0600);
        EXPECT_EQ(korimado::test::readFile(locked), content);
    }
}

TEST(UserDefaults, KeysAndTextsLedByAByteOrderMarkSurviveTheFile)
{
    TempDir dir;
    const QString path = dir.file("defaults.json");
    const QString key = QStringLiteral("\uFEFFkey");
    const QString text = QStringLiteral("\uFEFFClassic");
    {
        UserDefaults d(path);
        d.setString(key, text);
        ASSERT_TRUE(d.synchronize());
    }
    EXPECT_FALSE(korimado::test::readFile(path).contains("\xEF\xBB\xBF"));
    EXPECT_EQ(UserDefaults(path).string(key), text);
    EXPECT_FALSE(UserDefaults(path).object("key"));

    // Written raw by another program, they read back too.
    dir.write("raw.json", "{\"\xEF\xBB\xBFk\": {\"type\": \"string\", \"value\": \"\xEF\xBB\xBFv\"}}");
    EXPECT_EQ(UserDefaults(dir.file("raw.json")).string(QStringLiteral("\uFEFFk")), QStringLiteral("\uFEFFv"));
}

TEST(UserDefaults, StandardStoreLivesUnderTheConfigHome)
{
    EXPECT_EQ(UserDefaults::standardFilePath(), korimado::test::testConfigHome() + "/Korimado/defaults.json");
    EXPECT_EQ(UserDefaults::standard().filePath(), UserDefaults::standardFilePath());
}
