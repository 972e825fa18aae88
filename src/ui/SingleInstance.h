#pragma once
// One window per settings directory. The first window listens on a local socket named from the
// settings directory; a second start finds it listening, asks it to come forward and ends
// without touching a file. Batch runs and the site commands never ask.
#include <QObject>
#include <QString>

class QLocalServer;

class SingleInstance : public QObject {
    Q_OBJECT
public:
    explicit SingleInstance(QObject *parent = nullptr);
    ~SingleInstance() override;

    // The socket name for a settings directory (the same directory always gives the same name).
    static QString ServerName(const QString &settingsDirectory);

    // True when another window of that settings directory answered and was asked to come
    // forward: this program must then end.
    static bool AskRunningWindowForward(const QString &serverName);
    // Starts listening as the first window (a socket left by a crashed window is replaced).
    bool Listen(const QString &serverName);

signals:
    // A second start asked this window to come forward.
    void forwardRequested();

private:
    QLocalServer *server_ = nullptr;
};
