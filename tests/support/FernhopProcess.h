#pragma once
// Runs the fernhop program itself with a settings directory of the test's own.
#include <QProcess>
#include <QString>
#include <QStringList>
#include <gtest/gtest.h>
#include <string>

struct FernhopRun {
    int status = -1;
    std::string out, err;
};

// `environment`: more variables for the run, "NAME=VALUE" each.
inline FernhopRun RunFernhop(const QString &settingsDir, const QStringList &args, int timeoutMs = 120000,
                             const QStringList &environment = {})
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("FERNHOP_HOME", settingsDir);
    for (const QString &variable : environment)
        env.insert(variable.section('=', 0, 0), variable.section('=', 1));
    p.setProcessEnvironment(env);
    p.start(FERNHOP_BINARY, args);
    p.closeWriteChannel();
    EXPECT_TRUE(p.waitForFinished(timeoutMs)) << "fernhop did not finish";
    return {p.exitCode(), p.readAllStandardOutput().toStdString(), p.readAllStandardError().toStdString()};
}
