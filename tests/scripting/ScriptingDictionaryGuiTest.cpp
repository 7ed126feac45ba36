#include "platform/events/ScriptingDictionary.h"
#include "platform/foundation/Bundle.h"

#include <gtest/gtest.h>

using namespace korimado;

namespace {

const ScriptingDictionary& bundled()
{
    static const ScriptingDictionary dictionary = [] {
        QString error;
        const auto loaded =
            ScriptingDictionary::load(Bundle::main().path(QStringLiteral("Korimado"), QStringLiteral("sdef")), &error);
        EXPECT_TRUE(loaded) << error.toStdString();
        return loaded.value_or(*ScriptingDictionary::parse("<dictionary/>"));
    }();
    return dictionary;
}

const ScriptingDictionary::Command& command(const char* eventClass, const char* eventID)
{
    const ScriptingDictionary::Command* found = bundled().command(code(QString::fromLatin1(eventClass)),
                                                                  code(QString::fromLatin1(eventID)));
    static const ScriptingDictionary::Command none;
    EXPECT_TRUE(found) << eventClass << eventID;
    return found ? *found : none;
}

QString key(const ScriptingDictionary::Command& command, const char* parameter)
{
    const ScriptingDictionary::Parameter* found = command.parameter(code(QString::fromLatin1(parameter)));
    return found ? found->key : QStringLiteral("(none)");
}

}  // namespace

TEST(KorimadoDictionary, DeclaresEveryCodeTheEventsUse)
{
    EXPECT_EQ(key(command("core", "setd"), "data"), QStringLiteral("value"));
    for (const char* id : {"getd", "cnte", "doex", "clos", "save"})
        command("core", id);
    command("aevt", "odoc");
    command("aevt", "quit");

    const ScriptingDictionary::Command& replace = command("cEd1", "RPlc");
    EXPECT_EQ(replace.name, QStringLiteral("replace"));
    EXPECT_EQ(key(replace, "tRgt"), QStringLiteral("targetString"));
    EXPECT_EQ(key(replace, "nWst"), QStringLiteral("newString"));
    EXPECT_EQ(key(replace, "rEex"), QStringLiteral("regularExpression"));
    EXPECT_EQ(key(replace, "iGcs"), QStringLiteral("ignoreCase"));
    EXPECT_EQ(key(replace, "aLl "), QStringLiteral("all"));
    EXPECT_EQ(replace.resultType, QStringLiteral("integer"));
    EXPECT_EQ(key(command("cEd1", "Jump"), "line"), QStringLiteral("line"));
    EXPECT_EQ(command("cEd1", "Sort").name, QStringLiteral("sort lines"));
    EXPECT_EQ(key(command("cEd1", "UNml"), "uNft"), QStringLiteral("unfType"));
    EXPECT_EQ(key(command("cEd1", "CGcs"), "cStp"), QStringLiteral("caseType"));
    EXPECT_EQ(key(command("cEd1", "GWrm"), "rWtp"), QStringLiteral("widthType"));
    EXPECT_EQ(command("cEd1", "SmQt").name, QStringLiteral("smarten quotes"));
    EXPECT_EQ(command("cEd1", "StQt").name, QStringLiteral("straighten quotes"));
    EXPECT_EQ(command("cEd1", "SmDa").name, QStringLiteral("smarten dashes"));
    EXPECT_EQ(command("cEd1", "cnsl").implementationClass, QStringLiteral("KoriConsoleCommand"));

    // The guide's terms are the user-facing names of find and replace.
    QStringList names;
    for (const auto& parameter : replace.parameters)
        names.append(parameter.name);
    for (const char* name : {"for", "to", "RE", "ignore case", "backwards", "wrap", "all"})
        EXPECT_TRUE(names.contains(QString::fromLatin1(name))) << name;
}

TEST(KorimadoDictionary, BindsClassesPropertiesAndHandlers)
{
    const ScriptingDictionary::Class* document = bundled().classImplementedBy(QStringLiteral("KoriDocument"));
    ASSERT_TRUE(document);
    EXPECT_EQ(document->name, QStringLiteral("document"));
    EXPECT_EQ(document->property(fourCharCode("PCnt"))->key, QStringLiteral("scriptContents"));
    EXPECT_EQ(document->property(fourCharCode("sele"))->key, QStringLiteral("scriptSelection"));
    const QStringList readOnly{"scriptSelection", "scriptEncoding", "scriptIANAEncoding", "scriptBOM", "scriptLength"};
    for (const char* key : {"scriptContents", "scriptSelection", "scriptEncoding", "scriptIANAEncoding", "scriptBOM",
                            "scriptLength", "scriptSyntaxStyle", "scriptTabWidth", "scriptExpandsTab", "scriptLineEnding",
                            "scriptEditable", "scriptWraps"}) {
        const ScriptingDictionary::Property* property = document->propertyWithKey(QString::fromLatin1(key));
        ASSERT_TRUE(property) << key;
        EXPECT_EQ(property->readOnly, readOnly.contains(QString::fromLatin1(key))) << key;
    }
    EXPECT_EQ(document->method(QStringLiteral("replace")), QStringLiteral("handleScriptReplace:"));
    EXPECT_EQ(document->method(QStringLiteral("string")), QStringLiteral("handleScriptString:"));
    EXPECT_EQ(document->method(QStringLiteral("sort lines")), QString());

    const ScriptingDictionary::Class* selection = bundled().classImplementedBy(QStringLiteral("KoriTextSelection"));
    ASSERT_TRUE(selection);
    EXPECT_EQ(selection->property(fourCharCode("cRng"))->key, QStringLiteral("range"));
    EXPECT_TRUE(selection->property(fourCharCode("cRng"))->isList);
    EXPECT_TRUE(selection->propertyWithKey(QStringLiteral("lineRange")));
    EXPECT_TRUE(selection->propertyWithKey(QStringLiteral("contents")));
    for (const char* name : {"shift left", "shift right", "move line up", "move line down", "sort lines", "reverse lines",
                             "delete duplicate line", "comment out", "uncomment"})
        EXPECT_EQ(selection->method(QString::fromLatin1(name)), QStringLiteral("handleTextCommand:")) << name;
    for (const char* name : {"change case", "change roman width", "normalize unicode", "smarten quotes",
                             "straighten quotes", "smarten dashes"})
        EXPECT_EQ(selection->method(QString::fromLatin1(name)), QStringLiteral("handleSelectionTransform:")) << name;
}

TEST(KorimadoDictionary, EnumeratorsReachHandlersAsTheirText)
{
    const struct {
        const char* event;
        const char* parameter;
        const char* enumerator;
        const char* key;
        const char* text;
    } cases[] = {
        {"CGcs", "cStp", "cCup", "caseType", "upper"},           {"GWrm", "rWtp", "rWfl", "widthType", "full"},
        {"UNml", "uNft", "cNfc", "unfType", "NFC"},              {"UNml", "uNft", "cNfd", "unfType", "NFD"},
        {"UNml", "uNft", "cNkc", "unfType", "NFKC"},             {"UNml", "uNft", "cNkd", "unfType", "NFKD"},
        {"UNml", "uNft", "cNcf", "unfType", "NFKC Casefold"},    {"UNml", "uNft", "cNmc", "unfType", "Modified NFC"},
        {"UNml", "uNft", "cNfm", "unfType", "Modified NFD"},
        // Not one of the enumeration's: its code, which no handler takes for a value it knows.
        {"UNml", "uNft", "cNzz", "unfType", "cNzz"},
    };
    for (const auto& c : cases) {
        AppleEvent event(fourCharCode("cEd1"), code(QString::fromLatin1(c.event)));
        event.setParameter(code(QString::fromLatin1(c.parameter)), EventDescriptor::enumerated(code(QString::fromLatin1(c.enumerator))));
        event.setParameter(fourCharCode("zzzz"), EventDescriptor::integer(1));  // not the command's: left out
        const auto arguments = bundled().arguments(command("cEd1", c.event), event);
        ASSERT_EQ(arguments.size(), 1u) << c.enumerator;
        EXPECT_EQ(arguments.at(QString::fromLatin1(c.key)).toText(), QString::fromUtf8(c.text)) << c.enumerator;
    }
}

TEST(ScriptingDictionary, RefusesWhatItCannotRead)
{
    QString error;
    EXPECT_FALSE(ScriptingDictionary::parse("<dictionary><suite>", &error));
    EXPECT_FALSE(error.isEmpty());
    error.clear();
    EXPECT_FALSE(ScriptingDictionary::parse(R"(<dictionary><suite><command name="x" code="abc"/></suite></dictionary>)", &error));
    EXPECT_TRUE(error.contains(QStringLiteral("x")));
    EXPECT_FALSE(ScriptingDictionary::parse(R"(<dictionary><suite><class-extension extends="nothing"/></suite></dictionary>)"));
    EXPECT_FALSE(ScriptingDictionary::parse("<other/>"));
    // An extension may come before the class it extends.
    const auto dictionary = ScriptingDictionary::parse(R"(<dictionary>
        <suite code="bbbb"><class-extension extends="thing"><property name="b" code="bbbb" access="r"/></class-extension></suite>
        <suite code="aaaa"><class name="thing" code="tHng"><property name="a" code="aaaa"/></class></suite></dictionary>)");
    ASSERT_TRUE(dictionary);
    EXPECT_EQ(dictionary->classNamed(QStringLiteral("thing"))->properties.size(), 2u);
}
