#pragma once
// Small PE files made on the spot: the headers of a 32-bit program and one resource section
// holding the given resources, and the icon images to put in them.

#include <QBuffer>
#include <QImage>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace pe_fixture {

constexpr std::uint16_t kIcon = 3;
constexpr std::uint16_t kIconGroup = 14;
constexpr std::uint32_t kSectionAddress = 0x1000;
constexpr std::uint32_t kSectionOffset = 0x200;

struct Resource {
    std::uint16_t type;
    std::uint16_t id;
    std::string data;
};

inline void Put16(std::string& out, std::uint32_t value) {
    out += static_cast<char>(value & 0xFF);
    out += static_cast<char>(value >> 8 & 0xFF);
}
inline void Put32(std::string& out, std::uint32_t value) {
    Put16(out, value & 0xFFFF);
    Put16(out, value >> 16);
}
inline std::string Directory(std::uint16_t entries) {
    std::string out(12, '\0');
    Put16(out, 0);
    Put16(out, entries);
    return out;
}

// The resource section: type directories, id directories, one language each, data entries,
// then the data. resources are sorted by type, then id.
inline std::string ResourceSection(const std::vector<Resource>& resources) {
    std::map<std::uint16_t, std::vector<const Resource*>> byType;
    for (const Resource& resource : resources) byType[resource.type].push_back(&resource);
    std::uint32_t size = 16 + 8 * static_cast<std::uint32_t>(byType.size());
    std::map<std::uint16_t, std::uint32_t> typeDirectory;
    for (const auto& [type, list] : byType) {
        typeDirectory[type] = size;
        size += 16 + 8 * static_cast<std::uint32_t>(list.size());
    }
    const std::uint32_t languages = size;
    const std::uint32_t dataEntries = languages + 24 * static_cast<std::uint32_t>(resources.size());
    std::uint32_t data = dataEntries + 16 * static_cast<std::uint32_t>(resources.size());

    std::string out = Directory(static_cast<std::uint16_t>(byType.size()));
    for (const auto& [type, list] : byType) {
        Put32(out, type);
        Put32(out, 0x80000000 | typeDirectory[type]);
    }
    std::uint32_t index = 0;
    for (const auto& [type, list] : byType) {
        out += Directory(static_cast<std::uint16_t>(list.size()));
        for (const Resource* resource : list) {
            Put32(out, resource->id);
            Put32(out, 0x80000000 | (languages + 24 * index++));
        }
    }
    index = 0;
    for (const auto& [type, list] : byType) {
        for (size_t i = 0; i < list.size(); ++i, ++index) {
            out += Directory(1);
            Put32(out, 0x409);
            Put32(out, dataEntries + 16 * index);
        }
    }
    std::string blobs;
    for (const auto& [type, list] : byType) {
        for (const Resource* resource : list) {
            Put32(out, kSectionAddress + data + static_cast<std::uint32_t>(blobs.size()));
            Put32(out, static_cast<std::uint32_t>(resource->data.size()));
            Put32(out, 0);
            Put32(out, 0);
            blobs += resource->data;
            blobs.append((4 - blobs.size() % 4) % 4, '\0');
        }
    }
    return out + blobs;
}

// A 32-bit program whose one section holds resources.
inline std::string Program(const std::vector<Resource>& resources) {
    const std::string section = ResourceSection(resources);
    std::string out("MZ", 2);
    out.resize(0x3C, '\0');
    Put32(out, 0x40);
    out += std::string("PE\0\0", 4);
    Put16(out, 0x14C);  // i386
    Put16(out, 1);      // one section
    out.append(12, '\0');
    Put16(out, 0xE0);  // the optional header's size
    Put16(out, 0x0102);
    std::string optional;
    Put16(optional, 0x10B);
    optional.resize(92, '\0');
    Put32(optional, 16);  // data directories
    optional.append(16, '\0');
    Put32(optional, kSectionAddress);  // the resource directory
    Put32(optional, static_cast<std::uint32_t>(section.size()));
    optional.resize(0xE0, '\0');
    out += optional;
    out += std::string(".rsrc\0\0\0", 8);
    Put32(out, static_cast<std::uint32_t>(section.size()));
    Put32(out, kSectionAddress);
    Put32(out, static_cast<std::uint32_t>(section.size()));
    Put32(out, kSectionOffset);
    out.append(16, '\0');
    out.resize(kSectionOffset, '\0');
    return out + section;
}

// An icon image of one colour as a device-independent bitmap of 32 bits (the bitmap with
// the AND mask below it, as icon resources hold it).
inline std::string BitmapIcon(int size, QRgb colour) {
    std::string out;
    for (const std::uint32_t field :
         {40u, static_cast<std::uint32_t>(size), static_cast<std::uint32_t>(2 * size)}) {
        Put32(out, field);
    }
    Put16(out, 1);
    Put16(out, 32);
    out.append(24, '\0');
    for (int pixel = 0; pixel < size * size; ++pixel) Put32(out, colour);
    out.append(static_cast<size_t>(size * ((size + 31) / 32) * 4), '\0');
    return out;
}

inline std::string PngIcon(int size, QRgb colour) {
    QImage image(size, size, QImage::Format_ARGB32);
    image.fill(colour);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes.toStdString();
}

// An icon group naming icons (size, bits, id) in this order.
struct GroupEntry {
    int size;
    int bits;
    std::uint16_t id;
    std::uint32_t bytes;
};
inline std::string IconGroup(const std::vector<GroupEntry>& entries) {
    std::string out;
    Put16(out, 0);
    Put16(out, 1);
    Put16(out, static_cast<std::uint32_t>(entries.size()));
    for (const GroupEntry& entry : entries) {
        out += static_cast<char>(entry.size & 0xFF);  // 256 is written as 0
        out += static_cast<char>(entry.size & 0xFF);
        out.append(2, '\0');
        Put16(out, 1);
        Put16(out, static_cast<std::uint32_t>(entry.bits));
        Put32(out, entry.bytes);
        Put16(out, entry.id);
    }
    return out;
}

// A program with a red 16x16 bitmap icon and a blue 32x32 PNG icon in its first group.
inline std::string ProgramWithIcon() {
    const std::string red = BitmapIcon(16, 0xFFFF0000);
    const std::string blue = PngIcon(32, 0xFF0000FF);
    return Program({{kIcon, 1, red},
                    {kIcon, 2, blue},
                    {kIconGroup, 7,
                     IconGroup({{16, 32, 1, static_cast<std::uint32_t>(red.size())},
                                {32, 32, 2, static_cast<std::uint32_t>(blue.size())}})}});
}

}  // namespace pe_fixture
