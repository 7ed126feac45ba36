// Entry point: reads the flags, installs the application delegate and runs the event loop.
#include "app/ApplicationDelegate.h"
#include "app/ApplicationEventService.h"
#include "app/DocumentStacking.h"
#include "app/ApplicationIdentity.h"
#include "app/CommandLine.h"
#include "app/SessionEnd.h"
#include "document/KoriDocument.h"
#include "document/KoriDocumentController.h"
#include "platform/documents/DocumentController.h"
#include "platform/ui/WindowController.h"
#include "platform/events/AppleEventManager.h"
#include "platform/ui/ActionDispatcher.h"
#include "platform/foundation/Bundle.h"
#include "scripting/objects/ScriptEventDispatcher.h"
#include "platform/ui/AlertPresenter.h"
#include "platform/ui/FilePanels.h"
#include "platform/ui/QtAlertPresenter.h"
#include "platform/ui/QtFilePanels.h"
#include "platform/ui/QtTranslations.h"

#include <QApplication>
#include <QTimer>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include <unistd.h>

using namespace korimado;

namespace {

// The one delegate of the process, kept for its whole life.
std::unique_ptr<ApplicationDelegate> delegate;

bool hasArgument(int argc, char** argv, const char* flag)
{
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], flag) == 0)
            return true;
    return false;
}

}  // namespace

int main(int argc, char** argv)
{
    // Answered before anything starts: no display, no bus, no window.
    std::string problem;
    switch (CommandLine::check(argc, argv, &problem)) {
    case CommandLine::Request::help: std::fputs(CommandLine::usage(), stdout); return 0;
    case CommandLine::Request::version: std::printf("Korimado %s\n", KORIMADO_VERSION); return 0;
    case CommandLine::Request::invalid:
        std::fprintf(stderr, "korimado: %s\n詳しくは korimado --help を見てください。\n", problem.c_str());
        return 2;
    case CommandLine::Request::start: break;
    }
    // Self-test reports are read while the suite runs.
    if (hasArgument(argc, argv, "--ui-self-test"))
        std::setvbuf(stdout, nullptr, _IONBF, 0);

    // The preview's web engine starts later, from its own module (preview/PreviewEngineLoader);
    // as root its sandbox cannot start.
    if (geteuid() == 0 && qEnvironmentVariableIsEmpty("QTWEBENGINE_DISABLE_SANDBOX"))
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");

    // Nothing here draws with OpenGL: the widgets paint in software and so does the preview's
    // scene graph, with the engine's OpenGL off. Without this the X platform still brings up an
    // OpenGL driver for the preview's window (under a virtual display a software one, ~30 MB).
    if (qEnvironmentVariableIsEmpty("QT_XCB_GL_INTEGRATION"))
        qputenv("QT_XCB_GL_INTEGRATION", "none");

    Bundle::configure(applicationBundleConfiguration());
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Korimado"));
    QApplication::setApplicationName(QStringLiteral("Korimado"));
    QApplication::setApplicationVersion(QStringLiteral(KORIMADO_VERSION));
    // The desktop entry this program is started from, for the window manager and the task bar.
    QApplication::setDesktopFileName(applicationBundleConfiguration().identifier);
    // Qt's own dialogs read Japanese as the rest of the program does.
    QtTranslations::install(Bundle::preferredLocalizations().value(0));

    // What Qt left of the command line, from its bytes: Qt's own decoding loses a file name that
    // is not UTF-8.
    const QStringList arguments = CommandLine::arguments(argc, argv);
    // One program per user: a later start gives its files to the running one and ends.
    ApplicationEventService events(hasArgument(argc, argv, "--ui-self-test"));
    QString refusal;
    switch (events.handOver(ApplicationDelegate::fileArguments(arguments), &refusal)) {
    case ApplicationEventService::HandOver::handedOver: return 0;
    case ApplicationEventService::HandOver::refused:
        std::fprintf(stderr, "korimado: %s\n", refusal.toUtf8().constData());
        return 1;
    case ApplicationEventService::HandOver::none: break;
    }

    QtAlertPresenter alerts;
    QtFilePanels panels;
    AlertPresenter::setShared(&alerts);
    FilePanels::setShared(&panels);

    delegate = std::make_unique<ApplicationDelegate>(arguments);

    // Scripts reach the documents through the dictionary the program ships.
    std::unique_ptr<ScriptEventDispatcher> scripting;
    if (std::optional<ScriptingDictionary> dictionary =
            ScriptingDictionary::load(Bundle::main().path(QStringLiteral("Korimado"), QStringLiteral("sdef")))) {
        // Front to back, as the windows are stacked now: "document 1" is the one the user sees.
        const auto documents = [] {
            DocumentController* controller = DocumentController::shared();
            return controller ? DocumentStacking::frontToBack(controller->documents()) : std::vector<KoriDocument*>();
        };
        const auto openFiles = [documents](const QStringList& paths) {
            // The start that sent them waits for the answer: it goes first, and opening (with
            // any alert it shows) comes after.
            QTimer::singleShot(0, qApp, [documents, paths] {
                if (!delegate)
                    return;
                // Opening shows each file's window; a start without files brings the front one up.
                delegate->openFiles(paths);
                const std::vector<KoriDocument*> open = documents();
                if (paths.isEmpty() && !open.empty() && !open.front()->windowControllers().empty())
                    open.front()->windowControllers().front()->showWindow();
            });
        };
        // A script's quit takes the menu command's road: unsaved changes are asked about.
        const auto quit = [] {
            ActionDispatcher& actions = ActionDispatcher::shared();
            actions.sendAction(QStringLiteral("terminate:"), actions.applicationDelegate(), nullptr);
        };
        scripting = std::make_unique<ScriptEventDispatcher>(std::move(*dictionary), documents, openFiles, quit);
        scripting->install(AppleEventManager::shared());
    }

    // Logout, shutdown or a kill: the edits since the last autosave tick are written first.
    SessionEnd sessionEnd(delegate->documents(), [&events] { events.withdraw(); });

    delegate->applicationWillFinishLaunching();
    delegate->openFiles(ApplicationDelegate::fileArguments(arguments));
    delegate->applicationDidFinishLaunching();
    if (!sessionEnd.isEnding())
        app.exec();
    scripting.reset();
    delegate.reset();
    AlertPresenter::setShared(nullptr);
    FilePanels::setShared(nullptr);
    return 0;
}
