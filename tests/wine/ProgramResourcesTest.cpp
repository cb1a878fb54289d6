// What an executable's resources tell Windows: UTF-8 as its code page (the manifest), and the
// product and version (the version resource).
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

TEST(ProgramResources, TheManifestMakesUtf8TheCodePage) {
    EXPECT_EQ(GetACP(), static_cast<UINT>(CP_UTF8));
}

TEST(ProgramResources, TheVersionResourceNamesTheProductAndItsVersion) {
    wchar_t exe[MAX_PATH];
    ASSERT_GT(GetModuleFileNameW(nullptr, exe, MAX_PATH), 0u);
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(exe, &ignored);
    ASSERT_GT(size, 0u);
    std::string data(size, '\0');
    ASSERT_TRUE(GetFileVersionInfoW(exe, 0, size, data.data()));
    auto value = [&](const wchar_t* key) -> std::wstring {
        const std::wstring query = std::wstring(L"\\StringFileInfo\\040904B0\\") + key;
        void* text = nullptr;
        UINT length = 0;
        if (!VerQueryValueW(data.data(), query.c_str(), &text, &length) || length == 0)
            return {};
        return static_cast<const wchar_t*>(text);
    };
    EXPECT_EQ(value(L"ProductName"), L"Tarnwell Orvik interface");
    EXPECT_EQ(value(L"ProductVersion"), L"" ORVIK_VERSION);
}
