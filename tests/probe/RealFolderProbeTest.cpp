#include "ProbeTestSupport.h"
#include "TempDir.h"

#include "probe/FilesystemDetector.h"
#include "probe/PosixProbeFileOperations.h"
#include "probe/VolumeType.h"
#include "rules/ControlCharacters.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace tess {
namespace {

std::vector<std::string> entriesOf(const std::string& folder)
{
    std::vector<std::string> names;
    if (DIR* dir = opendir(folder.c_str())) {
        while (dirent* entry = readdir(dir)) {
            if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0) {
                names.emplace_back(entry->d_name);
            }
        }
        closedir(dir);
    }
    return names;
}

CodePointSet controlSetAnd(std::initializer_list<char32_t> extra)
{
    CodePointSet set = ControlCharacters::set();
    set.insert(extra);
    return set;
}

TEST(RealFolderProbe, ProbesATemporaryFolderAndLeavesNothing)
{
    test::TempDir dir;
    dir.writeFile("existing.txt", "kept");
    FilesystemDetector detector {FileTransformationConfig {}};
    auto detection = detector.detectCapabilities(dir.path());
    ASSERT_TRUE(detection.ok()) << detection.error().message;

    const FilesystemCapabilities& caps = detection->capabilities;
    const std::string type(filesystemTypeName(FilesystemDetector::filesystemType(dir.path())));
    EXPECT_EQ(detection->summary, type + " (probed) \u2022 case-sensitive");
    EXPECT_TRUE(caps.isCaseSensitive);
    EXPECT_EQ(caps.encodingCapability, TargetEncoding::utf8Full);
    EXPECT_EQ(caps.maxFilenameLength, 255);
    EXPECT_EQ(caps.maxPathDepth, kNoLimit);
    EXPECT_EQ(caps.maxPathLength, kNoLimit);
    EXPECT_EQ(caps.illegalCharacters, controlSetAnd({U'/'}));
    EXPECT_EQ(entriesOf(dir.path()), std::vector<std::string> {"existing.txt"});
    EXPECT_EQ(dir.readFile("existing.txt"), "kept");
}

TEST(RealFolderProbe, WriteCheckFailsOnAMissingFolder)
{
    test::TempDir dir;
    FilesystemDetector detector {FileTransformationConfig {}};
    auto detection = detector.detectCapabilities(dir / "missing");
    ASSERT_FALSE(detection.ok());
    EXPECT_TRUE(detection.error().message.starts_with("Cannot probe destination \u2014 write access failed: Cannot create folder "
        + dir.path() + "/missing/FileTransform_Test_Data_"))
        << detection.error().message;
    EXPECT_TRUE(detection.error().message.ends_with(": No such file or directory"));
}

// Removal takes a folder with everything in it but never follows a link out.
TEST(RealFolderProbe, RemovalStaysInsideWhatItRemoves)
{
    test::TempDir dir;
    dir.writeFile("outside/precious.txt", "data");
    dir.writeFile("made/sub/file.txt", "x");
    ASSERT_EQ(symlink((dir / "outside").c_str(), (dir / "made/sub/link").c_str()), 0);
    PosixProbeFileOperations ops;
    ASSERT_TRUE(ops.removeItem(dir / "made").ok());
    EXPECT_FALSE(dir.exists("made"));
    EXPECT_EQ(dir.readFile("outside/precious.txt"), "data");

    Status missing = ops.removeItem(dir / "made");
    ASSERT_FALSE(missing.ok());
    EXPECT_EQ(missing.error().code, ENOENT);

    // A NUL byte would make the system call see a shorter path: the folder
    // "outside" must not be taken for "outside\0probe".
    const std::string cut = dir / "outside" + std::string("\0probe", 6);
    const Status removed = ops.removeItem(cut);
    ASSERT_FALSE(removed.ok());
    EXPECT_EQ(removed.error().code, EINVAL);
    EXPECT_FALSE(ops.writeFile(dir / "outside/precious.txt" + std::string("\0", 1), "overwritten").ok());
    EXPECT_FALSE(ops.createDirectory(dir / "new" + std::string("\0", 1)).ok());
    EXPECT_FALSE(ops.listDirectory(dir / "outside" + std::string("\0", 1)).ok());
    EXPECT_EQ(dir.readFile("outside/precious.txt"), "data");
    EXPECT_FALSE(dir.exists("new"));
}

TEST(VolumeTypeNames, MountTableNames)
{
    struct Case {
        const char* fsType;
        const char* source;
        FilesystemType expected;
    };
    const Case cases[] = {
        {"vfat", "/dev/sdb1", FilesystemType::fat},
        {"msdos", "/dev/sdb1", FilesystemType::fat},
        {"exfat", "/dev/sdb1", FilesystemType::fat},
        {"ntfs3", "/dev/sdb2", FilesystemType::ntfs},
        {"cifs", "//server/share", FilesystemType::smb},
        {"smb3", "//server/share", FilesystemType::smb},
        {"nfs4", "server:/export", FilesystemType::nfs},
        {"nfs", "server:/export", FilesystemType::nfs},
        {"udf", "/dev/sr0", FilesystemType::udf},
        {"hfsplus", "/dev/sdc1", FilesystemType::hfs},
        {"hfs", "/dev/sdc1", FilesystemType::hfs},
        {"apfs", "/dev/sdc2", FilesystemType::apfs},
        {"davfs", "https://cloud.example/dav", FilesystemType::webdav},
        {"fuse.ntfs-3g", "/dev/sdb2", FilesystemType::ntfs},
        {"fuseblk.exfat", "/dev/sdb1", FilesystemType::fat},
        {"fuse", "https://cloud.example/dav", FilesystemType::webdav},
        {"fuse.sshfs", "host:/home", FilesystemType::unknown},
        {"fuseblk", "/dev/sdb1", FilesystemType::unknown},
        {"ext4", "/dev/vda", FilesystemType::unknown},
        {"tmpfs", "tmpfs", FilesystemType::unknown},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(VolumeType::fromMountType(c.fsType, c.source), c.expected) << c.fsType;
    }
}

TEST(VolumeTypeNames, BootSectorsOfPlainFuseMounts)
{
    std::string ntfs(512, '\0');
    ntfs.replace(3, 8, "NTFS    ");
    std::string exfat(512, '\0');
    exfat.replace(3, 8, "EXFAT   ");
    std::string fat32(512, '\0');
    fat32.replace(82, 8, "FAT32   ");
    EXPECT_EQ(VolumeType::fromMountType("fuseblk", "/dev/sdb1", ntfs), FilesystemType::ntfs);
    EXPECT_EQ(VolumeType::fromMountType("fuse", "/images/disk.img", ntfs), FilesystemType::ntfs);
    EXPECT_EQ(VolumeType::fromMountType("fuseblk", "/dev/sdb1", exfat), FilesystemType::fat);
    EXPECT_EQ(VolumeType::fromMountType("fuse", "/images/fat.img", fat32), FilesystemType::fat);
    EXPECT_EQ(VolumeType::fromMountType("fuse", "/images/other.img", std::string(512, 'x')), FilesystemType::unknown);
    // The signature decides only for plain FUSE mounts.
    EXPECT_EQ(VolumeType::fromMountType("ext4", "/dev/vda", ntfs), FilesystemType::unknown);
}

TEST(VolumeTypeNames, MagicNumbers)
{
    EXPECT_EQ(VolumeType::fromMagic(0x4d44), FilesystemType::fat);
    EXPECT_EQ(VolumeType::fromMagic(0x2011BAB0), FilesystemType::fat);
    EXPECT_EQ(VolumeType::fromMagic(0x5346544e), FilesystemType::ntfs);
    EXPECT_EQ(VolumeType::fromMagic(0xFF534D42), FilesystemType::smb);
    EXPECT_EQ(VolumeType::fromMagic(0xFE534D42), FilesystemType::smb);
    EXPECT_EQ(VolumeType::fromMagic(0x6969), FilesystemType::nfs);
    EXPECT_EQ(VolumeType::fromMagic(0x15013346), FilesystemType::udf);
    EXPECT_EQ(VolumeType::fromMagic(0x482b), FilesystemType::hfs);
    EXPECT_EQ(VolumeType::fromMagic(0x65735546), std::nullopt);  // FUSE: the mount table tells
    EXPECT_EQ(VolumeType::fromMagic(0xEF53), std::nullopt);
}

TEST(VolumeTypeNames, MountInfoLines)
{
    auto entry = VolumeType::parseMountInfoLine(
        "46 28 0:41 / /media/My\\040Disk rw,relatime shared:7 master:1 - fuseblk /dev/sdb1 rw,user_id=0,allow_other");
    ASSERT_TRUE(entry);
    EXPECT_EQ(entry->device, "0:41");
    EXPECT_EQ(entry->mountPoint, "/media/My Disk");
    EXPECT_EQ(entry->fsType, "fuseblk");
    EXPECT_EQ(entry->source, "/dev/sdb1");
    EXPECT_FALSE(VolumeType::parseMountInfoLine("46 28 0:41 / /mnt rw"));
    EXPECT_FALSE(VolumeType::parseMountInfoLine(""));
}

TEST(VolumeTypeNames, UnknownForAPathThatDoesNotExist)
{
    EXPECT_EQ(FilesystemDetector::filesystemType("/nonexistent/tessaline/probe"), FilesystemType::unknown);
}

// ---- A real NTFS volume through ntfs-3g -----------------------------------

int run(const std::string& command)
{
    int status = std::system((command + " >/dev/null 2>&1").c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool programExists(const char* name)
{
    return run(std::string("command -v ") + name) == 0;
}

class NtfsVolumeTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (geteuid() != 0 || access("/dev/fuse", R_OK | W_OK) != 0) {
            GTEST_SKIP() << "mounting an NTFS image needs root and /dev/fuse";
        }
        if (!programExists("mkfs.ntfs") || !programExists("ntfs-3g")) {
            GTEST_SKIP() << "mkfs.ntfs and ntfs-3g (package ntfs-3g) are not installed";
        }
        const std::string image = m_dir / "volume.img";
        m_mountPoint = m_dir / "mnt";
        m_dir.makeDir("mnt");
        if (run("truncate -s 16M '" + image + "'") != 0 || run("mkfs.ntfs -F -Q -q '" + image + "'") != 0) {
            GTEST_SKIP() << "mkfs.ntfs could not format an image";
        }
        if (run("ntfs-3g -o windows_names '" + image + "' '" + m_mountPoint + "'") != 0) {
            GTEST_SKIP() << "ntfs-3g could not mount the image here";
        }
        m_mounted = true;
    }

    void TearDown() override
    {
        if (m_mounted && run("umount '" + m_mountPoint + "'") != 0) {
            run("fusermount -u '" + m_mountPoint + "'");
        }
    }

    test::TempDir m_dir;
    std::string m_mountPoint;
    bool m_mounted = false;
};

TEST_F(NtfsVolumeTest, ProbeFindsWhatNtfsRefuses)
{
    const std::string dest = m_mountPoint + "/dest";
    ASSERT_EQ(mkdir(dest.c_str(), 0755), 0);
    EXPECT_EQ(FilesystemDetector::filesystemType(dest), FilesystemType::ntfs);

    FilesystemDetector detector {FileTransformationConfig {}};
    auto detection = detector.detectCapabilities(dest);
    ASSERT_TRUE(detection.ok()) << detection.error().message;
    const FilesystemCapabilities& caps = detection->capabilities;
    // ntfs-3g keeps names case-sensitive on Linux; with windows_names it
    // refuses every one of the Windows characters.
    EXPECT_EQ(detection->summary, "ntfs (probed) \u2022 case-sensitive");
    EXPECT_EQ(caps.illegalCharacters, controlSetAnd({U'<', U'>', U':', U'"', U'|', U'?', U'*', U'\\', U'/'}));
    EXPECT_EQ(caps.maxFilenameLength, 255);
    EXPECT_EQ(caps.encodingCapability, TargetEncoding::utf8Full);
    EXPECT_TRUE(entriesOf(dest).empty());
}

}  // namespace
}  // namespace tess
