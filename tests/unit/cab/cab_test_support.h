#pragma once
// Reads the file directory of a single cabinet written by the writer, and gives
// each test a sandbox folder of its own.

#include "qv_test_files.h"

#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

struct Cab_entry {
    std::string name;
    uint32_t size = 0;
    uint16_t date = 0;
    uint16_t time = 0;
    uint16_t attributes = 0;
};

struct Cab_directory {
    bool valid = false;      // "MSCF" header read and every entry read
    uint32_t cabinet_size = 0;
    uint16_t folders = 0;
    std::vector<uint16_t> folder_compression;  // typeCompress of each CFFOLDER (1 = MSZIP)
    std::vector<Cab_entry> files;
};

inline Cab_directory read_cab_directory(const std::wstring& path)
{
    Cab_directory dir;
    FILE* f = _wfopen(path.c_str(), L"rb");
    if (f == nullptr)
        return dir;
    std::vector<unsigned char> bytes;
    unsigned char chunk[65536];
    size_t got;
    while ((got = fread(chunk, 1, sizeof chunk, f)) > 0 && bytes.size() < (1u << 20))
        bytes.insert(bytes.end(), chunk, chunk + got);
    fclose(f);
    auto u16 = [&](size_t at) { return static_cast<uint16_t>(bytes[at] | bytes[at + 1] << 8); };
    auto u32 = [&](size_t at) { return static_cast<uint32_t>(u16(at) | u16(at + 2) << 16); };
    if (bytes.size() < 36 || memcmp(bytes.data(), "MSCF", 4) != 0)
        return dir;
    dir.cabinet_size = u32(8);
    size_t at = u32(16);
    dir.folders = u16(26);
    uint16_t count = u16(28);
    // The folders follow the 36-byte header (no reserved areas, no linked cabinets).
    if (u16(30) != 0 || bytes.size() < 36u + 8u * dir.folders)
        return dir;
    for (uint16_t f = 0; f < dir.folders; ++f)
        dir.folder_compression.push_back(u16(36 + 8 * f + 6));
    for (uint16_t i = 0; i < count; ++i) {
        if (at + 16 >= bytes.size())
            return dir;
        Cab_entry e;
        e.size = u32(at);
        e.date = u16(at + 10);
        e.time = u16(at + 12);
        e.attributes = u16(at + 14);
        at += 16;
        while (at < bytes.size() && bytes[at] != 0)
            e.name += static_cast<char>(bytes[at++]);
        ++at;
        dir.files.push_back(e);
    }
    dir.valid = true;
    return dir;
}

// A fresh empty folder under the temp folder, removed with everything in it when
// the test ends.
class Sandbox {
public:
    explicit Sandbox(const wchar_t* name)
    {
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        path_ = std::wstring(temp) + L"qv_cab_" + name;
        clean();
        CreateDirectoryW(path_.c_str(), nullptr);
    }
    ~Sandbox() { clean(); }
    const std::wstring& path() const { return path_; }
    std::wstring file(const std::wstring& name) const { return path_ + L"\\" + name; }

    // Names of the entries in the folder, "." and ".." left out.
    std::vector<std::wstring> entries() const { return qv_folder_entries(path_); }

private:
    void clean() const { qv_remove_tree(path_); }

    std::wstring path_;
};
