#include "support/TestSupport.h"

#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTimer>
#include <QUuid>

#include <ftw.h>

#include <cstdio>

namespace korimado::test {

TempDir::TempDir()
{
    path_ = QDir::tempPath() + "/korimado-test-" + QUuid::createUuid().toString(QUuid::WithoutBraces);
    QDir().mkpath(path_);
}

TempDir::~TempDir()
{
    // By bytes first: some tests leave names that are not UTF-8, which QDir cannot name.
    ::nftw(
        QFile::encodeName(path_).constData(),
        [](const char* path, const struct stat*, int, struct FTW*) { ::remove(path); return 0; }, 16,
        FTW_DEPTH | FTW_PHYS);
    if (QFileInfo::exists(path_)) QDir(path_).removeRecursively();
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
