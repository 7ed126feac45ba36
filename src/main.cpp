// Entry point: reads the flags, installs the application delegate and runs the event loop.
#include "app/ApplicationDelegate.h"
#include "app/ApplicationIdentity.h"
#include "platform/ui/AlertPresenter.h"
#include "platform/ui/FilePanels.h"
#include "platform/ui/QtAlertPresenter.h"
#include "platform/ui/QtFilePanels.h"
#include "platform/ui/QtTranslations.h"

#include <QApplication>

#include <cstdio>
#include <cstring>
#include <memory>

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
    if (hasArgument(argc, argv, "--version")) {
        std::printf("Korimado %s\n", KORIMADO_VERSION);
        return 0;
    }
    // Self-test reports are read while the suite runs.
    if (hasArgument(argc, argv, "--ui-self-test"))
        std::setvbuf(stdout, nullptr, _IONBF, 0);

    // The preview's web engine starts later, from its own module (preview/PreviewEngineLoader);
    // as root its sandbox cannot start.
    if (geteuid() == 0 && qEnvironmentVariableIsEmpty("QTWEBENGINE_DISABLE_SANDBOX"))
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");

    Bundle::configure(applicationBundleConfiguration());
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Korimado"));
    QApplication::setApplicationName(QStringLiteral("Korimado"));
    QApplication::setApplicationVersion(QStringLiteral(KORIMADO_VERSION));
    // The desktop entry this program is started from, for the window manager and the task bar.
    QApplication::setDesktopFileName(applicationBundleConfiguration().identifier);
    // Qt's own dialogs read Japanese as the rest of the program does.
    QtTranslations::install(QStringLiteral("ja"));

    QtAlertPresenter alerts;
    QtFilePanels panels;
    AlertPresenter::setShared(&alerts);
    FilePanels::setShared(&panels);

    const QStringList arguments = QApplication::arguments();
    delegate = std::make_unique<ApplicationDelegate>(arguments);

    delegate->applicationWillFinishLaunching();
    delegate->openFiles(ApplicationDelegate::fileArguments(arguments));
    delegate->applicationDidFinishLaunching();
    app.exec();
    delegate.reset();
    AlertPresenter::setShared(nullptr);
    FilePanels::setShared(nullptr);
    return 0;
}
