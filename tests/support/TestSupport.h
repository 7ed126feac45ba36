#pragma once

#include <QByteArray>
#include <QString>

#include <functional>

namespace korimado::test {

// A fresh temporary folder for one test, removed with the object.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    QString path() const { return path_; }
    QString file(const QString& name) const;
    // Writes bytes to name inside the folder (creating subfolders) and returns the full path.
    QString write(const QString& name, const QByteArray& bytes) const;

private:
    QString path_;
};

QByteArray readFile(const QString& path);

// Runs a plain event loop, polled every 5 ms, until done() holds or timeoutMs has passed, and
// returns done(). Timers, posted calls and deferred deletions all run; the web engine, which
// starves under QTest::qWaitFor, runs too.
bool spinUntil(const std::function<bool()>& done, int timeoutMs = 10000);
// Runs the event loop for ms.
void spinFor(int ms);

// Where the test main put the temporary XDG folders of this process.
QString testConfigHome();
QString testDataHome();

}  // namespace korimado::test
