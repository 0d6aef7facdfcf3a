// An installed MIRAVEL as the user's system sees it: the uninstall entry,
// "Open with" for the photo types beside the user's own choices, the
// sign-in start, the Start-menu shortcut, and the installed program framing
// a stored photo while a setup and an uninstaller run over it stop without
// touching it.
#include <shlobj.h>
#include <shobjidl.h>

#include <gtest/gtest.h>

#include "E2eTest.h"
#include "Frame.h"
#include "Installed.h"

namespace package {

using namespace e2e;

const UsersOwnEntry kUsersOwnEntries[4] = {
    {L"Software\\Classes\\.jpg", L"", L"Viewer.Jpeg"},
    {L"Software\\Classes\\.jpg\\OpenWithProgids", L"Viewer.Jpeg", nullptr},
    // A type key with a value and no subkey until the setup adds one.
    {L"Software\\Classes\\.jpeg", L"", L"Viewer.Jpeg"},
    {L"Software\\Classes\\.bmp\\OpenWithProgids", L"Paint.Picture", nullptr},
};

bool WriteUsersOwnEntries() {
    bool ok = true;
    for (const UsersOwnEntry& e : kUsersOwnEntries) {
        const DWORD bytes = e.value ? static_cast<DWORD>((wcslen(e.value) + 1) * sizeof(wchar_t)) : 0;
        ok = RegSetKeyValueW(HKEY_CURRENT_USER, e.key, *e.name ? e.name : nullptr, e.value ? REG_SZ : REG_NONE,
                             e.value, bytes) == ERROR_SUCCESS &&
             ok;
    }
    return ok;
}

namespace {

constexpr const wchar_t* kUninstallKey = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\MIRAVEL";
constexpr const wchar_t* kRunKey = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr const wchar_t* kPhotoProgId = L"MIRAVEL.Photo";
constexpr const wchar_t* kPhotoTypes[] = {L".jpg", L".jpeg", L".jpe", L".jfif", L".bmp"};

std::wstring Program() { return Given().folder + L"\\MIRAVEL.exe"; }
std::wstring Uninstaller() { return Given().folder + L"\\uninstall.exe"; }
std::wstring Quoted(const std::wstring& text) { return L"\"" + text + L"\""; }

bool HasValue(const std::wstring& key, const std::wstring& name) {
    for (const std::wstring& n : ValueNames(HKEY_CURRENT_USER, key))
        if (n == name) return true;
    return false;
}

// Bytes of the files directly in `folder`.
unsigned long long FolderBytes(const std::wstring& folder) {
    unsigned long long total = 0;
    WIN32_FIND_DATAW found;
    HANDLE h = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (h == INVALID_HANDLE_VALUE) return 0;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            total += (static_cast<unsigned long long>(found.nFileSizeHigh) << 32) | found.nFileSizeLow;
    } while (FindNextFileW(h, &found));
    FindClose(h);
    return total;
}

TEST(Installed, UninstallEntryNamesTheProgramItsVersionAndBothWaysToRemoveIt) {
    const struct {
        const wchar_t* name;
        std::wstring value;
    } strings[] = {
        {L"DisplayName", L"MIRAVEL"},
        {L"DisplayVersion", Given().version},
        {L"Publisher", L"Quillfern"},
        {L"DisplayIcon", Program() + L",0"},
        {L"InstallLocation", Given().folder},
        {L"UninstallString", Quoted(Uninstaller())},
        {L"QuietUninstallString", Quoted(Uninstaller()) + L" /S"},
    };
    for (const auto& s : strings) EXPECT_EQ(ReadString(HKEY_CURRENT_USER, kUninstallKey, s.name), s.value) << Narrow(s.name);
    EXPECT_EQ(ReadDword(HKEY_CURRENT_USER, kUninstallKey, L"NoModify"), 1u);
    EXPECT_EQ(ReadDword(HKEY_CURRENT_USER, kUninstallKey, L"NoRepair"), 1u);

    // The size of the installed files, in KB.
    const unsigned long long bytes = FolderBytes(Given().folder);
    ASSERT_GT(bytes, 0u) << "nothing in " << Narrow(Given().folder);
    const std::optional<DWORD> kb = ReadDword(HKEY_CURRENT_USER, kUninstallKey, L"EstimatedSize");
    ASSERT_TRUE(kb) << "no EstimatedSize";
    EXPECT_GE(*kb, bytes / 1024);
    EXPECT_LE(*kb, (bytes + 1023) / 1024);
}

TEST(Installed, OpenWithOffersTheProgramForEachPhotoTypeAndLeavesTheUsersOwnChoices) {
    const std::wstring command = Quoted(Program()) + L" \"%1\"";
    EXPECT_EQ(ReadString(HKEY_CURRENT_USER, L"Software\\Classes\\Applications\\MIRAVEL.exe\\shell\\open\\command", L""),
              command);
    EXPECT_EQ(ReadString(HKEY_CURRENT_USER, std::wstring(L"Software\\Classes\\") + kPhotoProgId + L"\\shell\\open\\command", L""),
              command);
    for (const wchar_t* type : kPhotoTypes) {
        const std::wstring key = std::wstring(L"Software\\Classes\\") + type;
        EXPECT_TRUE(HasValue(L"Software\\Classes\\Applications\\MIRAVEL.exe\\SupportedTypes", type)) << Narrow(type);
        EXPECT_TRUE(HasValue(key + L"\\OpenWithProgids", kPhotoProgId)) << Narrow(type);
        // The default program of the type is nobody's business but the user's.
        const bool usersOwnDefault = key == kUsersOwnEntries[0].key || key == kUsersOwnEntries[2].key;
        if (!usersOwnDefault) {
            EXPECT_FALSE(ReadString(HKEY_CURRENT_USER, key, L"")) << Narrow(type) << " was given a default";
        }
    }
    for (const UsersOwnEntry& e : kUsersOwnEntries) {
        if (e.value) {
            EXPECT_EQ(ReadString(HKEY_CURRENT_USER, e.key, e.name), std::wstring(e.value)) << Narrow(e.key);
        } else {
            EXPECT_TRUE(HasValue(e.key, e.name)) << Narrow(e.key) << " lost " << Narrow(e.name);
        }
    }
}

TEST(Installed, SignInStartIsThereOnlyWhenChosen) {
    const std::optional<std::wstring> run = ReadString(HKEY_CURRENT_USER, kRunKey, L"MIRAVEL");
    if (Given().autostart) {
        EXPECT_EQ(run, Quoted(Program()));
    } else {
        EXPECT_FALSE(run) << "a sign-in start nobody chose: " << Narrow(run.value_or(L""));
    }
}

TEST(Installed, StartMenuShortcutStartsTheInstalledProgram) {
    wchar_t programs[MAX_PATH];
    ASSERT_EQ(SHGetFolderPathW(nullptr, CSIDL_PROGRAMS, nullptr, SHGFP_TYPE_CURRENT, programs), S_OK);
    const std::wstring link = std::wstring(programs) + L"\\MIRAVEL.lnk";
    ASSERT_TRUE(FileExists(link)) << Narrow(link) << " is missing";

    ComApartment com;
    IShellLinkW* shellLink = nullptr;
    ASSERT_EQ(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                               reinterpret_cast<void**>(&shellLink)),
              S_OK);
    IPersistFile* file = nullptr;
    ASSERT_EQ(shellLink->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)), S_OK);
    EXPECT_EQ(file->Load(link.c_str(), STGM_READ), S_OK);
    wchar_t target[MAX_PATH] = L"", folder[MAX_PATH] = L"", arguments[MAX_PATH] = L"";
    shellLink->GetPath(target, MAX_PATH, nullptr, SLGP_RAWPATH);
    shellLink->GetWorkingDirectory(folder, MAX_PATH);
    shellLink->GetArguments(arguments, MAX_PATH);
    file->Release();
    shellLink->Release();
    EXPECT_EQ(std::wstring(target), Program());
    EXPECT_EQ(std::wstring(folder), Given().folder);
    EXPECT_EQ(std::wstring(arguments), L"");
}

// A setup or an uninstaller started while the program runs cannot replace
// or remove its file: each stops (exit code 2, asking the user to close the
// program when not silent) and leaves the installation as it was.
TEST(InstalledProgram, FramesTheStoredPhotoAndASetupOrUninstallerOverItStopsAndChangesNothing) {
    ASSERT_FALSE(Given().setup.empty()) << "--setup=PATH is needed";
    const std::optional<Photo> photo = DecodeJpeg(ReadFileBytes(TestJpegPath()));
    ASSERT_TRUE(photo) << "cannot decode " << Narrow(TestJpegPath());
    StoreSettings(TestJpegPath(), L"2642040");   // RGB(120, 80, 40)
    Started s = StartProgram();
    ASSERT_NE(s.frame, nullptr) << "no frame after the splash";
    ExpectFramed(s.frame, *photo, 0x785028, "the installed program");

    const std::vector<std::uint8_t> program = ReadFileBytes(Program());
    ASSERT_FALSE(program.empty());
    const struct {
        const char* what;
        std::wstring exe, arguments;
    } runs[] = {
        {"setup", Given().setup, L"/S"},
        {"uninstaller", Uninstaller(), L"/S _?=" + Given().folder},
    };
    for (const auto& run : runs) {
        Process p = Process::Start(run.exe, run.arguments);
        const std::optional<DWORD> code = p.WaitForExit(60000);
        ASSERT_TRUE(code) << "the " << run.what << " did not end";
        EXPECT_EQ(*code, 2u) << "the " << run.what << " went on over the running program";
        EXPECT_TRUE(s.program.Running());
        EXPECT_TRUE(ReadFileBytes(Program()) == program) << "the " << run.what << " changed MIRAVEL.exe";
        EXPECT_TRUE(FileExists(Uninstaller())) << "after the " << run.what;
        EXPECT_EQ(ReadString(HKEY_CURRENT_USER, kUninstallKey, L"DisplayName"), L"MIRAVEL") << "after the " << run.what;
    }
    s.program.Terminate();
}

// "Open with": the command the setup registered for the photo types, given
// a photo whose name has blanks and Japanese in it as Explorer gives it,
// starts the installed program showing that photo instead of the stored one.
// (Explorer reads the command from the user's classes; Wine's shell reads
// only the machine's, so the command is started here as Explorer would.)
TEST(InstalledProgram, OpenWithCommandShowsThePhotoItIsGiven) {
    const std::optional<std::wstring> command =
        ReadString(HKEY_CURRENT_USER, L"Software\\Classes\\Applications\\MIRAVEL.exe\\shell\\open\\command", L"");
    ASSERT_TRUE(command);
    const std::wstring quotedProgram = Quoted(Program()) + L" ";
    ASSERT_EQ(command->compare(0, quotedProgram.size(), quotedProgram), 0) << Narrow(*command);
    std::wstring arguments = command->substr(quotedProgram.size());
    TempFolder files;
    const std::wstring photoPath = files.Write(L"夏の 写真 (2).jpg", ReadFileBytes(TestJpegPath()));
    const std::size_t placeholder = arguments.find(L"%1");
    ASSERT_NE(placeholder, std::wstring::npos) << Narrow(*command);
    arguments.replace(placeholder, 2, photoPath);

    const std::optional<Photo> photo = DecodeJpeg(ReadFileBytes(TestJpegPath()));
    ASSERT_TRUE(photo);
    StoreSettings(L"Z:\\nowhere\\stored.bmp", L"255");
    std::vector<std::wstring> messages;
    Started s = StartProgram(CollectMessages(&messages), arguments);
    ASSERT_NE(s.frame, nullptr) << "no frame after the splash";
    EXPECT_TRUE(messages.empty());
    ExpectFramed(s.frame, *photo, 0xFF0000, "the photo given to the open-with command");
    s.program.Terminate();
}

}  // namespace
}  // namespace package
