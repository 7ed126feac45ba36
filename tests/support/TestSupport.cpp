#include "support/TestSupport.h"

#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTimer>
#include <QUuid>

#include <filesystem>
#include <system_error>

namespace korimado::test {

TempDir::TempDir()
{
    path_ = QDir::tempPath() + "/korimado-test-" + QUuid::createUuid().toString(QUuid::WithoutBraces);
    QDir().mkpath(path_);
}

TempDir::~TempDir()
{
    // By bytes: QDir cannot name entries whose names are not UTF-8, and leaves them behind.
    std::error_code ignored;
    std::filesystem::remove_all(QFile::encodeName(path_).toStdString(), ignored);
    // remove_all stops at the first entry it cannot remove; what else can go still goes.
    if (ignored) QDir(path_).removeRecursively();
}

QString TempDir::file(const QString& name) const
{
    return path_ + "/" + name;
}

QString TempDir::write(const QString& name, const QByteArray& bytes) const
{
    const QString full = file(name);
    QDir().mkpath(QFileInfo(full).absolutePath());
    QFile f(full);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) return {};
    f.write(bytes);
    return full;
}

QByteArray readFile(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    return f.readAll();
}

QString testConfigHome()
{
    return qEnvironmentVariable("XDG_CONFIG_HOME");
}

QString testDataHome()
{
    return qEnvironmentVariable("XDG_DATA_HOME");
}

bool spinUntil(const std::function<bool()>& done, int timeoutMs)
{
    if (done()) return true;
    QElapsedTimer clock;
    clock.start();
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (done() || clock.elapsed() >= timeoutMs) loop.quit();
    });
    poll.start(5);
    loop.exec();
    return done();
}

void spinFor(int ms)
{
    spinUntil([] { return false; }, ms);
}

}  // namespace korimado::test
