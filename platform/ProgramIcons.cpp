#include "platform/ProgramIcons.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>

namespace win {
namespace {

constexpr std::uint32_t kIconType = 3;        // RT_ICON
constexpr std::uint32_t kIconGroupType = 14;  // RT_GROUP_ICON
constexpr std::uint32_t kSubdirectory = 0x80000000;
constexpr size_t kMaxImageBytes = 4 << 20;  // far above a 256x256 image of 32 bits
constexpr size_t kMaxGroupEntries = 64;

std::uint16_t Get16(const std::string& bytes, size_t at) {
    return static_cast<std::uint16_t>(static_cast<unsigned char>(bytes[at]) |
                                      static_cast<unsigned char>(bytes[at + 1]) << 8);
}

std::uint32_t Get32(const std::string& bytes, size_t at) {
    return Get16(bytes, at) | static_cast<std::uint32_t>(Get16(bytes, at + 2)) << 16;
}

class File {
public:
    explicit File(const std::filesystem::path& path)
        : fd_(open(path.c_str(), O_RDONLY | O_CLOEXEC)) {}
    ~File() {
        if (fd_ >= 0) close(fd_);
    }
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    // size bytes at offset, or nothing when the file ends before them.
    std::optional<std::string> Read(std::uint64_t offset, size_t size) const {
        if (fd_ < 0) return std::nullopt;
        std::string bytes(size, '\0');
        size_t done = 0;
        while (done < size) {
            const ssize_t got =
                pread(fd_, bytes.data() + done, size - done, static_cast<off_t>(offset + done));
            if (got <= 0) return std::nullopt;
            done += static_cast<size_t>(got);
        }
        return bytes;
    }

private:
    int fd_;
};

// The resource section: the directory's address and where its bytes lie in the file.
struct ResourceSection {
    std::uint32_t directory = 0;       // address of the root directory
    std::uint32_t virtualAddress = 0;  // address of the section
    std::uint32_t rawSize = 0;
    std::uint32_t rawOffset = 0;
};

// Bytes at an address of the resource section, never beyond the section's bytes in the file.
std::optional<std::string> ReadAddress(const File& file, const ResourceSection& section,
                                       std::uint64_t address, size_t size) {
    if (address < section.virtualAddress) return std::nullopt;
    const std::uint64_t within = address - section.virtualAddress;
    if (within + size > section.rawSize) return std::nullopt;
    return file.Read(section.rawOffset + within, size);
}

// The PE headers, down to the section that holds the resource directory.
std::optional<ResourceSection> FindResourceSection(const File& file) {
    const auto dos = file.Read(0, 0x40);
    if (!dos || dos->compare(0, 2, "MZ") != 0) return std::nullopt;
    const std::uint32_t pe = Get32(*dos, 0x3C);
    const auto coff = file.Read(pe, 24);
    if (!coff || coff->compare(0, 4, std::string("PE\0\0", 4)) != 0) return std::nullopt;
    const std::uint16_t sectionCount = Get16(*coff, 6);
    const std::uint16_t optionalSize = Get16(*coff, 20);
    const auto optional = file.Read(pe + 24, optionalSize);
    if (!optional || optionalSize < 2) return std::nullopt;
    const std::uint16_t magic = Get16(*optional, 0);
    const size_t directories = magic == 0x10B ? 96 : magic == 0x20B ? 112 : 0;
    constexpr size_t kResourceEntry = 2 * 8;
    if (directories == 0 || optionalSize < directories + kResourceEntry + 8 ||
        Get32(*optional, directories - 4) <= 2) {
        return std::nullopt;
    }
    ResourceSection section;
    section.directory = Get32(*optional, directories + kResourceEntry);
    if (section.directory == 0) return std::nullopt;
    const auto table = file.Read(pe + 24 + optionalSize, size_t{sectionCount} * 40);
    if (!table) return std::nullopt;
    for (size_t at = 0; at < table->size(); at += 40) {
        const std::uint32_t start = Get32(*table, at + 12);
        const std::uint32_t size = std::max(Get32(*table, at + 8), Get32(*table, at + 16));
        if (section.directory >= start && section.directory - start < size) {
            section.virtualAddress = start;
            section.rawSize = Get32(*table, at + 16);
            section.rawOffset = Get32(*table, at + 20);
            return section;
        }
    }
    return std::nullopt;
}

// The entry of a resource directory (offset from the root) with id, or its first entry when
// id is nothing; the entry's target offset with its subdirectory flag.
std::optional<std::uint32_t> DirectoryEntry(const File& file, const ResourceSection& section,
                                            std::uint32_t directory,
                                            std::optional<std::uint32_t> id) {
    const auto header =
        ReadAddress(file, section, std::uint64_t{section.directory} + directory, 16);
    if (!header) return std::nullopt;
    const size_t count = size_t{Get16(*header, 12)} + Get16(*header, 14);
    const auto entries =
        ReadAddress(file, section, std::uint64_t{section.directory} + directory + 16, count * 8);
    if (!entries) return std::nullopt;
    for (size_t at = 0; at < entries->size(); at += 8) {
        if (!id || Get32(*entries, at) == *id) return Get32(*entries, at + 4);
    }
    return std::nullopt;
}

// The data of the resource of type and id (the first one when id is nothing), in its first
// language.
std::optional<std::string> Resource(const File& file, const ResourceSection& section,
                                    std::uint32_t type, std::optional<std::uint32_t> id) {
    // Type and id lead to subdirectories, the language to the data entry.
    const std::optional<std::uint32_t> path[] = {type, id, std::nullopt};
    std::uint32_t offset = 0;
    for (size_t level = 0; level < 3; ++level) {
        const auto entry = DirectoryEntry(file, section, offset, path[level]);
        const bool leaf = level == 2;
        if (!entry || ((*entry & kSubdirectory) != 0) == leaf) return std::nullopt;
        offset = *entry & ~kSubdirectory;
    }
    const auto data = ReadAddress(file, section, std::uint64_t{section.directory} + offset, 8);
    if (!data) return std::nullopt;
    const std::uint32_t size = Get32(*data, 4);
    if (size == 0 || size > kMaxImageBytes) return std::nullopt;
    return ReadAddress(file, section, Get32(*data, 0), size);
}

// An icon resource as an image: PNG data as it is, a bitmap through a one-image .ico file
// made from the group entry's 14 bytes.
QImage IconImage(const std::string& entry, const std::string& data) {
    if (data.compare(0, 8, "\x89PNG\r\n\x1A\n") == 0) {
        return QImage::fromData(reinterpret_cast<const uchar*>(data.data()),
                                static_cast<int>(data.size()), "PNG");
    }
    std::string ico("\0\0\1\0\1\0", 6);
    ico += entry.substr(0, 8);  // size, colours, planes, bits
    const auto size = static_cast<std::uint32_t>(data.size());
    for (const std::uint32_t field :
         {size, std::uint32_t{6 + 16}}) {  // the image follows the header
        for (int shift = 0; shift < 32; shift += 8) ico += static_cast<char>(field >> shift & 0xFF);
    }
    ico += data;
    return QImage::fromData(reinterpret_cast<const uchar*>(ico.data()),
                            static_cast<int>(ico.size()), "ICO");
}

}  // namespace

std::vector<QImage> ProgramIcons(const std::filesystem::path& path) {
    const File file(path);
    const auto section = FindResourceSection(file);
    if (!section) return {};
    const auto group = Resource(file, *section, kIconGroupType, std::nullopt);
    if (!group || group->size() < 6 || Get16(*group, 2) != 1) return {};
    const size_t count = std::min<size_t>(Get16(*group, 4), kMaxGroupEntries);
    std::map<std::pair<int, int>, std::pair<int, QImage>> bySize;  // size -> bits, image
    for (size_t i = 0; i < count && 6 + (i + 1) * 14 <= group->size(); ++i) {
        const std::string entry = group->substr(6 + i * 14, 14);
        const auto data = Resource(file, *section, kIconType, Get16(entry, 12));
        if (!data) continue;
        const QImage image = IconImage(entry, *data);
        if (image.isNull()) continue;
        const int bits = Get16(entry, 6);
        auto& best = bySize[{image.width(), image.height()}];
        if (best.second.isNull() || bits > best.first) best = {bits, image};
    }
    std::vector<QImage> images;
    for (const auto& [size, best] : bySize) images.push_back(best.second);
    return images;
}

}  // namespace win
