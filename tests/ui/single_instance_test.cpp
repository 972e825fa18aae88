// One window per settings directory: a second fernhop brings the first forward and ends without
// touching a file; batch and site commands are never held back by an open window.
#include "WindowFixture.h"

#include "ui/SingleInstance.h"

#include <QCryptographicHash>
#include <QDirIterator>
#include <QProcess>
#include <QSignalSpy>
#include <gtest/gtest.h>

namespace {

// Every file of the directory with its bytes and modification time.
std::map<QString, QString> Snapshot(const QString &dir)
{
    std::map<QString, QString> files;
    QDirIterator it(dir, QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        QFile file(path);
        file.open(QIODevice::ReadOnly);
        files[path] = QString::fromLatin1(QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256).toHex()) +
                      " " + QString::number(it.fileInfo().lastModified().toMSecsSinceEpoch());
    }
    return files;
}

class SecondStart : public ::testing::Test, public WindowFixture {
protected:
    // Runs fernhop with the fixture's settings directory while this process's loop goes on.
    int Fernhop(const QStringList &args, QString *errors = nullptr)
    {
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("FERNHOP_HOME", SettingsDir());
        env.insert("QT_QPA_PLATFORM", "offscreen");
        process.setProcessEnvironment(env);
        process.start(FERNHOP_BINARY, args);
        EXPECT_TRUE(process.waitForStarted());
        EXPECT_TRUE(RunUntil([&] { return process.state() == QProcess::NotRunning; }, 60000));
        if (errors)
            *errors = QString::fromLocal8Bit(process.readAllStandardError());
        return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    }
};

} // namespace

TEST_F(SecondStart, BringsTheFirstWindowForwardAndTouchesNoFile)
{
    ASSERT_EQ(Fernhop({"--add-site", "web", "--server", "127.0.0.1", "--user", "joe", "--password", "pw", "--local",
                       QString::fromStdString(Directory("local")), "--remote", "/www"}),
              0);
    Open();
    SingleInstance first;
    const QString name = SingleInstance::ServerName(SettingsDir());
    ASSERT_TRUE(first.Listen(name));
    QObject::connect(&first, &SingleInstance::forwardRequested, window.get(), &MainWindow::ComeForward);
    QSignalSpy forward(&first, &SingleInstance::forwardRequested);
    window->showMinimized();
    const auto before = Snapshot(SettingsDir());
    ASSERT_FALSE(before.empty());

    QString errors;
    EXPECT_EQ(Fernhop({"web"}, &errors), 0) << errors.toStdString();
    EXPECT_EQ(forward.count(), 1);
    EXPECT_FALSE(window->isMinimized());
    EXPECT_EQ(Snapshot(SettingsDir()), before);

    // Site commands and batch runs are not windows: they run beside it.
    EXPECT_EQ(Fernhop({"--list-sites"}), 0);
    EXPECT_EQ(forward.count(), 1);
}

TEST_F(SecondStart, AnotherSettingsDirectoryIsAnotherWindow)
{
    EXPECT_NE(SingleInstance::ServerName(SettingsDir()), SingleInstance::ServerName(SettingsDir() + "2"));
    EXPECT_EQ(SingleInstance::ServerName(SettingsDir()), SingleInstance::ServerName(SettingsDir() + "/"));
    // Nobody listens: the first window of a directory is not held back by a crashed one's socket.
    EXPECT_FALSE(SingleInstance::AskRunningWindowForward(SingleInstance::ServerName(SettingsDir())));
}
