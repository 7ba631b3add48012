// Checks what Kestrune.exe must be, from its PE headers:
//
//   pe-check Kestrune.exe
//
// 32-bit x86, GUI subsystem, ASLR (DYNAMIC_BASE, relocations kept) and DEP
// (NX_COMPAT), no section both writable and executable, no link timestamp,
// imports from Windows system DLLs only, an icon group of three images and a
// version resource 1.0.0.0 for an application with the German string block.
// Prints each failed check and exits 1 when any failed.
#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

namespace {

std::vector<unsigned char> image;
int failures = 0;

void expect(bool holds, const std::string& what) {
    if (!holds) {
        std::printf("FAILED: %s\n", what.c_str());
        ++failures;
    }
}

std::uint32_t read(std::size_t offset, int bytes) {
    if (offset + static_cast<std::size_t>(bytes) > image.size()) return 0;
    std::uint32_t value = 0;
    for (int i = bytes - 1; i >= 0; --i) value = value << 8 | image[offset + static_cast<std::size_t>(i)];
    return value;
}

struct section {
    std::uint32_t address, size, fileOffset;
};
std::vector<section> sections;

// File offset of a relative virtual address.
std::size_t fileOffset(std::uint32_t rva) {
    for (const section& s : sections) {
        if (rva >= s.address && rva < s.address + s.size) return s.fileOffset + (rva - s.address);
    }
    return image.size();
}

bool containsUtf16(const std::string& text) {
    std::vector<unsigned char> wide;
    for (const char c : text) {
        wide.push_back(static_cast<unsigned char>(c));
        wide.push_back(0);
    }
    return std::search(image.begin(), image.end(), wide.begin(), wide.end()) != image.end();
}

// The resource directory below the entry of the given id, or 0.
std::size_t subdirectory(std::size_t root, std::size_t directory, std::uint32_t id, bool first) {
    const std::uint32_t entries = read(directory + 12, 2) + read(directory + 14, 2);
    for (std::uint32_t i = 0; i < entries; ++i) {
        const std::size_t entry = directory + 16 + 8 * i;
        if (!first && read(entry, 4) != id) continue;
        const std::uint32_t target = read(entry + 4, 4);
        return root + (target & 0x7FFFFFFFU);
    }
    return 0;
}

// Number of resources of a type, or 0 when the type is missing.
std::uint32_t resourceCount(std::size_t root, std::uint32_t type) {
    const std::size_t names = subdirectory(root, root, type, false);
    return names == 0 ? 0 : read(names + 12, 2) + read(names + 14, 2);
}

// File offset of the data of the first resource of a type, or the image size.
std::size_t resourceData(std::size_t root, std::uint32_t type) {
    const std::size_t names = subdirectory(root, root, type, false);
    const std::size_t languages = names == 0 ? 0 : subdirectory(root, names, 0, true);
    const std::size_t data = languages == 0 ? 0 : subdirectory(root, languages, 0, true);
    return data == 0 ? image.size() : fileOffset(read(data, 4));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: pe-check FILE.exe\n");
        return 2;
    }
    std::ifstream file(argv[1], std::ios::binary);
    image.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    const std::size_t pe = read(0x3C, 4);
    if (image.size() < 0x40 || read(0, 2) != 0x5A4D || read(pe, 4) != 0x4550) {
        std::printf("FAILED: not a PE file\n");
        return 1;
    }
    const std::size_t coff = pe + 4, optional = coff + 20;
    expect(read(coff, 2) == 0x014C, "machine is i386");
    expect(read(coff + 4, 4) == 0, "no link timestamp");
    expect((read(coff + 18, 2) & 0x0001) == 0, "relocations kept (needed for ASLR)");
    expect(read(optional, 2) == 0x010B, "PE32 (32-bit) optional header");
    expect(read(optional + 68, 2) == 2, "Windows GUI subsystem");
    const std::uint32_t dll = read(optional + 70, 2);
    expect((dll & 0x0040) != 0, "DYNAMIC_BASE (ASLR)");
    expect((dll & 0x0100) != 0, "NX_COMPAT (DEP)");

    const std::uint32_t sectionCount = read(coff + 2, 2);
    const std::size_t table = optional + read(coff + 16, 2);
    for (std::uint32_t i = 0; i < sectionCount; ++i) {
        const std::size_t header = table + 40 * i;
        const std::string name(reinterpret_cast<const char*>(&image[header]),
                               strnlen(reinterpret_cast<const char*>(&image[header]), 8));
        const std::uint32_t flags = read(header + 36, 4);
        sections.push_back(
            {read(header + 12, 4), std::max(read(header + 8, 4), read(header + 16, 4)), read(header + 20, 4)});
        expect(!((flags & 0x20000000U) != 0 && (flags & 0x80000000U) != 0),
               "section " + name + " is not both writable and executable");
    }

    // Imports: the directory's entries name the DLLs.
    const std::set<std::string> allowed{"KERNEL32.DLL", "USER32.DLL", "ADVAPI32.DLL", "MSVCRT.DLL"};
    for (std::size_t entry = fileOffset(read(optional + 104, 4)); read(entry + 12, 4) != 0; entry += 20) {
        std::string name(reinterpret_cast<const char*>(&image[fileOffset(read(entry + 12, 4))]));
        for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        expect(allowed.count(name) == 1, "imports only system DLLs, not " + name);
    }

    const std::size_t resources = fileOffset(read(optional + 112, 4));
    expect(resourceCount(resources, 3) == 3, "three icon images");
    expect(resourceCount(resources, 14) == 1, "one icon group");
    // The group's entries: width, height, colours, bits per pixel.
    const std::size_t group = resourceData(resources, 14);
    const std::uint32_t icons[3][4] = {{32, 32, 2, 1}, {32, 32, 16, 4}, {16, 16, 16, 4}};
    expect(read(group + 4, 2) == 3, "the icon group lists three images");
    for (std::size_t i = 0; i < 3; ++i) {
        const std::size_t entry = group + 6 + 14 * i;
        const std::uint32_t* want = icons[i];
        expect(read(entry, 1) == want[0] && read(entry + 1, 1) == want[1] && read(entry + 2, 1) == want[2] % 256 &&
                   read(entry + 6, 2) == want[3],
               "icon " + std::to_string(i + 1) + " is " + std::to_string(want[0]) + "x" + std::to_string(want[1]) +
                   " in " + std::to_string(want[2]) + " colours");
    }
    expect(resourceCount(resources, 16) == 1, "one version resource");

    const unsigned char signature[] = {0xBD, 0x04, 0xEF, 0xFE};
    const auto fixed = std::search(image.begin(), image.end(), signature, signature + 4);
    expect(fixed != image.end(), "fixed version information");
    if (fixed != image.end()) {
        const std::size_t at = static_cast<std::size_t>(fixed - image.begin());
        expect(read(at + 8, 4) == 0x00010000 && read(at + 12, 4) == 0, "file version 1.0.0.0");
        expect(read(at + 16, 4) == 0x00010000 && read(at + 20, 4) == 0, "product version 1.0.0.0");
        expect(read(at + 36, 4) == 1, "file type application");
    }
    for (const char* text : {"040704B0", "FileVersion", "ProductVersion", "ProductName", "InternalName",
                             "OriginalFilename", "Kestrune.exe", "1.00", "Translation"}) {
        expect(containsUtf16(text), std::string("version string ") + text);
    }
    const unsigned char translation[] = {0x07, 0x04, 0xB0, 0x04};
    expect(std::search(image.begin(), image.end(), translation, translation + 4) != image.end(),
           "translation 0x0407 / 1200");

    if (failures == 0) std::printf("%s: all checks passed\n", argv[1]);
    return failures == 0 ? 0 : 1;
}
