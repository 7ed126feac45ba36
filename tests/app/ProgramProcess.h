#pragma once

// The program itself, started offscreen on a bus of the test's own with a temporary HOME, and
// asked through the command-line client.
#include "scripting/PrivateBus.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <QProcess>
#include <QProcessEnvironment>

#include <memory>
#include <vector>

namespace korimado::test {

class ProgramProcess {
public:
    ProgramProcess(const PrivateBus& bus, const TempDir& dir) : environment_(QProcessEnvironment::systemEnvironment())
    {
        environment_.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), bus.address());
        environment_.insert(QStringLiteral("HOME"), dir.path());
        environment_.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.file(QStringLiteral("config")));
        environment_.insert(QStringLiteral("XDG_DATA_HOME"), dir.file(QStringLiteral("data")));
        environment_.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        workingFolder_ = dir.path();
    }
    ~ProgramProcess()
    {
        for (const auto& process : processes_) {
            if (process->state() == QProcess::NotRunning)
                continue;
            process->terminate();
            if (!process->waitForFinished(10000))
                process->kill();
            process->waitForFinished(5000);
        }
    }
    ProgramProcess(const ProgramProcess&) = delete;
    ProgramProcess& operator=(const ProgramProcess&) = delete;

    // A start of the program with these arguments; stopped with the fixture if still running.
    QProcess& start(const QStringList& arguments)
    {
        return launch(QStringLiteral(KORIMADO_PROGRAM_PATH), arguments);
    }
    // A start whose arguments are given as the shell's printf formats, for names QProcess cannot
    // pass (bytes that are not UTF-8).
    QProcess& startWithRawArguments(const QStringList& printfFormats)
    {
        QString script = QStringLiteral("exec \"$0\"");
        for (const QString& format : printfFormats)
            script += QStringLiteral(" \"$(printf '%1')\"").arg(format);
        return launch(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), script, QStringLiteral(KORIMADO_PROGRAM_PATH)});
    }

    // The client's standard output for one event, trimmed.
    QString client(const QStringList& arguments) const
    {
        QProcess client;
        client.setProcessEnvironment(environment_);
        client.start(QStringLiteral(KORIMADO_EVENT_PATH), arguments);
        client.waitForFinished(15000);
        return QString::fromUtf8(client.readAllStandardOutput()).trimmed();
    }
    QString countDocuments() const
    {
        return client({QStringLiteral("core"), QStringLiteral("cnte"), QStringLiteral("kocl={\"type\":\"docu\"}")});
    }

    QProcessEnvironment& environment() { return environment_; }

private:
    QProcess& launch(const QString& program, const QStringList& arguments)
    {
        processes_.push_back(std::make_unique<QProcess>());
        QProcess& process = *processes_.back();
        process.setProcessEnvironment(environment_);
        process.setWorkingDirectory(workingFolder_);
        process.start(program, arguments);
        EXPECT_TRUE(process.waitForStarted(10000));
        return process;
    }

    QProcessEnvironment environment_;
    QString workingFolder_;
    std::vector<std::unique_ptr<QProcess>> processes_;
};

inline bool finishes(QProcess& process, int timeoutMs = 30000)
{
    return spinUntil([&] { return process.state() == QProcess::NotRunning; }, timeoutMs);
}

}  // namespace korimado::test
