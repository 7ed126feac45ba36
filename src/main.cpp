// Entry point: opens each file given on the command line, or one untitled document.
#include "app/DocumentWindow.h"
#include "document/KoriDocument.h"
#include "document/KoriDocumentController.h"
#include "platform/QtAlertPresenter.h"
#include "platform/QtFilePanels.h"

#include <QApplication>
#include <QFileInfo>

#include <cstdio>
#include <cstring>

using namespace korimado;

int main(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("Korimado %s\n", KORIMADO_VERSION);
            return 0;
        }
    }
    QApplication app(argc, argv);
    QApplication::setOrganizationName("Korimado");
    QApplication::setApplicationName("Korimado");
    QApplication::setApplicationVersion(KORIMADO_VERSION);

    KoriDocument::setWindowControllerFactory(
        [](KoriDocument& document) { return std::make_unique<DocumentWindow>(document); });
    KoriDocumentController controller;
    QtAlertPresenter alerts;
    QtFilePanels panels;
    controller.setAlertPresenter(&alerts);
    controller.setFilePanels(&panels);

    const QStringList arguments = app.arguments().mid(1);
    int opened = 0;
    for (const QString& argument : arguments) {
        if (argument.startsWith(QLatin1String("--"))) continue;
        controller.openDocument(QFileInfo(argument).absoluteFilePath(), true,
                                [](Document*, bool, std::optional<ErrorInfo>) {});
        ++opened;
    }
    if (opened == 0) controller.openUntitledDocumentAndDisplay(true);
    return app.exec();
}
