#pragma once
// Runs the fernhop program itself with a settings directory of the test's own.
#include <QProcess>
#include <QString>
#include <QStringList>
#include <gtest/gtest.h>
#include <linux/capability.h>
#include <string>
#include <sys/prctl.h>

struct FernhopRun {
    int status = -1;
    std::string out, err;
};

// `environment`: more variables for the run, "NAME=VALUE" each. fileModesApply: the program runs
// without root's power to read and enter whatever the modes say (the tests run as root), so that
// a file of mode 000 is as unreadable to it as to a user.
inline FernhopRun RunFernhop(const QString &settingsDir, const QStringList &args, int timeoutMs = 120000,
                             const QStringList &environment = {}, bool fileModesApply = false)
{
    QProcess p;
    if (fileModesApply)
        p.setChildProcessModifier([] {
            ::prctl(PR_CAPBSET_DROP, CAP_DAC_OVERRIDE, 0, 0, 0);
            ::prctl(PR_CAPBSET_DROP, CAP_DAC_READ_SEARCH, 0, 0, 0);
        });
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
