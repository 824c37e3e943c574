#include "FaultyFileSystem.h"
#include "RenameTestSupport.h"

#include <cerrno>
#include <cstring>

namespace tess::test {
namespace {

using Op = FaultyFileSystem::Op;

class PosixRenameTest : public RenamerTest { };

TEST_F(PosixRenameTest, FailuresCarryTheirErrno)
{
    struct Case {
        const char* name;
        std::string from;
        std::string to;
        int injected;  // errno for every rename, 0 = none
        int expected;  // 0 = success
    };
    write("a", "a");
    write("b", "b");
    const Case cases[] = {
        {"missing source", "missing", "c", 0, ENOENT},
        {"existing target", "a", "b", 0, EEXIST},
        {"injected failure", "a", "c", EXDEV, EXDEV},
        {"same path, missing", "missing", "missing", 0, ENOENT},
        {"same path, present", "a", "a", 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FaultyFileSystem fs;
        if (c.injected != 0) {
            fs.fail(Op::rename, "", c.injected);
        }
        const Status moved = SourceFileRenamer::posixRename(at(c.from), at(c.to), fs);
        if (c.expected == 0) {
            EXPECT_TRUE(moved.ok());
            continue;
        }
        ASSERT_FALSE(moved.ok());
        EXPECT_EQ(moved.error(), (Error {SourceFileRenamer::kPosixErrorDomain, c.expected, std::strerror(c.expected)}));
    }
    EXPECT_EQ(read("a"), "a");  // nothing was replaced or lost
    EXPECT_EQ(read("b"), "b");

    ASSERT_TRUE(SourceFileRenamer::posixRename(at("a"), at("c")).ok());
    EXPECT_FALSE(exists("a"));
    EXPECT_EQ(read("c"), "a");
}

TEST_F(PosixRenameTest, MoveItemAnswersOneErrorInTheCallersDomain)
{
    write("a", "a");
    FaultyFileSystem fs;
    fs.fail(Op::rename, "/a", EIO);
    int asked = 0;
    auto privileged = [&](const std::string&, const std::string&) {
        ++asked;
        return SourceFileRenamer::PrivilegedReply {false, "no"};
    };
    const Status moved = SourceFileRenamer::moveItem(at("a"), at("b"), privileged, "batch", fs);
    ASSERT_FALSE(moved.ok());
    EXPECT_EQ(moved.error().domain, "batch");
    EXPECT_EQ(moved.error().code, -1);
    EXPECT_EQ(moved.error().message, std::string("Rename failed: ") + std::strerror(EIO) + ". Ensure the file is not open in another app, the volume is writable, and there is sufficient disk space.");
    EXPECT_EQ(asked, 0);  // only a permission error goes to the privileged move
    EXPECT_TRUE(exists("a"));

    FaultyFileSystem denied;
    denied.fail(Op::rename, "/a", EACCES);
    const Status refused = SourceFileRenamer::moveItem(at("a"), at("b"), privileged, "batch", denied);
    ASSERT_FALSE(refused.ok());
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(refused.error().message.rfind("Permission denied even with elevated privileges. ", 0), 0u);
    EXPECT_GE(LogCapture::find("❌ Rename failed: privileged move also failed — " + at("a") + " → " + at("b") + ": no"), 0);

    EXPECT_TRUE(SourceFileRenamer::moveItem(at("a"), at("b"), {}, "batch").ok());
    EXPECT_EQ(read("b"), "a");
}

}  // namespace
}  // namespace tess::test
