#pragma once

#include "platform/events/AppleEvent.h"
#include "platform/events/ScriptingDictionary.h"

#include <QStringList>

#include <functional>
#include <vector>

namespace korimado {

class AppleEventManager;
class KoriDocument;
class ScriptCommand;

// Routes the events of the program's dictionary to the documents and their selections: object
// specifiers are resolved (documents by name, index and ID; properties by code), get and set go
// through the properties' keys and access, and every other command goes to the handler its
// target's class names for it. Runs on the main thread, as the event manager delivers.
class ScriptEventDispatcher {
public:
    using DocumentList = std::function<std::vector<KoriDocument*>()>;
    using FileOpener = std::function<void(const QStringList& paths)>;
    using Quitter = std::function<void()>;

    // documents: the open documents, frontmost first. openFiles: how the program opens files.
    // quit: how the program quits, asking about unsaved changes as its menu command does.
    ScriptEventDispatcher(ScriptingDictionary dictionary, DocumentList documents, FileOpener openFiles = {},
                          Quitter quit = {});
    ~ScriptEventDispatcher();

    // Hands every command of the dictionary, and the open-documents events, to this dispatcher.
    void install(AppleEventManager& manager);
    void uninstall();

    void handle(const AppleEvent& event, AppleEvent& reply);

    // The ID a document is known by in scripts while it is open.
    static qint64 documentID(const KoriDocument& document);

private:
    struct Target;
    bool resolve(const EventDescriptor* specifier, Target& target, AppleEvent& reply) const;
    EventDescriptor specifierOf(const Target& target) const;
    const ScriptingDictionary::Property* property(const Target& target) const;
    // The application's own properties by key: its name and version.
    static std::optional<EventDescriptor> applicationValue(const QString& key);
    void get(const AppleEvent& event, AppleEvent& reply) const;
    void set(const AppleEvent& event, AppleEvent& reply);
    void count(const AppleEvent& event, AppleEvent& reply) const;
    void command(const ScriptingDictionary::Command& command, const AppleEvent& event, AppleEvent& reply);
    void quit(ScriptCommand& command, AppleEvent& reply);

    ScriptingDictionary dictionary_;
    DocumentList documents_;
    FileOpener openFiles_;
    Quitter quit_;
    AppleEventManager* manager_ = nullptr;
    std::vector<std::pair<FourCharCode, FourCharCode>> installed_;
};

}  // namespace korimado
