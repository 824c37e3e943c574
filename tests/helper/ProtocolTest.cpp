#include "FrameIO.h"
#include "HelperClient.h"
#include "HelperEndpoint.h"
#include "TempDir.h"
#include "TestEnvironment.h"
#include "WireFormat.h"

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace tess::test {
namespace {

using namespace std::chrono_literals;

std::string text(std::string_view bytes)
{
    return FrameIO::header(bytes.size()) + std::string(bytes);
}

TEST(WireFormatTest, RequestsAndRepliesRoundTrip)
{
    const HelperRequest requests[] = {
        {HelperSelector::testConnection, {}},
        {HelperSelector::getVersion, {}},
        {HelperSelector::initializeForUser, {"/home/ana"}},
        {HelperSelector::createDirectory, {"/srv/Caf\xC3\xA9 \xFF raw bytes"}},
        {HelperSelector::renameFile, {"/a/b", ""}},
        {HelperSelector::mountDiskImage, {"/i.dmg"}},
        {HelperSelector::unmountDiskImage, {"/Volumes/x"}},
        {HelperSelector::applyAttributes, {"/a/Original", "/a/Renamed"}},
        {HelperSelector::removeDirectory, {"/a/empty"}},
    };
    for (const auto& request : requests) {
        auto payload = WireFormat::encodeRequest(request);
        ASSERT_TRUE(payload.has_value());
        EXPECT_EQ(WireFormat::decodeRequest(*payload), request);
    }
    for (const auto& reply : {HelperReply {true, "", ""}, HelperReply {false, "File exists", ""}, HelperReply {true, "1.0", "Version 1.0"}})
        EXPECT_EQ(WireFormat::decodeReply(WireFormat::encodeReply(reply)), reply);

    // What cannot be sent is refused before anything is sent.
    EXPECT_FALSE(WireFormat::encodeRequest({HelperSelector::renameFile, {"/only-one"}}));
    EXPECT_FALSE(WireFormat::encodeRequest({HelperSelector::applyAttributes, {"/only-one"}}));
    EXPECT_FALSE(WireFormat::encodeRequest({HelperSelector::removeDirectory, {"/a", "/b"}}));
    EXPECT_FALSE(WireFormat::encodeRequest({HelperSelector::createDirectory, {std::string(WireFormat::kMaxPayload, 'a')}}));
    // An oversized reply text is cut to fit.
    auto huge = WireFormat::encodeReply({false, std::string(2 * WireFormat::kMaxPayload, 'x'), "d"});
    EXPECT_LE(huge.size(), WireFormat::kMaxPayload);
    EXPECT_TRUE(WireFormat::decodeReply(huge).has_value());
}

TEST(WireFormatTest, RejectsMalformedRequests)
{
    const std::string ping = *WireFormat::encodeRequest({HelperSelector::testConnection, {}});
    const std::string create = *WireFormat::encodeRequest({HelperSelector::createDirectory, {"/x"}});
    struct Case {
        const char* name;
        std::string payload;
    };
    const Case cases[] = {
        {"empty", ""},
        {"other version", "\x02" + ping.substr(1)},
        {"unknown selector", std::string("\x01") + text("deleteEverythingWithReply:") + '\0'},
        {"selector length past the end", std::string("\x01\xFF\xFF\xFF\xFF", 5) + "testHelperConnectionWithReply:"},
        {"missing argument count", ping.substr(0, ping.size() - 1)},
        {"too few arguments", std::string("\x01") + text("createDirectoryAtPath:withReply:") + '\0'},
        {"too many arguments", std::string("\x01") + text("createDirectoryAtPath:withReply:") + '\x02' + text("/a") + text("/b")},
        {"argument length past the end", create.substr(0, create.size() - 1)},
        {"argument holding NUL", std::string("\x01") + text("createDirectoryAtPath:withReply:") + '\x01' + text(std::string("/a\0b", 4))},
        {"trailing bytes", create + "x"},
        {"oversized", std::string(WireFormat::kMaxPayload + 1, '\x01')},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_FALSE(WireFormat::decodeRequest(c.payload).has_value());
    }
}

TEST(WireFormatTest, RejectsMalformedReplies)
{
    const std::string good = WireFormat::encodeReply({true, "msg", ""});
    const std::string cases[] = {
        "",
        "\x01",
        std::string("\x01\x02", 2) + text("msg") + text(""),  // flag neither 0 nor 1
        good.substr(0, good.size() - 1),
        good + "!",
        "\x07" + good.substr(1),
    };
    for (const auto& payload : cases)
        EXPECT_FALSE(WireFormat::decodeReply(payload).has_value()) << payload;
}

class SocketPair {
public:
    SocketPair() { ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, m_fds); }
    ~SocketPair()
    {
        closeWriter();
        ::close(m_fds[0]);
    }
    int reader() const { return m_fds[0]; }
    int writer() const { return m_fds[1]; }
    void send(std::string_view bytes) const { ASSERT_EQ(::write(m_fds[1], bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size())); }
    void closeWriter()
    {
        if (m_fds[1] >= 0)
            ::close(m_fds[1]);
        m_fds[1] = -1;
    }

private:
    int m_fds[2] = {-1, -1};
};

TEST(FrameIOTest, ReadsFramesAndRefusesBadOnes)
{
    auto soon = [] { return std::chrono::steady_clock::now() + 200ms; };
    {
        SocketPair pair;
        ASSERT_EQ(FrameIO::writeFrame(pair.writer(), "hello", soon()), FrameIO::Status::ok);
        auto frame = FrameIO::readFrame(pair.reader(), soon(), 64);
        EXPECT_EQ(frame.status, FrameIO::Status::ok);
        EXPECT_EQ(frame.payload, "hello");
    }
    struct Case {
        const char* name;
        std::string bytes;
        bool hangUp;
        FrameIO::Status expected;
    };
    const Case cases[] = {
        {"hang-up before a frame", "", true, FrameIO::Status::closed},
        {"hang-up inside the header", std::string("\x00\x00", 2), true, FrameIO::Status::malformed},
        {"hang-up inside the payload", FrameIO::header(10) + "abc", true, FrameIO::Status::malformed},
        {"empty frame", FrameIO::header(0), false, FrameIO::Status::malformed},
        {"larger than allowed", FrameIO::header(65), false, FrameIO::Status::malformed},
        {"larger than memory", "\xFF\xFF\xFF\xFF", false, FrameIO::Status::malformed},
        {"silence", "", false, FrameIO::Status::timedOut},
        {"incomplete payload", FrameIO::header(10) + "abc", false, FrameIO::Status::timedOut},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SocketPair pair;
        pair.send(c.bytes);
        if (c.hangUp)
            pair.closeWriter();
        EXPECT_EQ(FrameIO::readFrame(pair.reader(), std::chrono::steady_clock::now() + 50ms, 64).status, c.expected);
    }
}

TEST(FrameIOTest, WritingToAClosedPeerFailsWithoutASignal)
{
    int fds[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds), 0);
    ::close(fds[0]);
    // SIGPIPE would end the test program here.
    EXPECT_EQ(FrameIO::writeFrame(fds[1], "x", std::chrono::steady_clock::now() + 100ms), FrameIO::Status::ioError);
    ::close(fds[1]);
}

TEST(HelperClientTest, FailsAtOnceWithoutADaemon)
{
    TempDir dir;
    HelperClient client(dir / "nobody-listens.sock");
    auto start = std::chrono::steady_clock::now();
    auto result = client.testConnection(5s);
    EXPECT_EQ(result.failure, HelperCallResult::Failure::connectFailed);
    EXPECT_EQ(result.detail, "No such file or directory");
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);

    EXPECT_EQ(HelperClient(std::string(200, 'x')).testConnection(1s).failure, HelperCallResult::Failure::connectFailed);
}

TEST(HelperClientTest, TimesOutWhenNoReplyComes)
{
    TempDir dir;
    const std::string path = dir / "silent.sock";
    int listener = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address {};
    address.sun_family = AF_UNIX;
    path.copy(address.sun_path, sizeof address.sun_path - 1);
    ASSERT_EQ(::bind(listener, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(listener, 4), 0);

    auto start = std::chrono::steady_clock::now();
    auto result = HelperClient(path).renameFile("/a", "/b", 150ms);
    auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(result.failure, HelperCallResult::Failure::timedOut);
    EXPECT_GE(elapsed, 150ms);
    EXPECT_LT(elapsed, 1s);
    ::close(listener);
}

TEST(HelperEndpointTest, SocketPathComesFromTheEnvironment)
{
    {
        ScopedEnv unset(HelperEndpoint::kSocketPathVariable, std::nullopt);
        EXPECT_EQ(HelperEndpoint::socketPath(), "/run/app.quenby.tessaline.helper.sock");
    }
    ScopedEnv set(HelperEndpoint::kSocketPathVariable, "/tmp/other.sock");
    EXPECT_EQ(HelperEndpoint::socketPath(), "/tmp/other.sock");
    EXPECT_EQ(HelperClient().socketPath(), "/tmp/other.sock");
}

}  // namespace
}  // namespace tess::test
