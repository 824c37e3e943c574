#include "helperclient/XPCService.h"
#include "FakeHelperServer.h"
#include "LogCapture.h"
#include "TempDir.h"
#include "TestEnvironment.h"

#include <chrono>
#include <gtest/gtest.h>

namespace tess {
namespace {

using test::FakeHelperServer;
using Answer = FakeHelperServer::Answer;
using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

class XPCServiceTest : public ::testing::Test {
protected:
    test::TempDir m_dir;
    std::string m_socket = m_dir / "helper.sock";
    test::LogCapture m_log;
};

TEST(XPCErrorTest, DescriptionsAndCodesRoundTrip)
{
    const struct {
        XPCError error;
        const char* text;
    } cases[] = {
        {XPCError::proxyCreationFailed, "Failed to create XPC proxy connection to helper tool"},
        {XPCError::timeout, "XPC call timed out waiting for helper response"},
        {XPCError::noResult, "XPC call completed but returned no result"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(xpcErrorDescription(c.error), c.text);
        const Error error = makeXPCError(c.error);
        EXPECT_EQ(error.message, c.text);
        EXPECT_EQ(xpcErrorFrom(error), c.error);
    }
    EXPECT_FALSE(xpcErrorFrom(Error {kAppErrorDomain, 1, "x"}).has_value());
    EXPECT_FALSE(xpcErrorFrom(Error {kXPCErrorDomain, 99, "x"}).has_value());
}

TEST_F(XPCServiceTest, CallsCarryTheirArgumentsAndReturnTheReplyUnchanged)
{
    FakeHelperServer server(m_socket, [](const HelperRequest& request) {
        if (request.selector == HelperSelector::renameFile)
            return Answer::with(false, "Source does not exist: " + request.arguments.at(0));
        if (request.selector == HelperSelector::applyAttributes)
            return Answer::with(true, "Owner, group and mode were applied, but not: access ACL: Operation not supported");
        if (request.selector == HelperSelector::removeDirectory)
            return Answer::with(false, "Directory not empty");
        return Answer::with(true, request.selector == HelperSelector::testConnection ? "Helper is running" : "");
    });
    ASSERT_TRUE(server.listening());
    const XPCService service(m_socket);

    auto ping = service.testConnection();
    ASSERT_TRUE(ping.ok());
    EXPECT_EQ(*ping, (XPCService::Reply {true, "Helper is running"}));

    auto made = service.createDirectory("/srv/a/b");
    ASSERT_TRUE(made.ok());
    EXPECT_TRUE(made->success);

    auto home = service.initializeHelper("/home/someone");
    ASSERT_TRUE(home.ok());

    // A refusal is an answer, not an error.
    auto renamed = service.renameFile("/srv/x", "/srv/y");
    ASSERT_TRUE(renamed.ok());
    EXPECT_EQ(*renamed, (XPCService::Reply {false, "Source does not exist: /srv/x"}));

    // So is a success with a message naming what was not done.
    auto applied = service.applyAttributes("/srv/Old", "/srv/New");
    ASSERT_TRUE(applied.ok());
    EXPECT_EQ(*applied, (XPCService::Reply {true, "Owner, group and mode were applied, but not: access ACL: Operation not supported"}));
    auto removed = service.removeDirectory("/srv/Old");
    ASSERT_TRUE(removed.ok());
    EXPECT_EQ(*removed, (XPCService::Reply {false, "Directory not empty"}));

    const std::vector<HelperRequest> expected = {
        {HelperSelector::testConnection, {}},
        {HelperSelector::createDirectory, {"/srv/a/b"}},
        {HelperSelector::initializeForUser, {"/home/someone"}},
        {HelperSelector::renameFile, {"/srv/x", "/srv/y"}},
        {HelperSelector::applyAttributes, {"/srv/Old", "/srv/New"}},
        {HelperSelector::removeDirectory, {"/srv/Old"}},
    };
    EXPECT_EQ(server.requests(), expected);
}

TEST_F(XPCServiceTest, NoDaemonFailsAtOnceWithProxyCreationFailed)
{
    const XPCService service(m_socket);  // nobody listens there
    const auto start = Clock::now();
    auto outcome = service.renameFile("/a", "/b", XPCService::kOperationTimeout);
    EXPECT_LT(secondsSince(start), 2.0);
    ASSERT_FALSE(outcome.ok());
    EXPECT_EQ(xpcErrorFrom(outcome.error()), XPCError::proxyCreationFailed);
    EXPECT_EQ(outcome.error().message, "Failed to create XPC proxy connection to helper tool");
    EXPECT_EQ(m_log.countMessage("❌ Error connecting to helper: No such file or directory"), 1u);
    EXPECT_EQ(m_log.levelOf("❌ Error connecting to helper: No such file or directory"), "ERROR");
}

TEST_F(XPCServiceTest, SilentDaemonTimesOutAfterTheCallersTimeOut)
{
    FakeHelperServer server(m_socket, [](const HelperRequest&) { return Answer::silent(); });
    const XPCService service(m_socket);
    const auto start = Clock::now();
    auto outcome = service.createDirectory("/srv/new", 0.3);
    const double elapsed = secondsSince(start);
    EXPECT_GE(elapsed, 0.29);
    EXPECT_LT(elapsed, 1.5);
    ASSERT_FALSE(outcome.ok());
    EXPECT_EQ(xpcErrorFrom(outcome.error()), XPCError::timeout);
    EXPECT_EQ(outcome.error().message, "XPC call timed out waiting for helper response");
    EXPECT_EQ(server.count(HelperSelector::createDirectory), 1u);
}

TEST_F(XPCServiceTest, DaemonThatHangsUpGivesNoResultAtOnce)
{
    FakeHelperServer server(m_socket, [](const HelperRequest&) { return Answer::hangUp(); });
    const XPCService service(m_socket);
    const auto start = Clock::now();
    auto outcome = service.renameFile("/a", "/b", XPCService::kOperationTimeout);
    EXPECT_LT(secondsSince(start), 1.0);
    ASSERT_FALSE(outcome.ok());
    EXPECT_EQ(xpcErrorFrom(outcome.error()), XPCError::noResult);
    EXPECT_EQ(outcome.error().message, "XPC call completed but returned no result");
    EXPECT_EQ(m_log.countMessage("⚠️ XPC connection interrupted for app.quenby.tessaline.helper"), 1u);
    EXPECT_EQ(m_log.levelOf("⚠️ XPC connection interrupted for app.quenby.tessaline.helper"), "WARN");
}

TEST_F(XPCServiceTest, EveryCallUsesItsOwnConnection)
{
    FakeHelperServer server(m_socket);
    const XPCService service(m_socket);
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(service.testConnection().ok());
    // The fake serves one request per connection: three answers need three.
    EXPECT_EQ(server.count(HelperSelector::testConnection), 3u);
}

TEST_F(XPCServiceTest, DefaultSocketComesFromTheEnvironment)
{
    test::ScopedEnv env("TESSALINE_HELPER_SOCKET", m_socket);
    EXPECT_EQ(XPCService().socketPath(), m_socket);
    test::ScopedEnv unset("TESSALINE_HELPER_SOCKET", std::nullopt);
    EXPECT_EQ(XPCService().socketPath(), "/run/app.quenby.tessaline.helper.sock");
}

}  // namespace
}  // namespace tess
