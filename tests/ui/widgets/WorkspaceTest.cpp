#include "WidgetTestSupport.h"

#include "TempDir.h"
#include "ui/widgets/DesktopWorkspace.h"

#include <QClipboard>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QFile>
#include <QProcess>
#include <QTest>

#include <string>
#include <vector>

namespace tess {
namespace {

using namespace std::string_literals;

class WorkspaceTest : public testing::Test {
protected:
    static void SetUpTestSuite() { test::widgetApplication(); }
};

TEST_F(WorkspaceTest, FileUrlsKeepEveryByteOfThePath)
{
    struct Case {
        std::string path;
        QByteArray encoded;
        QByteArray parent;
    };
    const Case cases[] = {
        {"/home/u/a b/<b>x</b>.txt", "file:///home/u/a%20b/%3Cb%3Ex%3C/b%3E.txt", "file:///home/u/a%20b/%3Cb%3Ex%3C"},
        {"/tmp/R&D\xFF.txt", "file:///tmp/R%26D%FF.txt", "file:///tmp"},
        {"/top.txt", "file:///top.txt", "file:///"},
        {"/tmp/dir/", "file:///tmp/dir/", "file:///tmp"},
        {"/tmp/caf\u00E9", "file:///tmp/caf%C3%A9", "file:///tmp"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(Workspace::fileUrl(c.path).toEncoded(), c.encoded);
        EXPECT_EQ(DesktopWorkspace::parentFolderUrl(c.path).toEncoded(), c.parent);
    }
}

TEST_F(WorkspaceTest, CopiesPlainTextToTheClipboard)
{
    DesktopWorkspace workspace(DesktopWorkspace::Dependencies {QDBusConnection(QStringLiteral("none")), [](const QUrl&) { return true; }});
    workspace.copyText(QStringLiteral("dir/<b>x</b> & a"));
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("dir/<b>x</b> & a"));
}

TEST_F(WorkspaceTest, WithoutABusRevealOpensTheParentFolder)
{
    std::vector<QUrl> opened;
    DesktopWorkspace workspace(
        DesktopWorkspace::Dependencies {QDBusConnection(QStringLiteral("none")), [&](const QUrl& url) { opened.push_back(url); return true; }});
    workspace.revealPath("/data/a\xFF/b.txt");
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0].toEncoded(), QByteArray("file:///data/a%FF"));
}

// A session bus of the test's own.
class PrivateSessionBus {
public:
    PrivateSessionBus()
    {
        const std::string socket = m_dir.path() + "/bus";
        const QString config = QString::fromStdString(m_dir.path() + "/session.conf");
        QFile file(config);
        if (!file.open(QIODevice::WriteOnly)) {
            return;
        }
        file.write(("<busconfig><type>session</type><listen>unix:path=" + socket + "</listen><auth>EXTERNAL</auth>"
            + "<policy context=\"default\"><allow user=\"*\"/><allow own=\"*\"/><allow send_destination=\"*\"/>"
            + "<allow receive_sender=\"*\"/></policy></busconfig>")
                       .c_str());
        file.close();
        m_process.start(QStringLiteral("dbus-daemon"), {QStringLiteral("--config-file=") + config, QStringLiteral("--nofork"), QStringLiteral("--print-address")});
        if (m_process.waitForStarted(5000) && m_process.waitForReadyRead(5000)) {
            m_address = QString::fromUtf8(m_process.readLine()).trimmed();
        }
    }
    ~PrivateSessionBus()
    {
        QDBusConnection::disconnectFromBus(QStringLiteral("workspace-client"));
        QDBusConnection::disconnectFromBus(QStringLiteral("workspace-file-manager"));
        m_process.kill();
        m_process.waitForFinished(5000);
    }
    const QString& address() const { return m_address; }

private:
    test::TempDir m_dir;
    QProcess m_process;
    QString m_address;
};

// Answers ShowItems like a file manager and records the call.
class FakeFileManager : public QDBusVirtualObject {
public:
    QString introspect(const QString&) const override { return {}; }
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override
    {
        if (message.interface() != QStringLiteral("org.freedesktop.FileManager1") || message.member() != QStringLiteral("ShowItems")) {
            return false;
        }
        calls.push_back(message.arguments());
        connection.send(message.createReply());
        return true;
    }
    std::vector<QList<QVariant>> calls;
};

TEST_F(WorkspaceTest, RevealAsksTheFileManagerOverTheSessionBus)
{
    PrivateSessionBus bus;
    if (bus.address().isEmpty()) {
        GTEST_SKIP() << "dbus-daemon could not be started";
    }
    QDBusConnection fileManagerConnection = QDBusConnection::connectToBus(bus.address(), QStringLiteral("workspace-file-manager"));
    QDBusConnection client = QDBusConnection::connectToBus(bus.address(), QStringLiteral("workspace-client"));
    ASSERT_TRUE(fileManagerConnection.isConnected());
    ASSERT_TRUE(client.isConnected());

    std::vector<QUrl> opened;
    DesktopWorkspace workspace(DesktopWorkspace::Dependencies {client, [&](const QUrl& url) { opened.push_back(url); return true; }});

    // No file manager on the bus: the call fails and the parent folder opens.
    workspace.revealPath("/data/x.txt");
    ASSERT_TRUE(QTest::qWaitFor([&] { return opened.size() == 1; }, 5000));
    EXPECT_EQ(opened[0].toEncoded(), QByteArray("file:///data"));

    FakeFileManager fileManager;
    ASSERT_TRUE(fileManagerConnection.registerVirtualObject(QStringLiteral("/org/freedesktop/FileManager1"), &fileManager));
    ASSERT_TRUE(fileManagerConnection.registerService(QStringLiteral("org.freedesktop.FileManager1")));
    workspace.revealPath("/data/a b/\xFF.txt");
    ASSERT_TRUE(QTest::qWaitFor([&] { return fileManager.calls.size() == 1; }, 5000));
    const QList<QVariant>& arguments = fileManager.calls[0];
    ASSERT_EQ(arguments.size(), 2);
    EXPECT_EQ(arguments[0].toStringList(), QStringList {QStringLiteral("file:///data/a%20b/%FF.txt")});
    EXPECT_EQ(arguments[1].toString(), QString());
    QTest::qWait(50);
    EXPECT_EQ(opened.size(), 1u) << "no fallback after a successful call";
    fileManagerConnection.unregisterObject(QStringLiteral("/org/freedesktop/FileManager1"));
}

}  // namespace
}  // namespace tess
