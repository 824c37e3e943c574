#include "probe/VolumeType.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <vector>

namespace tess {

namespace {

constexpr std::uint64_t kMsdosMagic = 0x4d44;
constexpr std::uint64_t kExfatMagic = 0x2011BAB0;
constexpr std::uint64_t kNtfsMagic = 0x5346544e;
constexpr std::uint64_t kNtfs3Magic = 0x7366746e;
constexpr std::uint64_t kCifsMagic = 0xFF534D42;
constexpr std::uint64_t kSmb2Magic = 0xFE534D42;
constexpr std::uint64_t kSmbMagic = 0x517B;
constexpr std::uint64_t kNfsMagic = 0x6969;
constexpr std::uint64_t kUdfMagic = 0x15013346;
constexpr std::uint64_t kHfsMagic = 0x4244;
constexpr std::uint64_t kHfsPlusMagic = 0x482b;
constexpr std::uint64_t kApfsMagic = 0x42535041;

constexpr std::size_t kBootSectorSize = 512;

std::string lowerAscii(std::string_view text)
{
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(),
        [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; });
    return out;
}

std::optional<FilesystemType> fromName(std::string_view name)
{
    static const std::vector<std::pair<std::string_view, FilesystemType>> kNames {
        {"apfs", FilesystemType::apfs},
        {"hfs", FilesystemType::hfs},
        {"hfsplus", FilesystemType::hfs},
        {"vfat", FilesystemType::fat},
        {"msdos", FilesystemType::fat},
        {"fat", FilesystemType::fat},
        {"exfat", FilesystemType::fat},
        {"ntfs", FilesystemType::ntfs},
        {"ntfs3", FilesystemType::ntfs},
        {"ntfs-3g", FilesystemType::ntfs},
        {"cifs", FilesystemType::smb},
        {"smb", FilesystemType::smb},
        {"smbfs", FilesystemType::smb},
        {"smb2", FilesystemType::smb},
        {"smb3", FilesystemType::smb},
        {"nfs", FilesystemType::nfs},
        {"nfs4", FilesystemType::nfs},
        {"udf", FilesystemType::udf},
        {"webdav", FilesystemType::webdav},
        {"davfs", FilesystemType::webdav},
        {"davfs2", FilesystemType::webdav},
    };
    for (const auto& [known, type] : kNames) {
        if (name == known) {
            return type;
        }
    }
    return std::nullopt;
}

// "\040" and the like, as mountinfo writes space, tab, newline and backslash.
std::string unescape(std::string_view field)
{
    std::string out;
    out.reserve(field.size());
    for (std::size_t i = 0; i < field.size(); ++i) {
        auto octal = [&](std::size_t k) { return field[k] >= '0' && field[k] <= '7'; };
        if (field[i] == '\\' && i + 3 < field.size() && octal(i + 1) && octal(i + 2) && octal(i + 3)) {
            out += static_cast<char>(((field[i + 1] - '0') << 6) | ((field[i + 2] - '0') << 3) | (field[i + 3] - '0'));
            i += 3;
        } else {
            out += field[i];
        }
    }
    return out;
}

std::vector<std::string_view> splitSpaces(std::string_view line)
{
    std::vector<std::string_view> fields;
    std::size_t start = 0;
    while (start < line.size()) {
        std::size_t space = line.find(' ', start);
        std::size_t end = space == std::string_view::npos ? line.size() : space;
        if (end > start) {
            fields.push_back(line.substr(start, end - start));
        }
        start = end + 1;
    }
    return fields;
}

// The first bytes of a mounted source (an image file or a block device),
// when it can be read without waiting.
std::optional<std::string> readBootSector(const std::string& source)
{
    // Only image files and block devices are opened: opening some character
    // devices has side effects.
    struct stat before { };
    if (source.empty() || source[0] != '/' || stat(source.c_str(), &before) != 0
        || !(S_ISREG(before.st_mode) || S_ISBLK(before.st_mode))) {
        return std::nullopt;
    }
    int fd = open(source.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        return std::nullopt;
    }
    struct stat info { };
    std::optional<std::string> bytes;
    if (fstat(fd, &info) == 0 && (S_ISREG(info.st_mode) || S_ISBLK(info.st_mode))) {
        std::string buffer(kBootSectorSize, '\0');
        ssize_t count = pread(fd, buffer.data(), buffer.size(), 0);
        if (count > 0) {
            buffer.resize(static_cast<std::size_t>(count));
            bytes = std::move(buffer);
        }
    }
    close(fd);
    return bytes;
}

std::optional<VolumeType::MountEntry> mountEntryOf(const std::string& path)
{
    struct stat info { };
    if (stat(path.c_str(), &info) != 0) {
        return std::nullopt;
    }
    const std::string device = std::to_string(major(info.st_dev)) + ":" + std::to_string(minor(info.st_dev));
    std::ifstream in("/proc/self/mountinfo");
    std::optional<VolumeType::MountEntry> found;
    std::string line;
    while (std::getline(in, line)) {
        auto entry = VolumeType::parseMountInfoLine(line);
        // Later lines are mounted later; bind mounts of one volume agree.
        if (entry && entry->device == device) {
            found = std::move(entry);
        }
    }
    return found;
}

}  // namespace

std::optional<FilesystemType> VolumeType::fromMagic(std::uint64_t magic)
{
    switch (magic) {
    case kMsdosMagic:
    case kExfatMagic:
        return FilesystemType::fat;
    case kNtfsMagic:
    case kNtfs3Magic:
        return FilesystemType::ntfs;
    case kCifsMagic:
    case kSmb2Magic:
    case kSmbMagic:
        return FilesystemType::smb;
    case kNfsMagic:
        return FilesystemType::nfs;
    case kUdfMagic:
        return FilesystemType::udf;
    case kHfsMagic:
    case kHfsPlusMagic:
        return FilesystemType::hfs;
    case kApfsMagic:
        return FilesystemType::apfs;
    default:
        return std::nullopt;
    }
}

std::optional<FilesystemType> VolumeType::fromBootSector(std::string_view bytes)
{
    if (bytes.size() >= 11 && bytes.substr(3, 8) == "NTFS    ") {
        return FilesystemType::ntfs;
    }
    if (bytes.size() >= 11 && bytes.substr(3, 8) == "EXFAT   ") {
        return FilesystemType::fat;
    }
    if (bytes.size() >= 87 && bytes.substr(82, 5) == "FAT32") {
        return FilesystemType::fat;
    }
    if (bytes.size() >= 62 && bytes.substr(54, 3) == "FAT") {
        return FilesystemType::fat;
    }
    return std::nullopt;
}

FilesystemType VolumeType::fromMountType(std::string_view fsType, std::string_view source,
    std::optional<std::string_view> bootSector)
{
    const std::string type = lowerAscii(fsType);
    for (std::string_view fuse : {"fuse.", "fuseblk."}) {
        if (type.starts_with(fuse)) {
            return fromName(std::string_view(type).substr(fuse.size())).value_or(FilesystemType::unknown);
        }
    }
    if (type == "fuse" || type == "fuseblk") {
        if (bootSector) {
            if (auto signed_ = fromBootSector(*bootSector)) {
                return *signed_;
            }
        }
        const std::string lowerSource = lowerAscii(source);
        if (lowerSource.starts_with("http://") || lowerSource.starts_with("https://")) {
            return FilesystemType::webdav;
        }
        return FilesystemType::unknown;
    }
    return fromName(type).value_or(FilesystemType::unknown);
}

std::optional<VolumeType::MountEntry> VolumeType::parseMountInfoLine(std::string_view line)
{
    std::vector<std::string_view> fields = splitSpaces(line);
    auto separator = std::find(fields.begin(), fields.end(), std::string_view("-"));
    // id, parent, major:minor, root, mount point, options, [optional...], "-", type, source
    if (fields.size() < 6 || separator == fields.end() || separator - fields.begin() < 6
        || fields.end() - separator < 3) {
        return std::nullopt;
    }
    MountEntry entry;
    entry.device = std::string(fields[2]);
    entry.mountPoint = unescape(fields[4]);
    entry.fsType = unescape(*(separator + 1));
    entry.source = unescape(*(separator + 2));
    return entry;
}

FilesystemType VolumeType::of(const std::string& path)
{
    struct statfs info { };
    if (statfs(path.c_str(), &info) != 0) {
        return FilesystemType::unknown;
    }
    if (auto type = fromMagic(static_cast<std::uint64_t>(info.f_type))) {
        return *type;
    }
    std::optional<MountEntry> entry = mountEntryOf(path);
    if (!entry) {
        return FilesystemType::unknown;
    }
    std::optional<std::string> bootSector;
    const std::string type = lowerAscii(entry->fsType);
    if (type == "fuse" || type == "fuseblk") {
        bootSector = readBootSector(entry->source);
    }
    return fromMountType(entry->fsType, entry->source,
        bootSector ? std::optional<std::string_view>(*bootSector) : std::nullopt);
}

}  // namespace tess
