#include "scripting/objects/ScriptEventDispatcher.h"

#include "document/KoriDocument.h"
#include "platform/events/AppleEventManager.h"
#include "platform/ui/WindowSheet.h"
#include "scripting/objects/ScriptableDocument.h"
#include "scripting/objects/ScriptableSelection.h"
#include "scripting/text/ScriptCommand.h"
#include "scripting/text/ScriptErrors.h"
#include "scripting/console/ScriptConsole.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QPointer>

namespace korimado {

namespace {

using D = EventDescriptor;

constexpr FourCharCode coreClass = fourCharCode("core");
constexpr FourCharCode getID = fourCharCode("getd");
constexpr FourCharCode setID = fourCharCode("setd");
constexpr FourCharCode countID = fourCharCode("cnte");
constexpr FourCharCode existsID = fourCharCode("doex");
constexpr FourCharCode openClass = fourCharCode("aevt");
constexpr FourCharCode openID = fourCharCode("odoc");
constexpr FourCharCode reopenID = fourCharCode("rapp");
constexpr FourCharCode quitID = fourCharCode("quit");
constexpr FourCharCode documentCode = fourCharCode("docu");
constexpr FourCharCode propertyCode = fourCharCode("prop");
constexpr FourCharCode selectionCode = fourCharCode("sele");
constexpr FourCharCode keyData = fourCharCode("data");
constexpr FourCharCode keyClass = fourCharCode("kocl");

const QString applicationClass = QStringLiteral("application");
const QString documentClass = QStringLiteral("document");
const QString selectionClass = QStringLiteral("text selection");
const char* const idProperty = "korimadoScriptID";

}  // namespace

struct ScriptEventDispatcher::Target {
    enum class Kind { application, document, selection, property } kind = Kind::application;
    KoriDocument* document = nullptr;
    bool inSelection = false;  // for a property: of the selection rather than the document
    FourCharCode property = 0;
    bool inApplication = false;  // for a property: of the application itself
};

ScriptEventDispatcher::ScriptEventDispatcher(ScriptingDictionary dictionary, DocumentList documents, FileOpener openFiles,
                                             Quitter quit)
    : dictionary_(std::move(dictionary)), documents_(std::move(documents)), openFiles_(std::move(openFiles)),
      quit_(std::move(quit))
{
}

ScriptEventDispatcher::~ScriptEventDispatcher()
{
    uninstall();
}

qint64 ScriptEventDispatcher::documentID(const KoriDocument& document)
{
    static qint64 next = 1;
    QVariant id = document.property(idProperty);
    if (!id.isValid()) {
        id = next++;
        const_cast<KoriDocument&>(document).setProperty(idProperty, id);
    }
    return id.toLongLong();
}

void ScriptEventDispatcher::install(AppleEventManager& manager)
{
    uninstall();
    manager_ = &manager;
    const auto add = [&](FourCharCode eventClass, FourCharCode eventID) {
        manager.setEventHandler(eventClass, eventID, [this](const AppleEvent& event, AppleEvent& reply) { handle(event, reply); });
        installed_.emplace_back(eventClass, eventID);
    };
    for (const ScriptingDictionary::Command& command : dictionary_.commands())
        add(command.eventClass, command.eventID);
    add(openClass, openID);
    add(openClass, reopenID);
}

void ScriptEventDispatcher::uninstall()
{
    if (!manager_)
        return;
    for (const auto& [eventClass, eventID] : installed_)
        manager_->removeEventHandler(eventClass, eventID);
    installed_.clear();
    manager_ = nullptr;
}

void ScriptEventDispatcher::handle(const AppleEvent& event, AppleEvent& reply)
{
    if (event.eventClass() == openClass && (event.eventID() == openID || event.eventID() == reopenID)) {
        QStringList paths;
        if (const D* direct = event.directObject()) {
            for (const D::Item& item : direct->type() == D::typeList ? direct->items() : std::vector<D::Item>{{0, *direct}}) {
                if (const std::optional<QString> path = item.value.toText())
                    paths.append(*path);
            }
        }
        if (openFiles_)
            openFiles_(paths);
        return;
    }
    if (event.eventClass() == coreClass) {
        switch (event.eventID()) {
        case getID: get(event, reply); return;
        case setID: set(event, reply); return;
        case countID: count(event, reply); return;
        case existsID: {
            Target target;
            AppleEvent ignored = AppleEvent::reply();
            reply.setDirectObject(D::boolean(resolve(event.directObject(), target, ignored)));
            return;
        }
        default: break;
        }
    }
    if (const ScriptingDictionary::Command* found = dictionary_.command(event.eventClass(), event.eventID())) {
        command(*found, event, reply);
        return;
    }
    reply.setError(ScriptErrors::notSupported, ScriptErrors::notSupportedMessage);
}

bool ScriptEventDispatcher::resolve(const EventDescriptor* specifier, Target& target, AppleEvent& reply) const
{
    if (!specifier || specifier->type() == D::typeNull) {
        target = Target();
        return true;
    }
    if (!specifier->isObjectSpecifier()) {
        reply.setError(ScriptErrors::cannotCoerce, QStringLiteral("オブジェクトを指定してください。"));
        return false;
    }
    const D* want = specifier->value(D::keyWant);
    const D* form = specifier->value(D::keyForm);
    const D* seld = specifier->value(D::keySeld);
    if (!want || !form || !seld || !want->toCode() || !form->toCode()) {
        reply.setError(ScriptErrors::cannotCoerce, QStringLiteral("オブジェクトの指定が不完全です。"));
        return false;
    }
    Target container;
    if (!resolve(specifier->value(D::keyFrom), container, reply))
        return false;
    const auto missing = [&] {
        reply.setError(ScriptErrors::noSuchObject, ScriptErrors::noSuchObjectMessage);
        return false;
    };

    if (*form->toCode() == propertyCode) {
        const std::optional<FourCharCode> code = seld->toCode();
        if (!code || container.kind == Target::Kind::property)
            return missing();
        if (container.kind == Target::Kind::application) {
            target = Target();
            target.kind = Target::Kind::property;
            target.inApplication = true;
            target.property = *code;
            return property(target) ? true : missing();
        }
        target = container;
        if (container.kind == Target::Kind::document && *code == selectionCode) {
            target.kind = Target::Kind::selection;
            return true;
        }
        target.kind = Target::Kind::property;
        target.inSelection = container.kind == Target::Kind::selection;
        target.property = *code;
        if (!property(target))
            return missing();
        return true;
    }

    if (*want->toCode() != documentCode || container.kind != Target::Kind::application)
        return missing();
    const std::vector<KoriDocument*> documents = documents_ ? documents_() : std::vector<KoriDocument*>();
    KoriDocument* found = nullptr;
    const FourCharCode how = *form->toCode();
    if (how == fourCharCode("name")) {
        const std::optional<QString> name = seld->toText();
        for (KoriDocument* document : documents) {
            const QString fileName = QFileInfo(document->fileURL()).fileName();
            if (name && (fileName == *name || (fileName.isEmpty() && document->displayName() == *name))) {
                found = document;
                break;
            }
        }
    } else if (how == fourCharCode("indx")) {
        const std::optional<qint64> index = seld->toInteger();
        const qint64 count = qint64(documents.size());
        if (index && *index != 0) {
            const qint64 at = *index > 0 ? *index - 1 : count + *index;
            if (at >= 0 && at < count)
                found = documents[size_t(at)];
        }
    } else if (how == fourCharCode("ID  ")) {
        const std::optional<qint64> id = seld->toInteger();
        for (KoriDocument* document : documents) {
            if (id && documentID(*document) == *id) {
                found = document;
                break;
            }
        }
    } else {
        reply.setError(ScriptErrors::cannotCoerce, QStringLiteral("この形式では書類を指定できません。"));
        return false;
    }
    if (!found)
        return missing();
    target.kind = Target::Kind::document;
    target.document = found;
    return true;
}

const ScriptingDictionary::Property* ScriptEventDispatcher::property(const Target& target) const
{
    const ScriptingDictionary::Class* owner = dictionary_.classNamed(
        target.inApplication ? applicationClass : target.inSelection ? selectionClass : documentClass);
    return owner ? owner->property(target.property) : nullptr;
}

EventDescriptor ScriptEventDispatcher::specifierOf(const Target& target) const
{
    const D document = D::objectSpecifier(documentCode, fourCharCode("ID  "), D::integer(documentID(*target.document)), D());
    if (target.kind == Target::Kind::document)
        return document;
    return D::objectSpecifier(propertyCode, propertyCode, D::typeCode(selectionCode), document);
}

std::optional<EventDescriptor> ScriptEventDispatcher::applicationValue(const QString& key)
{
    if (key == QLatin1String("name"))
        return D::text(QCoreApplication::applicationName());
    if (key == QLatin1String("version"))
        return D::text(QCoreApplication::applicationVersion());
    return std::nullopt;
}

void ScriptEventDispatcher::get(const AppleEvent& event, AppleEvent& reply) const
{
    Target target;
    if (!resolve(event.directObject(), target, reply))
        return;
    switch (target.kind) {
    case Target::Kind::application: {
        std::vector<D> documents;
        for (KoriDocument* document : documents_ ? documents_() : std::vector<KoriDocument*>())
            documents.push_back(specifierOf(Target{Target::Kind::document, document, false, 0}));
        reply.setDirectObject(D::list(std::move(documents)));
        return;
    }
    case Target::Kind::document:
    case Target::Kind::selection:
        reply.setDirectObject(specifierOf(target));
        return;
    case Target::Kind::property: {
        const ScriptingDictionary::Property* found = property(target);
        std::optional<D> value;
        if (target.inApplication)
            value = applicationValue(found->key);
        else if (target.property == fourCharCode("ID  ") && !target.inSelection)
            value = D::integer(documentID(*target.document));
        else if (target.inSelection)
            value = ScriptableSelection(target.document).value(found->key);
        else
            value = ScriptableDocument(target.document).value(found->key);
        if (!value) {
            reply.setError(ScriptErrors::noSuchObject, ScriptErrors::noSuchObjectMessage);
            return;
        }
        reply.setDirectObject(std::move(*value));
        return;
    }
    }
}

void ScriptEventDispatcher::set(const AppleEvent& event, AppleEvent& reply)
{
    Target target;
    if (!resolve(event.directObject(), target, reply))
        return;
    const D* data = event.parameter(keyData);
    if (target.kind != Target::Kind::property || !data) {
        reply.setError(ScriptErrors::cannotCoerce, QStringLiteral("設定できる値ではありません。"));
        return;
    }
    const ScriptingDictionary::Property* found = property(target);
    if (found->readOnly) {
        reply.setError(ScriptErrors::readOnly, ScriptErrors::readOnlyMessage);
        return;
    }
    if (target.inSelection) {
        if (!ScriptableSelection(target.document).setValue(found->key, *data))
            reply.setError(ScriptErrors::readOnly, ScriptErrors::readOnlyMessage);
        return;
    }
    ScriptableDocument document(target.document);
    if (!document.setValue(found->key, *data))
        reply.setError(ScriptErrors::readOnly, ScriptErrors::readOnlyMessage);
    else if (const auto& refusal = document.refusal())
        reply.setError(refusal->number, refusal->message);
}

void ScriptEventDispatcher::count(const AppleEvent& event, AppleEvent& reply) const
{
    Target target;
    if (!resolve(event.directObject(), target, reply))
        return;
    const D* each = event.parameter(keyClass);
    if (target.kind != Target::Kind::application || (each && each->toCode() != documentCode)) {
        reply.setError(ScriptErrors::cannotCoerce, QStringLiteral("数えられる要素ではありません。"));
        return;
    }
    reply.setDirectObject(D::integer(documents_ ? qint64(documents_().size()) : 0));
}

void ScriptEventDispatcher::command(const ScriptingDictionary::Command& found, const AppleEvent& event, AppleEvent& reply)
{
    ScriptCommand script(found.name, event.directObject() ? std::optional<D>(*event.directObject()) : std::nullopt,
                         dictionary_.arguments(found, event));

    if (found.implementationClass == QLatin1String("KoriConsoleCommand")) {
        // Any value is written: one that is not a text as its description, none as an empty line.
        const QString text = event.directObject() ? ScriptCommand::description(*event.directObject()) : QString();
        ScriptConsole::shared().append(text, script.boolean(QStringLiteral("title")).value_or(false),
                                       script.boolean(QStringLiteral("timestamp")).value_or(false));
        return;
    }
    if (found.eventClass == openClass && found.eventID == quitID) {
        quit(script, reply);
        return;
    }

    Target target;
    const D* direct = found.directParameterType == QLatin1String("text") ? nullptr : event.directObject();
    if (!resolve(direct, target, reply))
        return;
    if (target.kind == Target::Kind::application) {
        // Without a target a command acts on the frontmost document.
        const std::vector<KoriDocument*> documents = documents_ ? documents_() : std::vector<KoriDocument*>();
        if (documents.empty()) {
            reply.setError(ScriptErrors::noSuchObject, QStringLiteral("書類が開いていません。"));
            return;
        }
        target.kind = found.directParameterType == selectionClass ? Target::Kind::selection : Target::Kind::document;
        target.document = documents.front();
    }
    const ScriptingDictionary::Class* owner =
        dictionary_.classNamed(target.kind == Target::Kind::selection ? selectionClass : documentClass);
    const QString method = owner && target.kind != Target::Kind::property ? owner->method(found.name) : QString();
    if (method.isEmpty()) {
        reply.setError(ScriptErrors::notSupported, ScriptErrors::notSupportedMessage);
        return;
    }
    std::optional<D> value;
    if (target.kind == Target::Kind::selection)
        ScriptableSelection(target.document).perform(method, script);
    else
        value = ScriptableDocument(target.document).perform(method, script);
    if (script.errorNumber() != 0) {
        reply.setError(script.errorNumber(), script.errorString());
        if (value)
            reply.setDirectObject(std::move(*value));
        return;
    }
    if (value)
        reply.setDirectObject(std::move(*value));
}

void ScriptEventDispatcher::quit(ScriptCommand& script, AppleEvent& reply)
{
    if (!quit_) {
        reply.setError(ScriptErrors::notSupported, ScriptErrors::notSupportedMessage);
        return;
    }
    // Events are served inside a dialog's own loop, whose opener may hold any window.
    if (WindowSheet::isAnyOpen()) {
        reply.setError(ScriptErrors::dialogOpen, ScriptableDocument::dialogOpenQuitMessage);
        return;
    }
    const QString saving = script.text(QStringLiteral("saveOptions")).value_or(QStringLiteral("ask"));
    if (saving != QLatin1String("ask")) {
        std::vector<QPointer<KoriDocument>> documents;
        for (KoriDocument* document : documents_ ? documents_() : std::vector<KoriDocument*>())
            documents.emplace_back(document);
        // Saving stops at the first failure, and then nothing quits.
        if (saving == QLatin1String("yes")) {
            for (const QPointer<KoriDocument>& document : documents) {
                if (document && document->isDocumentEdited() && !ScriptableDocument(document).save(script)) {
                    reply.setError(script.errorNumber(), script.errorString());
                    return;
                }
            }
        }
        for (const QPointer<KoriDocument>& document : documents)
            if (document)
                document->close();
    }
    // The reply goes out before the program ends, and the questions quitting asks come up only
    // once no other dialog is open.
    WindowSheet::afterAllClosed(quit_);
}

}  // namespace korimado
