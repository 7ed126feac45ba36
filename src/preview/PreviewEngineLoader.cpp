#include "preview/PreviewEngineLoader.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLibrary>
#include <QOpenGLContext>
#include <QSurfaceFormat>

// Exported by QtGui for the engines that share one OpenGL context with every window. Linked into
// the program, the web engine would make that context inside the application object's
// constructor; loaded later, it finds the one made here.
Q_GUI_EXPORT void qt_gl_set_global_share_context(QOpenGLContext* context);
Q_GUI_EXPORT QOpenGLContext* qt_gl_global_share_context();

namespace korimado {

namespace {

constexpr const char* moduleName = "korimado_preview_web";

struct State {
    bool tried = false;
    PreviewBrowser::Factory factory = nullptr;
    QString error;
};

State& state()
{
    static State s;
    return s;
}

// The engine reads the format of a share context when it starts, even though its views draw in
// software and it runs with OpenGL off. It never draws with it, so the context is not created:
// creating it brought up the OpenGL driver (a software one under a virtual display: about 24 MB
// of the program's memory) for nothing.
void makeShareContext()
{
    if (qt_gl_global_share_context()) return;
    auto* context = new QOpenGLContext(QCoreApplication::instance());
    context->setFormat(QSurfaceFormat::defaultFormat());
    qt_gl_set_global_share_context(context);
}

// Read by the engine when it starts; the user's own flags stay and come last, so they win. One
// renderer serves every window's preview. Without a sandbox the zygotes, which exist only to start
// sandboxed renderers, are two processes for nothing (about 35 MB).
void limitEngineProcesses()
{
    QByteArray flags = "--renderer-process-limit=1";
    if (qgetenv("QTWEBENGINE_DISABLE_SANDBOX") == "1") flags += " --no-zygote";
    const QByteArray own = qgetenv("QTWEBENGINE_CHROMIUM_FLAGS");
    qputenv("QTWEBENGINE_CHROMIUM_FLAGS", own.isEmpty() ? flags : flags + ' ' + own);
}

}  // namespace

QStringList PreviewEngineLoader::searchPaths()
{
    const QString dir = QCoreApplication::applicationDirPath();
    QStringList paths{dir + QLatin1Char('/') + QLatin1String(moduleName),
                      QDir::cleanPath(dir + QStringLiteral("/../lib/korimado/modules")) + QLatin1Char('/')
                          + QLatin1String(moduleName)};
#ifdef KORIMADO_BUILD_MODULE_DIR
    // Test programs and benches of the build tree run from other folders.
    paths.append(QStringLiteral(KORIMADO_BUILD_MODULE_DIR "/") + QLatin1String(moduleName));
#endif
    return paths;
}

PreviewBrowser::Factory PreviewEngineLoader::factory()
{
    State& s = state();
    if (s.tried) return s.factory;
    s.tried = true;
    QString failure;
    for (const QString& path : searchPaths()) {
        if (!QFileInfo::exists(path + QStringLiteral(".so"))) continue;
        makeShareContext();
        limitEngineProcesses();
        // Never unloaded: the engine keeps threads and callbacks into it until the process ends.
        auto* library = new QLibrary(path);
        library->setLoadHints(QLibrary::PreventUnloadHint);
        if (auto f = reinterpret_cast<PreviewBrowser::Factory>(library->resolve(PreviewBrowser::factoryName))) {
            s.factory = f;
            return f;
        }
        failure = library->errorString();
        delete library;
    }
    s.error = failure.isEmpty() ? QStringLiteral("%1 was not found").arg(QLatin1String(moduleName)) : failure;
    return nullptr;
}

QString PreviewEngineLoader::error()
{
    return state().error;
}

}  // namespace korimado
