#include "ConnectionRegistry.h"

#include <gtest/gtest.h>

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace tess::test {
namespace {

// One end of a socket pair stands for a client's connection in the registry;
// the other shows whether the registry closed it.
struct FakeConnection {
    FakeConnection()
    {
        int fds[2];
        if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) == 0) {
            daemonEnd = fds[0];
            clientEnd = fds[1];
        }
    }
    ~FakeConnection()
    {
        ::close(daemonEnd);
        ::close(clientEnd);
    }
    FakeConnection(const FakeConnection&) = delete;
    FakeConnection& operator=(const FakeConnection&) = delete;

    bool closedByRegistry() const
    {
        pollfd entry {clientEnd, POLLIN, 0};
        char byte;
        return ::poll(&entry, 1, 0) == 1 && ::recv(clientEnd, &byte, 1, MSG_DONTWAIT) == 0;
    }

    int daemonEnd = -1;
    int clientEnd = -1;
};

class ConnectionRegistryTest : public ::testing::Test {
protected:
    // Four shared places, three per user.
    ConnectionRegistry m_registry {4, 3};
    std::vector<std::unique_ptr<FakeConnection>> m_connections;

    ConnectionRegistry::Admission connect(uid_t uid)
    {
        m_connections.push_back(std::make_unique<FakeConnection>());
        return m_registry.add(m_connections.back()->daemonEnd, uid);
    }
};

TEST_F(ConnectionRegistryTest, ANewcomerTakesTheLongestIdlePlaceOfTheUserHoldingTheMost)
{
    std::vector<std::uint64_t> ofFirst;
    for (int i = 0; i < 3; ++i)
        ofFirst.push_back(*connect(1).id);
    ASSERT_TRUE(connect(2).id);  // every shared place is taken

    // User 1's first connection serves a request: the second one has
    // waited longest.
    ASSERT_TRUE(m_registry.beginRequest(ofFirst[0]));
    auto third = connect(3);
    ASSERT_TRUE(third.id);
    EXPECT_EQ(third.madeRoomFrom, std::optional<uid_t>(1));
    EXPECT_FALSE(m_connections[0]->closedByRegistry());
    EXPECT_TRUE(m_connections[1]->closedByRegistry());
    EXPECT_TRUE(m_registry.madeRoom(ofFirst[1]));
    EXPECT_FALSE(m_registry.beginRequest(ofFirst[1])) << "a request read meanwhile is not served";

    // Users 1, 2 and 3 hold 2, 1 and 1 places: user 2 is not two behind
    // anyone, a fourth user is.
    EXPECT_FALSE(connect(2).id);
    auto fourth = connect(4);
    ASSERT_TRUE(fourth.id);
    EXPECT_EQ(fourth.madeRoomFrom, std::optional<uid_t>(1));
    EXPECT_TRUE(m_connections[2]->closedByRegistry());
    EXPECT_FALSE(connect(5).id) << "everybody holds one place";

    // The closed connections' threads leave without giving their places
    // back twice; a place given back is free for the next one.
    m_registry.remove(ofFirst[1]);
    m_registry.remove(ofFirst[2]);
    EXPECT_FALSE(connect(5).id);
    m_registry.remove(*third.id);
    EXPECT_TRUE(connect(5).id);
}

TEST_F(ConnectionRegistryTest, ABusyConnectionIsNeverTaken)
{
    for (int i = 0; i < 3; ++i) {
        auto admitted = connect(1);
        ASSERT_TRUE(m_registry.beginRequest(*admitted.id));
    }
    ASSERT_TRUE(connect(2).id);
    EXPECT_FALSE(connect(3).id);
    for (const auto& connection : m_connections)
        EXPECT_FALSE(connection->closedByRegistry());
}

TEST_F(ConnectionRegistryTest, RootIsServedWhateverTheOthersHoldUpToItsOwnLimit)
{
    for (uid_t uid : {1u, 1u, 2u, 2u})
        ASSERT_TRUE(connect(uid).id);
    for (int i = 0; i < 3; ++i) {
        auto ofRoot = connect(0);
        EXPECT_TRUE(ofRoot.id);
        EXPECT_FALSE(ofRoot.madeRoomFrom);
    }
    EXPECT_FALSE(connect(0).id) << "root too holds at most its limit";
    for (const auto& connection : m_connections)
        EXPECT_FALSE(connection->closedByRegistry());
}

}  // namespace
}  // namespace tess::test
