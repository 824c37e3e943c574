#pragma once

#include <QObject>
#include <QString>

class QLocalServer;

namespace tess {

// One running application per user. The first instance listens on a local
// socket in the user's runtime folder; a later one tells it to show its
// window and then leaves.
class SingleInstance : public QObject {
    Q_OBJECT

public:
    // `socketPath` empty: socketPathForUser().
    explicit SingleInstance(QString socketPath = {}, QObject* parent = nullptr);
    ~SingleInstance() override;

    // True when this process is the first: it now listens (taking over a
    // socket left by an instance that died). False when another instance
    // answered and was asked to reopen its window.
    bool claim();

    const QString& socketPath() const { return m_socketPath; }

    // $XDG_RUNTIME_DIR/app.quenby.Tessaline.sock, or a per-user name in the
    // temporary folder when that variable is unset.
    static QString socketPathForUser();

signals:
    // Another launch asked this instance to show its window.
    void reopenRequested();

private:
    bool askRunningInstance();

    QString m_socketPath;
    QLocalServer* m_server = nullptr;
};

}  // namespace tess
