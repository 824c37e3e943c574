#include "DaemonFixture.h"

#include "PolkitAuthority.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace tess::test {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::StartsWith;

using AuthorizationTest = DaemonFixture;

TEST_F(AuthorizationTest, ChangesTheFileSystemOnlyWhenPolkitSaysYes)
{
    enum class Polkit { allowing,
        refusing,
        absent };
    struct Case {
        const char* name;
        Polkit polkit;
        bool bus;
        std::string message;  // the start of every refusal; empty when allowed
    };
    const Case cases[] = {
        {"allowed", Polkit::allowing, true, ""},
        {"refused", Polkit::refusing, true, "Not authorized: the system's policy does not allow this operation"},
        {"no polkitd on the bus", Polkit::absent, true, "Not authorized: cannot ask polkit: "},
        {"no system bus", Polkit::absent, false, "Not authorized: cannot reach the system bus: "},
    };
    const std::string tool = writeScript("marking-tool", "touch '" + (*m_dir / "tool-ran") + "'\nexit 1\n");
    m_dir->writeFile("image.img", "");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        m_polkit.reset();
        if (c.polkit != Polkit::absent)
            startPolkit(c.polkit == Polkit::allowing);
        DaemonProcess::Environment environment {{"TESSALINE_DISKIMAGE_TOOL", tool}};
        if (!c.bus)
            environment["DBUS_SYSTEM_BUS_ADDRESS"] = "unix:path=" + (*m_dir / "no-bus");
        startDaemon(environment);
        m_dir->writeFile("file", "content");
        ::unlink((*m_dir / "tool-ran").c_str());
        m_dir->makeDir("empty");
        m_dir->makeDir("template");
        m_dir->makeDir("target");
        ::chmod((*m_dir / "template").c_str(), 0705);
        ::chmod((*m_dir / "target").c_str(), 0755);

        // Status, version and the home hand-over never need polkit.
        EXPECT_TRUE(m_client->testConnection(kTimeout).reply.success);
        EXPECT_EQ(m_client->getVersion(kTimeout).reply.message, "1.0");
        handOverHome();

        const HelperCallResult results[] = {
            m_client->renameFile(*m_dir / "file", *m_dir / "renamed", kTimeout),
            m_client->createDirectory(*m_dir / "made", kTimeout),
            m_client->mountDiskImage(*m_dir / "image.img", kTimeout),
            m_client->unmountDiskImage("/mnt/somewhere", kTimeout),
            m_client->applyAttributes(*m_dir / "template", *m_dir / "target", kTimeout),
            m_client->removeDirectory(*m_dir / "empty", kTimeout),
        };
        bool allowed = c.message.empty();
        for (const auto& result : results) {
            ASSERT_TRUE(result.ok());
            if (allowed) {
                EXPECT_THAT(result.reply.message, Not(StartsWith("Not authorized")));
            } else {
                EXPECT_FALSE(result.reply.success);
                EXPECT_THAT(result.reply.message, StartsWith(c.message));
            }
        }
        EXPECT_EQ(m_dir->exists("renamed"), allowed);
        EXPECT_EQ(m_dir->exists("file"), !allowed);
        EXPECT_EQ(m_dir->exists("made"), allowed);
        EXPECT_EQ(m_dir->exists("tool-ran"), allowed) << "the disk-image program runs only when allowed";
        EXPECT_EQ(m_dir->exists("empty"), !allowed);
        struct stat target { };
        ASSERT_EQ(::stat((*m_dir / "target").c_str(), &target), 0);
        EXPECT_EQ(target.st_mode & 07777, allowed ? 0705u : 0755u);
        m_daemon->terminate();
        if (!allowed) {
            EXPECT_THAT(readLog(), HasSubstr("] [ERROR] " + c.message));
        }
        ::unlink((*m_dir / "renamed").c_str());
        ::rmdir((*m_dir / "made").c_str());
    }
}

TEST_F(AuthorizationTest, AsksForTheCallingProcessWithUserInteraction)
{
    startPolkit();
    // The administrators' group is the tester's own group here.
    startDaemon({{"TESSALINE_HELPER_ADMIN_GROUP", "nogroup"}});
    m_dir->writeFile("file", "content");

    auto renamed = m_client->renameFile(*m_dir / "file", *m_dir / "renamed", kTimeout);
    EXPECT_TRUE(renamed.reply.success) << renamed.reply.message;
    auto byTester = callAsUser(4242, 65534, {}, [&] { return m_client->createDirectory(*m_dir / "made", kTimeout); });
    EXPECT_TRUE(byTester.reply.success) << byTester.reply.message;
    EXPECT_TRUE(m_dir->exists("made"));

    // The subject is this process, told apart from a later one with its pid
    // by its start time; interaction is allowed so a password can be asked.
    std::string calls = m_polkit->calls();
    EXPECT_THAT(calls, HasSubstr("dbus.String('pid'): dbus.UInt32(" + std::to_string(::getpid()) + ", variant_level=1)"));
    EXPECT_THAT(calls, HasSubstr("dbus.String('start-time'): dbus.UInt64(" + std::to_string(PolkitAuthority::processStartTime(::getpid())) + ", variant_level=1)"));
    EXPECT_THAT(calls, HasSubstr("dbus.String('uid'): dbus.Int32(0, variant_level=1)"));
    EXPECT_THAT(calls, HasSubstr("dbus.String('uid'): dbus.Int32(4242, variant_level=1)"));
    EXPECT_THAT(calls, HasSubstr("\"app.quenby.tessaline.helper.rename\" {} 1 \"\""));
    EXPECT_NE(PolkitAuthority::processStartTime(::getpid()), 0u);

    // A peer that is neither root nor an administrator is still refused
    // before anything is asked.
    m_daemon->terminate();
    startDaemon({{"TESSALINE_HELPER_ADMIN_GROUP", "sudo"}});
    auto refused = callAsUser(65534, 65534, {27}, [&] { return m_client->renameFile(*m_dir / "renamed", *m_dir / "x", kTimeout); });
    EXPECT_EQ(refused.failure, HelperCallResult::Failure::noReply);
    EXPECT_TRUE(m_dir->exists("renamed"));
    EXPECT_THAT(m_polkit->calls(), Not(HasSubstr("dbus.Int32(65534")));
}

TEST(PolkitPolicyTest, NamesTheDaemonsActionForActiveLocalSessionsOnly)
{
    std::ifstream in(TESSALINE_POLICY_FILE);
    std::stringstream text;
    text << in.rdbuf();
    const std::string policy = text.str();
    EXPECT_THAT(policy, HasSubstr(std::string("<action id=\"") + PolkitAuthority::kAction + "\">"));
    EXPECT_THAT(policy, HasSubstr("<allow_any>no</allow_any>"));
    EXPECT_THAT(policy, HasSubstr("<allow_inactive>no</allow_inactive>"));
    EXPECT_THAT(policy, HasSubstr("<allow_active>auth_admin_keep</allow_active>"));
}

}  // namespace
}  // namespace tess::test
