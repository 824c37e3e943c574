#include "platform/SystemctlServiceManager.h"
#include "LogCapture.h"
#include "TempDir.h"
#include "TestEnvironment.h"
#include "platform/CommandRunner.h"
#include "platform/SystemServiceManager.h"
#include "platform/UnavailableServiceManager.h"

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tess {
namespace {

using namespace std::chrono_literals;

TEST(SystemctlServiceManagerTest, IsEnabledWordsMapToStatuses)
{
    const struct {
        const char* word;
        ServiceStatus status;
    } cases[] = {
        {"enabled", ServiceStatus::enabled},
        {"enabled-runtime", ServiceStatus::enabled},
        {"static", ServiceStatus::enabled},
        {"indirect", ServiceStatus::enabled},
        {"disabled", ServiceStatus::requiresApproval},
        {"linked", ServiceStatus::requiresApproval},
        {"linked-runtime", ServiceStatus::requiresApproval},
        {"masked", ServiceStatus::requiresApproval},
        {"masked-runtime", ServiceStatus::requiresApproval},
        {"not-found", ServiceStatus::notFound},
        {"bad", ServiceStatus::notFound},
        {"", ServiceStatus::notFound},
    };
    for (const auto& c : cases)
        EXPECT_EQ(SystemctlServiceManager::statusFromIsEnabled(c.word), c.status) << c.word;
}

// A stand-in for systemctl and pkexec: shell scripts that record their
// arguments and answer what the test wrote into files.
class FakeSystemctl : public ::testing::Test {
protected:
    void SetUp() override
    {
        writeScript("systemctl",
            "echo \"systemctl $*\" >> '" + m_dir / "calls" + "'\n"
                                                             "if [ \"$1\" = is-enabled ]; then cat '"
                + m_dir / "state" + "'; exit 1; fi\n"
                                    "if [ -f '"
                + m_dir / "refuse" + "' ]; then cat '" + m_dir / "refuse" + "' >&2; exit 126; fi\n"
                                                                            "exit 0\n");
        writeScript("elevate", "echo \"elevate\" >> '" + m_dir / "calls" + "'\nexec \"$@\"\n");
    }

    void writeScript(const std::string& name, const std::string& body)
    {
        m_dir.writeFile(name, "#!/bin/sh\n" + body);
        ::chmod((m_dir / name).c_str(), 0755);
    }

    SystemctlServiceManager manager()
    {
        SystemctlServiceManager::Options options;
        options.systemctl = m_dir / "systemctl";
        options.elevation = {m_dir / "elevate"};
        return SystemctlServiceManager(options);
    }

    test::LogCapture m_log;
    test::TempDir m_dir;
};

TEST_F(FakeSystemctl, StatusReadsIsEnabledEvenWhenItExitsNonZero)
{
    auto services = manager();
    m_dir.writeFile("state", "disabled\n");
    EXPECT_EQ(services.status(), ServiceStatus::requiresApproval);
    m_dir.writeFile("state", "enabled\n");
    EXPECT_EQ(services.status(), ServiceStatus::enabled);
    EXPECT_EQ(m_dir.readFile("calls"),
        "systemctl is-enabled app.quenby.tessaline.helper.service\n"
        "systemctl is-enabled app.quenby.tessaline.helper.service\n");
}

TEST_F(FakeSystemctl, RegistrationRunsElevatedEnableAndDisable)
{
    auto services = manager();
    EXPECT_TRUE(services.registerService().ok());
    EXPECT_TRUE(services.unregisterService().ok());
    EXPECT_EQ(m_dir.readFile("calls"),
        "elevate\nsystemctl enable --now app.quenby.tessaline.helper.service\n"
        "elevate\nsystemctl disable --now app.quenby.tessaline.helper.service\n");
}

TEST_F(FakeSystemctl, RegistrationWithoutPromptNeverElevatesOrAsks)
{
    auto services = manager();
    EXPECT_TRUE(services.registerServiceWithoutPrompt().ok());
    EXPECT_TRUE(services.unregisterServiceWithoutPrompt().ok());
    EXPECT_EQ(m_dir.readFile("calls"),
        "systemctl --no-ask-password enable --now app.quenby.tessaline.helper.service\n"
        "systemctl --no-ask-password disable --now app.quenby.tessaline.helper.service\n");

    m_dir.writeFile("refuse", "Failed to enable unit: Access denied\n");
    auto refused = services.registerServiceWithoutPrompt();
    ASSERT_FALSE(refused.ok());
    EXPECT_EQ(refused.error().message, "Failed to enable unit: Access denied");
}

TEST_F(FakeSystemctl, RefusedRegistrationCarriesTheFirstErrorLine)
{
    m_dir.writeFile("refuse", "Error executing command as another user: Request dismissed\nmore\n");
    auto registered = manager().registerService();
    ASSERT_FALSE(registered.ok());
    EXPECT_EQ(registered.error().message, "Error executing command as another user: Request dismissed");
    EXPECT_EQ(registered.error().code, 126);
}

TEST_F(FakeSystemctl, MissingProgramsAreReportedNotFatal)
{
    SystemctlServiceManager::Options options;
    options.systemctl = m_dir / "no-such-systemctl";
    options.elevation = {};
    SystemctlServiceManager services(options);
    EXPECT_EQ(services.status(), ServiceStatus::notFound);
    EXPECT_EQ(m_log.levelOf("ServiceManager: could not run " + options.systemctl + " is-enabled: No such file or directory"), "WARN");
    auto registered = services.registerService();
    ASSERT_FALSE(registered.ok());
    EXPECT_EQ(registered.error().message, "Could not run " + options.systemctl + ": No such file or directory");
}

TEST(CommandRunnerTest, CollectsOutputAndExitCodeAndKillsAtTheTimeOut)
{
    auto done = CommandRunner::run({"sh", "-c", "echo out; echo err >&2; exit 3"}, 5s);
    EXPECT_TRUE(done.started);
    EXPECT_FALSE(done.timedOut);
    EXPECT_EQ(done.exitCode, 3);
    EXPECT_EQ(done.standardOutput, "out\n");
    EXPECT_EQ(done.standardError, "err\n");

    const auto start = std::chrono::steady_clock::now();
    auto slow = CommandRunner::run({"sleep", "10"}, 200ms);
    EXPECT_TRUE(slow.timedOut);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);

    // A child that closes its output early is still waited for.
    auto closed = CommandRunner::run({"sh", "-c", "exec >&- 2>&-; sleep 0.2; exit 4"}, 5s);
    EXPECT_EQ(closed.exitCode, 4);
}

// The child must not inherit what the calling thread happens to hold: open
// descriptors without close-on-exec, blocked signals, an ignored SIGPIPE.
TEST(CommandRunnerTest, ChildInheritsNoStrayDescriptorsOrSignalState)
{
    const int stray = ::open("/dev/null", O_RDONLY);  // no O_CLOEXEC
    ASSERT_GE(stray, 3);
    sigset_t blocked;
    sigemptyset(&blocked);
    sigaddset(&blocked, SIGTERM);
    sigset_t previousMask;
    ASSERT_EQ(::pthread_sigmask(SIG_BLOCK, &blocked, &previousMask), 0);
    struct sigaction ignore { };
    ignore.sa_handler = SIG_IGN;
    struct sigaction previousPipe { };
    ASSERT_EQ(::sigaction(SIGPIPE, &ignore, &previousPipe), 0);

    // ls lists the descriptors of the shell that started it.
    auto fds = CommandRunner::run({"sh", "-c", "ls /proc/$$/fd"}, 5s);
    auto status = CommandRunner::run({"grep", "-E", "^Sig(Blk|Ign)", "/proc/self/status"}, 5s);

    ::sigaction(SIGPIPE, &previousPipe, nullptr);
    ::pthread_sigmask(SIG_SETMASK, &previousMask, nullptr);
    ::close(stray);

    EXPECT_EQ(fds.exitCode, 0) << fds.standardError;
    EXPECT_EQ(fds.standardOutput, "0\n1\n2\n");
    // Masks in hexadecimal; SIGPIPE is bit 12.
    const auto blk = status.standardOutput.find("SigBlk:\t");
    const auto ign = status.standardOutput.find("SigIgn:\t");
    ASSERT_NE(blk, std::string::npos);
    ASSERT_NE(ign, std::string::npos);
    EXPECT_EQ(std::stoull(status.standardOutput.substr(blk + 8, 16), nullptr, 16), 0u);
    EXPECT_EQ(std::stoull(status.standardOutput.substr(ign + 8, 16), nullptr, 16) & (1ull << (SIGPIPE - 1)), 0u);
}

}  // namespace
}  // namespace tess

namespace tess {
namespace {

TEST(SystemServiceManagerTest, VariableChoosesAServiceManagerThatRefusesEverything)
{
    test::ScopedEnv choice(kServiceManagerVariable, std::string("unavailable"));
    auto services = makeSystemServiceManager();
    EXPECT_EQ(services->status(), ServiceStatus::notFound);
    EXPECT_FALSE(services->registerService().ok());
    EXPECT_FALSE(services->registerServiceWithoutPrompt().ok());
    EXPECT_EQ(services->unregisterServiceWithoutPrompt().error().message, UnavailableServiceManager::kMessage);
    test::ScopedEnv unset(kServiceManagerVariable, std::nullopt);
    EXPECT_NE(dynamic_cast<SystemctlServiceManager*>(makeSystemServiceManager().get()), nullptr);
}

}  // namespace
}  // namespace tess
