// The main of every test binary: offscreen platform, temporary XDG folders, one Qt application.
#include "app/ApplicationIdentity.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>
#include <QUuid>

#include <cstdlib>

#ifdef KORIMADO_TEST_GUI
#include <QApplication>
using TestApplication = QApplication;
#else
#include <QCoreApplication>
using TestApplication = QCoreApplication;
#endif

namespace {

QString makePrivateDir(const QString& root, const char* name)
{
    const QString path = root + "/" + name;
    QDir().mkpath(path);
    QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    return path;
}

// The folders of this process. Removed by the last exit handler: the application, the stores
// saved at exit and Qt's own post routines may still write into them after main's last line.
QString& temporaryRoot()
{
    static QString root;
    return root;
}

void removeTemporaryRoot()
{
    if (!temporaryRoot().isEmpty()) QDir(temporaryRoot()).removeRecursively();
}

}  // namespace

int main(int argc, char** argv)
{
    // The environment is set here, not through CTest properties, so that every variable survives.
    const QString root = QDir::tempPath() + "/korimado-tests-" + QUuid::createUuid().toString(QUuid::WithoutBraces);
    temporaryRoot() = root;
    // Registered first, so that it runs after every handler registered later.
    std::atexit(removeTemporaryRoot);
    QDir().mkpath(root);
    setenv("XDG_CONFIG_HOME", makePrivateDir(root, "config").toUtf8().constData(), 1);
    setenv("XDG_DATA_HOME", makePrivateDir(root, "data").toUtf8().constData(), 1);
    setenv("XDG_CACHE_HOME", makePrivateDir(root, "cache").toUtf8().constData(), 1);
    setenv("XDG_STATE_HOME", makePrivateDir(root, "state").toUtf8().constData(), 1);
    setenv("XDG_RUNTIME_DIR", makePrivateDir(root, "runtime").toUtf8().constData(), 1);
    setenv("HOME", makePrivateDir(root, "home").toUtf8().constData(), 1);
    // KORIMADO_TEST_PLATFORM=xcb runs the window tests on a (virtual) display, for screenshots.
    const char* platform = getenv("KORIMADO_TEST_PLATFORM");
    setenv("QT_QPA_PLATFORM", platform && *platform ? platform : "offscreen", 1);
    setenv("QTWEBENGINE_DISABLE_SANDBOX", "1", 1);
    setenv("QTWEBENGINE_CHROMIUM_FLAGS", "--no-sandbox --disable-gpu", 1);
    setenv("LANG", "C.UTF-8", 0);

    ::testing::InitGoogleTest(&argc, argv);
    korimado::Bundle::configure(korimado::applicationBundleConfiguration());
    int result = 0;
    {
        TestApplication app(argc, argv);
        TestApplication::setOrganizationName("Korimado");
        TestApplication::setApplicationName("Korimado");
        result = RUN_ALL_TESTS();
    }
    return result;
}
