// The plain wire code the command-line client shares with the program: its text checks, its
// writer, the mapped reply, and where it looks for the bus.
#include "platform/events/EventWireFormat.h"
#include "platform/wire/EventBusNames.h"
#include "platform/wire/MappedFile.h"
#include "platform/wire/WireFormat.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include <algorithm>

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

using namespace korimado;

namespace {

int memoryFile(std::string_view bytes, bool sealed)
{
    const int fd = ::memfd_create("wire-test", MFD_CLOEXEC | MFD_ALLOW_SEALING);
    EXPECT_EQ(::write(fd, bytes.data(), bytes.size()), ssize_t(bytes.size()));
    if (sealed) {
        EXPECT_EQ(::fcntl(fd, F_ADD_SEALS, F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_WRITE), 0);
    }
    return fd;
}

// Sets an environment variable for the scope of a test.
class ScopedVariable {
public:
    ScopedVariable(const char* name, const QByteArray& value) : name_(name), old_(qgetenv(name)), had_(qEnvironmentVariableIsSet(name))
    {
        value.isNull() ? qunsetenv(name) : qputenv(name, value);
    }
    ~ScopedVariable() { had_ ? qputenv(name_, old_) : qunsetenv(name_); }

private:
    const char* name_;
    QByteArray old_;
    bool had_;
};

}  // namespace

TEST(Wire, Utf8IsCheckedStrictly)
{
    for (const char* good : {"", "abc", "日本語", "😀", "\xF4\x8F\xBF\xBF", "\xEF\xBF\xBF", "12345678あ12345678"})
        EXPECT_TRUE(wire::isWellFormedUtf8(good)) << good;
    // Overlong forms, surrogates, past U+10FFFF, lone continuation bytes, cut sequences, also
    // behind a run of ASCII.
    for (const char* bad : {"\xC0\x80", "\xC1\xBF", "\xE0\x9F\xBF", "\xED\xA0\x80", "\xF0\x8F\xBF\xBF", "\xF4\x90\x80\x80",
                            "\xF5\x80\x80\x80", "\xF8\x80\x80", "\xFF\x80\x80", "\x80", "\xE3\x81", "\xE3\x81\x41", "abcdefgh\xE3\x81",
                            "abcdefghijklmnop\xFF"})
        EXPECT_FALSE(wire::isWellFormedUtf8(bad)) << bad;
}

TEST(Wire, TheVectorTextCheckAnswersAsTheByteCheckWhereverASequenceFalls)
{
    if (!wire::hasVectorUtf8Check())
        GTEST_SKIP() << "this processor has no AVX2";
    // Every sequence class, good and bad, at each offset across two 32-byte block edges, in ASCII
    // and in Japanese surroundings, and as the text's last bytes.
    const std::vector<std::string> pieces = {
        "a", "\xC2\x80", "\xDF\xBF", "\xE0\xA0\x80", "\xE3\x81\x82", "\xED\x9F\xBF", "\xEF\xBF\xBF",
        "\xF0\x90\x80\x80", "\xF4\x8F\xBF\xBF", "\xC0\x80", "\xC1\xBF", "\xE0\x9F\xBF", "\xED\xA0\x80",
        "\xF0\x8F\xBF\xBF", "\xF4\x90\x80\x80", "\xF5\x80\x80\x80", "\xF8\x80\x80\x80", "\xFF", "\x80",
        "\xBF\xBF", "\xE3\x81", "\xE3", "\xF0\x90\x80", "\xC2", "\xE3\x81\x41", "\xC2\xC2\x80"};
    int bad = 0;
    for (const std::string& background : {std::string(100, 'x'), std::string("あいうえおかきくけこさしすせそたちつてとなにぬねのはひふへほまみむめも")}) {
        for (const std::string& piece : pieces) {
            for (std::size_t at = 0; at <= 70; ++at) {
                std::string text = background.substr(0, std::min(at, background.size()));
                text += piece;
                for (const bool atEnd : {false, true}) {
                    const std::string whole = atEnd ? text : text + background;
                    const bool expected = wire::isWellFormedUtf8Scalar(whole);
                    bad += !expected;
                    ASSERT_EQ(wire::isWellFormedUtf8Vector(whole), expected)
                        << "piece " << QByteArray::fromStdString(piece).toHex().toStdString() << " at " << at
                        << (atEnd ? " at the end" : "");
                }
            }
        }
    }
    EXPECT_GT(bad, 1000);  // the bad pieces were seen as bad, not only agreed on
    // Random bytes, mostly UTF-8-like, of every length up to 300.
    std::uint32_t state = 12345;
    const auto next = [&] { return state = state * 1103515245u + 12345u, state >> 16; };
    const char* alphabet[] = {"a", "\n", "é", "日", "本", "😀", "\x80", "\xE3", "\xF0", "\xED\xA0"};
    for (std::size_t length = 0; length <= 300; ++length) {
        for (int round = 0; round < 20; ++round) {
            std::string text;
            while (text.size() < length)
                text += next() % 50 == 0 ? alphabet[6 + next() % 4] : alphabet[next() % 6];
            ASSERT_EQ(wire::isWellFormedUtf8Vector(text), wire::isWellFormedUtf8Scalar(text)) << length;
        }
    }
    // A large good text, and the same with one bad byte far inside it.
    std::string large;
    while (large.size() < (1u << 20))
        large += "日本語のテキスト and some ASCII, 𠮷😀é\n";
    EXPECT_TRUE(wire::isWellFormedUtf8(large));
    large[700001] = '\xFF';
    EXPECT_FALSE(wire::isWellFormedUtf8(large));
}

TEST(Wire, WritersThatGrowAndThatAreSizedWriteTheSameBytes)
{
    const auto writeAll = [](wire::Writer& writer) {
        const size_t event = writer.beginEvent(fourCharCode("core"), fourCharCode("setd"));
        writer.key(fourCharCode("----"));
        const size_t list = writer.begin(wire::typeList);
        writer.null();
        writer.boolean(true);
        writer.integer32(-2);
        writer.integer64(std::int64_t(1) << 40);
        writer.real(0.5);
        writer.code(wire::typeEnumerated, fourCharCode("cCup"));
        writer.text("改行\r\n");
        writer.end(list);
        writer.end(event);
    };
    wire::Writer counter;
    writeAll(counter);
    std::string grown;
    wire::Writer growing(grown);
    writeAll(growing);
    std::string sized(counter.size(), '\0');
    wire::Writer fixed(sized.data());
    writeAll(fixed);
    EXPECT_EQ(grown, sized);
    const std::optional<AppleEvent> event = EventWireFormat::decodeEvent(QByteArray::fromStdString(grown));
    ASSERT_TRUE(event);
    const EventDescriptor& list = *event->directObject();
    ASSERT_EQ(list.count(), 7);
    EXPECT_EQ(list.items()[3].value.toInteger(), std::int64_t(1) << 40);
    EXPECT_EQ(list.items()[6].value.toText(), QStringLiteral("改行\r\n"));
}

// Past the size where the program decodes in huge pages: the same text, pairs and all, a leading
// U+FEFF kept, and a lone surrogate written as U+FFFD.
TEST(Wire, ALargeTextComesBackWhole)
{
    QString text(QChar(0xFEFF));
    while (text.size() < 3 * 1024 * 1024)
        text += QStringLiteral("行😀 é\r\n");
    AppleEvent reply = AppleEvent::reply();
    reply.setDirectObject(EventDescriptor::text(text + QChar(0xDC00)));
    const QByteArray bytes = EventWireFormat::encode(reply);
    EXPECT_EQ(EventWireFormat::encodedSize(reply), bytes.size());
    const std::optional<AppleEvent> read = EventWireFormat::decodeEvent(bytes);
    ASSERT_TRUE(read);
    EXPECT_EQ(read->directObject()->toText(), text + QChar(0xFFFD));
    // Small texts too keep a leading U+FEFF, which UTF-8 decoding drops by default.
    const QString small = QStringLiteral("\uFEFF先頭");
    EXPECT_EQ(EventWireFormat::decodeDescriptor(EventWireFormat::encode(EventDescriptor::text(small)))->toText(), small);
}

TEST(Wire, ARepliesFileIsMappedOnlyWhenSealed)
{
    const std::string bytes("aevtansr\0\0\0\0", 12);
    for (const bool sealed : {true, false}) {
        const int fd = memoryFile(bytes, sealed);
        std::optional<wire::MappedFile> file = wire::MappedFile::map(fd);
        ::close(fd);  // a mapping outlives its descriptor
        ASSERT_TRUE(file);
        EXPECT_EQ(file->bytes(), bytes);
        wire::MappedFile moved = std::move(*file);
        EXPECT_EQ(moved.bytes(), bytes);
        EXPECT_TRUE(file->bytes().empty());
    }
    const int empty = memoryFile({}, true);
    EXPECT_TRUE(wire::MappedFile::map(empty)->bytes().empty());
    ::close(empty);
    EXPECT_FALSE(wire::MappedFile::map(-1));
}

TEST(Wire, TheClientLooksForTheBusInItsEnvironmentThenInTheFile)
{
    test::TempDir home;
    ScopedVariable homeVariable("HOME", home.path().toUtf8());
    ScopedVariable address("DBUS_SESSION_BUS_ADDRESS", "unix:path=/from/environment");
    EXPECT_EQ(wire::EventBusNames::addressFilePath(), home.path().toStdString() + "/.local/share/Korimado/bus-address");
    ASSERT_TRUE(QDir().mkpath(home.path() + QStringLiteral("/.local/share/Korimado")));
    QFile file(QString::fromStdString(wire::EventBusNames::addressFilePath()));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("  unix:path=/from/file\n");
    file.close();
    std::vector<std::string> addresses = wire::EventBusNames::clientAddresses();
    ASSERT_GE(addresses.size(), 2u);
    EXPECT_EQ(addresses.front(), "unix:path=/from/environment");
    EXPECT_EQ(addresses.back(), "unix:path=/from/file");
    // Said twice, tried once.
    ScopedVariable same("DBUS_SESSION_BUS_ADDRESS", "unix:path=/from/file");
    addresses = wire::EventBusNames::clientAddresses();
    EXPECT_EQ(std::count(addresses.begin(), addresses.end(), "unix:path=/from/file"), 1);
    EXPECT_EQ(wire::EventBusNames::processServiceName(42), "app.korimado.Korimado.pid42");
}
