// SPDX-License-Identifier: MIT
// The program file's version record and icon, read back from a program linked with them the
// way Explorer reads them.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace {

std::vector<char> own_version_record()
{
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    DWORD ignored = 0;
    std::vector<char> record(GetFileVersionInfoSizeW(path, &ignored));
    if (record.empty() || !GetFileVersionInfoW(path, 0, static_cast<DWORD>(record.size()), record.data()))
        record.clear();
    return record;
}

std::wstring wide(const char* text) { return std::wstring(text, text + std::char_traits<char>::length(text)); }

TEST(VersionRecord, NumbersAreTheProjectVersion)
{
    std::vector<char> record = own_version_record();
    ASSERT_FALSE(record.empty()) << "no version record, error " << GetLastError();
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT size = 0;
    ASSERT_TRUE(VerQueryValueW(record.data(), L"\\", reinterpret_cast<void**>(&fixed), &size));
    const DWORD high = MAKELONG(MOVANTA_VERSION_MINOR, MOVANTA_VERSION_MAJOR);
    const DWORD low = MAKELONG(MOVANTA_VERSION_TWEAK, MOVANTA_VERSION_PATCH);
    EXPECT_EQ(fixed->dwFileVersionMS, high);
    EXPECT_EQ(fixed->dwFileVersionLS, low);
    EXPECT_EQ(fixed->dwProductVersionMS, high);
    EXPECT_EQ(fixed->dwProductVersionLS, low);
    EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_APP));

    WORD* translation = nullptr;
    ASSERT_TRUE(VerQueryValueW(record.data(), L"\\VarFileInfo\\Translation",
        reinterpret_cast<void**>(&translation), &size));
    ASSERT_EQ(size, 4u);
    EXPECT_EQ(translation[0], 0x0407) << "German (Germany)";
    EXPECT_EQ(translation[1], 1200) << "Unicode";
}

TEST(VersionRecord, TextsInTheGermanBlock)
{
    std::vector<char> record = own_version_record();
    ASSERT_FALSE(record.empty());
    struct Row {
        const wchar_t* name;
        std::wstring value;
    };
    const Row rows[] = {
        { L"FileVersion", wide(MOVANTA_DISPLAY_VERSION) },
        { L"ProductVersion", wide(MOVANTA_DISPLAY_VERSION) },
        { L"ProductName", L"Movanta" },
        { L"InternalName", L"Movanta" },
        { L"OriginalFilename", L"Movanta.exe" },
    };
    for (const Row& row : rows) {
        const std::wstring key = std::wstring(L"\\StringFileInfo\\040704B0\\") + row.name;
        wchar_t* value = nullptr;
        UINT length = 0;
        ASSERT_TRUE(VerQueryValueW(record.data(), key.c_str(), reinterpret_cast<void**>(&value), &length))
            << std::string(key.begin(), key.end());
        EXPECT_EQ(std::wstring(value), row.value) << std::string(key.begin(), key.end());
    }
}

TEST(ApplicationIcon, HoldsThreeSizes)
{
    HRSRC found = FindResourceW(nullptr, L"IDI_ICON1", MAKEINTRESOURCEW(14)); // RT_GROUP_ICON
    ASSERT_NE(found, nullptr);
    const auto* group = static_cast<const std::uint8_t*>(LockResource(LoadResource(nullptr, found)));
    ASSERT_NE(group, nullptr);
    // A 6-byte header (reserved, type 1, count), then 14 bytes per image, width first.
    const unsigned count = group[4] | group[5] << 8;
    ASSERT_EQ(count, 3u);
    std::vector<int> widths;
    for (unsigned i = 0; i < count; ++i)
        widths.push_back(group[6 + 14 * i]);
    std::sort(widths.begin(), widths.end());
    EXPECT_EQ(widths, (std::vector<int> { 16, 32, 48 }));
}

} // namespace
