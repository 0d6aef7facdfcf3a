// MIRAVEL.exe as an automation server, driven by a real client: this test
// program creates "MIRAVEL.Application" objects through OLE (by ProgID, as a
// local server), and watches the registry, the processes OLE starts and
// their windows.
#include "E2eTest.h"
#include "Frame.h"

#include <winternl.h>

#include <memory>

namespace e2e {
namespace {

// The class's published identity.
constexpr const wchar_t* kProgId = L"MIRAVEL.Application";
constexpr const wchar_t* kClsid = L"{0AB83C19-E54D-4D90-BE16-0D55ABF46564}";
const std::wstring kClassKey = std::wstring(L"CLSID\\") + kClsid;
const std::wstring kServerKey = kClassKey + L"\\LocalServer32";
// A LocalServer32 from which nothing can start: a client that still gets an
// object got it from an instance that is already running.
constexpr const wchar_t* kNowhere = L"Z:\\nonexistent\\MARKER.exe";

// A user start registers the class for that user alone.
const std::wstring kUserClasses = L"Software\\Classes\\";

std::optional<std::wstring> ClassesDefault(const std::wstring& path) {
    return ReadString(HKEY_CURRENT_USER, kUserClasses + path, L"");
}

bool WriteClassesDefault(const std::wstring& path, const std::wstring& value) {
    return WriteString(HKEY_CURRENT_USER, kUserClasses + path, L"", value);
}

bool DeleteClassesTree(const std::wstring& path) { return DeleteKeyTree(HKEY_CURRENT_USER, kUserClasses + path); }

// What a user start writes as LocalServer32: the program in its short form.
std::wstring ShortServerPath() {
    wchar_t shortPath[MAX_PATH * 2];
    DWORD n = GetShortPathNameW(MiravelExe().c_str(), shortPath, MAX_PATH * 2);
    return n > 0 && n < MAX_PATH * 2 ? std::wstring(shortPath, n) : MiravelExe();
}

// The command line another process was started with (read from its PEB:
// Wine knows no ProcessCommandLineInformation).
std::wstring CommandLineOf(DWORD pid) {
    HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid);
    if (!process) return {};
    std::wstring text;
    using Query = NTSTATUS(NTAPI*)(HANDLE, PROCESSINFOCLASS, PVOID, ULONG, PULONG);
    auto query = reinterpret_cast<Query>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryInformationProcess")));
    PROCESS_BASIC_INFORMATION basic{};
    PEB peb{};
    RTL_USER_PROCESS_PARAMETERS parameters{};
    SIZE_T got = 0;
    if (query && query(process, ProcessBasicInformation, &basic, sizeof basic, nullptr) == 0 &&
        ReadProcessMemory(process, basic.PebBaseAddress, &peb, sizeof peb, &got) &&
        ReadProcessMemory(process, peb.ProcessParameters, &parameters, sizeof parameters, &got)) {
        text.resize(parameters.CommandLine.Length / sizeof(wchar_t));
        if (!ReadProcessMemory(process, parameters.CommandLine.Buffer, &text[0], parameters.CommandLine.Length, &got))
            text.clear();
    }
    CloseHandle(process);
    return text;
}

bool HasBitmapChild(HWND dialog) {
    for (HWND child : ChildWindows(dialog))
        if (ClassName(child) == L"Static" && (GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) == SS_BITMAP)
            return true;
    return false;
}

HWND FindSplash(DWORD pid) {
    return FindVisibleWindow(pid, L"#32770", [](HWND hwnd) { return HasBitmapChild(hwnd); });
}

// The frame window: the visible unowned dialog that is not the splash.
HWND FindFrame(DWORD pid) {
    return FindVisibleWindow(pid, L"#32770", [](HWND hwnd) {
        return !GetWindow(hwnd, GW_OWNER) && !HasBitmapChild(hwnd);
    });
}

// The one process named MIRAVEL.exe that is not in `before`, once it appears.
DWORD NewMiravel(const std::set<DWORD>& before) {
    DWORD found = 0;
    WaitUntil([&] {
        for (DWORD pid : ProcessesNamed(L"MIRAVEL.exe"))
            if (!before.count(pid)) found = pid;
        return found != 0;
    }, kStartTimeoutMs);
    return found;
}

struct ReleaseDispatch {
    void operator()(IDispatch* object) const { object->Release(); }
};
using Dispatch = std::unique_ptr<IDispatch, ReleaseDispatch>;

// A 24-bit BMP file of one colour, for a stored photo that loads.
std::wstring WritePhoto() {
    wchar_t folder[MAX_PATH];
    GetTempPathW(MAX_PATH, folder);
    const std::wstring path = std::wstring(folder) + L"miravel-automation-photo.bmp";
    WriteBmp24(path, 40, 30, [](int, int) { return Rgb{0x606060}; });
    return path;
}

class AutomationTest : public E2eTest {
protected:
    void SetUp() override {
        ASSERT_TRUE(FileExists(MiravelExe())) << Narrow(MiravelExe()) << " is missing";
        ASSERT_TRUE(SUCCEEDED(com_.Result()));
        // Stored settings, so the frame opens without asking for a photo or
        // a colour. The colour's leading blank reads as 255 and is written
        // back as "255": the text shows whether the settings were written.
        ASSERT_TRUE(WriteString(HKEY_CURRENT_USER, kSettingKey, L"CURRENTFILE", WritePhoto()));
        ASSERT_TRUE(WriteString(HKEY_CURRENT_USER, kSettingKey, L"FRAMECOLOR", L" 255"));
        // Wine's OLE looks the class up among the machine's classes only:
        // links give it the user's, as Windows' merged classes view does.
        if (RunningUnderWine()) {
            ASSERT_TRUE(LinkMachineClassesToUser(kClassKeys));
        }
    }

    static inline const std::vector<std::wstring> kClassKeys{kProgId, kClassKey};

    // The class's entries as a user start writes them, written by one if
    // they are not there yet.
    void RegisterByUserStart() {
        if (ClassesDefault(kServerKey) == ShortServerPath() && ClassesDefault(std::wstring(kProgId) + L"\\CLSID") == kClsid)
            return;
        Process user = Process::Start(MiravelExe());
        ASSERT_TRUE(WaitUntil([] { return ClassesDefault(kServerKey) == ShortServerPath(); }, kStartTimeoutMs))
            << "a user start did not write LocalServer32";
        user.Terminate();
    }

    // Creates an object as a client does; the process that OLE started for
    // it is `server` (0 when it reached one that was running).
    Dispatch Create(DWORD* server = nullptr) {
        const std::set<DWORD> before = ProcessesNamed(L"MIRAVEL.exe");
        HRESULT hr = E_FAIL;
        Dispatch object(CreateAutomationObject(kProgId, &hr));
        EXPECT_TRUE(SUCCEEDED(hr) && object) << "creating " << Narrow(kProgId) << ": " << Hex(hr);
        if (server) {
            *server = 0;
            for (DWORD pid : ProcessesNamed(L"MIRAVEL.exe"))
                if (!before.count(pid)) *server = pid;
        }
        return object;
    }

    // An object created as a client does, the program OLE started for it,
    // and that program's frame window.
    struct Served {
        Dispatch object;
        DWORD pid = 0;
        Process server;
        HWND frame = nullptr;
    };
    void CreateServed(Served* served) {
        served->object = Create(&served->pid);
        ASSERT_TRUE(served->object && served->pid);
        served->server = Process::Attach(served->pid);
        const DWORD pid = served->pid;
        served->frame = WaitFor([&] { return FindFrame(pid); }, kStartTimeoutMs);
        ASSERT_NE(served->frame, nullptr) << "no frame window";
    }

    ComApartment com_;
};

// ---------------------------------------------------------------- registry --

struct EntriesCase {
    const char* name;
    const wchar_t* progIdDefault;   // present before the start, or null
    const wchar_t* classDefault;    // present before the start, or null
};

class RegistryEntriesTest : public AutomationTest, public testing::WithParamInterface<EntriesCase> {};

TEST_P(RegistryEntriesTest, UserStartWritesTheSixEntriesAndKeepsTheTwoTypeNames) {
    const EntriesCase& c = GetParam();
    RemoveMachineClasses(kClassKeys);
    ASSERT_TRUE(DeleteClassesTree(kProgId));
    ASSERT_TRUE(DeleteClassesTree(kClassKey));
    // An existing key comes with stale values of the entries written every time.
    if (c.progIdDefault) {
        ASSERT_TRUE(WriteClassesDefault(kProgId, c.progIdDefault));
        ASSERT_TRUE(WriteClassesDefault(std::wstring(kProgId) + L"\\CLSID", L"stale"));
    }
    if (c.classDefault) {
        ASSERT_TRUE(WriteClassesDefault(kClassKey, c.classDefault));
        ASSERT_TRUE(WriteClassesDefault(kClassKey + L"\\ProgID", L"stale"));
        ASSERT_TRUE(WriteClassesDefault(kClassKey + L"\\InprocHandler32", L"stale"));
        ASSERT_TRUE(WriteClassesDefault(kServerKey, L"stale"));
    }

    Process program = Process::Start(MiravelExe());
    // LocalServer32 is the last entry written.
    ASSERT_TRUE(WaitUntil([] { return ClassesDefault(kServerKey) == ShortServerPath(); }, kStartTimeoutMs))
        << "LocalServer32: " << Narrow(ClassesDefault(kServerKey).value_or(L"(none)"));

    EXPECT_EQ(ClassesDefault(kProgId), c.progIdDefault ? c.progIdDefault : kProgId);
    EXPECT_EQ(ClassesDefault(kClassKey), c.classDefault ? c.classDefault : kProgId);
    EXPECT_EQ(ClassesDefault(std::wstring(kProgId) + L"\\CLSID"), kClsid);
    EXPECT_EQ(ClassesDefault(kClassKey + L"\\ProgID"), kProgId);
    EXPECT_EQ(ClassesDefault(kClassKey + L"\\InprocHandler32"), L"ole32.dll");
    // The short form has no blanks; OLE passes it to CreateProcess as it is.
    EXPECT_EQ(ShortServerPath().find(L' '), std::wstring::npos);
    // For this user only: a standard user may not write machine-wide.
    EXPECT_FALSE(MachineClassKeyExists(kProgId));
    EXPECT_FALSE(MachineClassKeyExists(kClassKey));
}

INSTANTIATE_TEST_SUITE_P(
    Entries, RegistryEntriesTest,
    testing::Values(EntriesCase{"NoneYet", nullptr, nullptr},
                    EntriesCase{"BothTypeNamesExist", L"kept by the user", L"kept as well"},
                    EntriesCase{"OnlyTheProgIdExists", L"kept by the user", nullptr}),
    [](const testing::TestParamInfo<EntriesCase>& info) { return std::string(info.param.name); });

// -------------------------------------------------------- the command line --

struct SwitchCase {
    const char* name;
    const wchar_t* arguments;
    bool servesOle;   // registers the class object rather than the entries
};

class SwitchTest : public AutomationTest, public testing::WithParamInterface<SwitchCase> {};

// A start that serves OLE leaves the registry as it is and answers a client
// itself; a user start rewrites the entries and a client gets a new instance.
TEST_P(SwitchTest, DecidesBetweenServingTheClassAndRefreshingItsEntries) {
    const SwitchCase& c = GetParam();
    ASSERT_NO_FATAL_FAILURE(RegisterByUserStart());
    ASSERT_TRUE(WriteClassesDefault(kServerKey, kNowhere));

    Process program = Process::Start(MiravelExe(), c.arguments);
    // Registration or refresh comes before the splash screen.
    ASSERT_NE(WaitFor([&] { return FindSplash(program.Id()); }, kStartTimeoutMs), nullptr) << "no splash";

    if (c.servesOle) {
        EXPECT_EQ(ClassesDefault(kServerKey), kNowhere) << "the entries were rewritten";
        DWORD started = 0;
        Dispatch object = Create(&started);
        ASSERT_TRUE(object) << "the running instance did not serve the client";
        EXPECT_EQ(started, 0u);
        object.reset();
        // Its only object released: the program that OLE started ends (here
        // during its splash screen, before any frame window exists).
        EXPECT_TRUE(program.WaitForExit(kStartTimeoutMs).has_value()) << "still running after the release";
    } else {
        EXPECT_EQ(ClassesDefault(kServerKey), ShortServerPath()) << "the entries were not rewritten";
        DWORD started = 0;
        Dispatch object = Create(&started);
        ASSERT_TRUE(object);
        EXPECT_NE(started, 0u) << "the client reached the user's instance";
        EXPECT_NE(started, program.Id());
        object.reset();
        EXPECT_TRUE(program.Running()) << "the user's instance ended with another's client";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Spellings, SwitchTest,
    testing::Values(SwitchCase{"DashEmbedding", L"-Embedding", true},
                    SwitchCase{"SlashEmbedding", L"/Embedding", true},
                    SwitchCase{"DashAutomation", L"-Automation", true},
                    SwitchCase{"SlashAutomation", L"/Automation", true},
                    SwitchCase{"BothSwitches", L"-Embedding /Automation", true},
                    SwitchCase{"LongerWord", L"/EmbeddingServer", true},
                    SwitchCase{"InsideOtherText", L"x/Automationy", true},
                    SwitchCase{"LowerCase", L"-embedding", false},
                    SwitchCase{"UpperCase", L"/AUTOMATION", false},
                    SwitchCase{"NoDashOrSlash", L"Embedding Automation", false},
                    SwitchCase{"NoArguments", L"", false}),
    [](const testing::TestParamInfo<SwitchCase>& info) { return std::string(info.param.name); });

// ------------------------------------------------------------- the client --

// The entries of a user start are all a client needs: nothing of the class
// is machine-wide. (Under Wine the two keys are then linked into the
// machine's classes, standing in for the merged view that Windows has and
// Wine 8 lacks; the links hold nothing of their own.)
TEST_F(AutomationTest, PerUserEntriesAloneServeARealClient) {
    RemoveMachineClasses(kClassKeys);
    ASSERT_TRUE(DeleteClassesTree(kProgId));
    ASSERT_TRUE(DeleteClassesTree(kClassKey));
    ASSERT_NO_FATAL_FAILURE(RegisterByUserStart());
    EXPECT_FALSE(MachineClassKeyExists(kProgId));
    EXPECT_FALSE(MachineClassKeyExists(kClassKey));
    if (RunningUnderWine()) {
        ASSERT_TRUE(LinkMachineClassesToUser(kClassKeys));
    }

    DWORD pid = 0;
    Dispatch object = Create(&pid);
    ASSERT_TRUE(object);
    ASSERT_NE(pid, 0u) << "no program started for the client";
    Process server = Process::Attach(pid);
    object.reset();
    EXPECT_TRUE(server.WaitForExit(kStartTimeoutMs).has_value()) << "the program outlived its client's release";
}

TEST_F(AutomationTest, ClientObjectStartsTheProgramWhichShowsSplashAndFrameAndEndsOnRelease) {
    ASSERT_NO_FATAL_FAILURE(RegisterByUserStart());
    // Not used by a local server; a user start would rewrite it.
    ASSERT_TRUE(WriteClassesDefault(kClassKey + L"\\InprocHandler32", L"untouched"));

    DWORD pid = 0;
    Dispatch object = Create(&pid);
    ASSERT_TRUE(object);
    ASSERT_NE(pid, 0u) << "no new program started for the client";
    Process server = Process::Attach(pid);
    const std::wstring commandLine = CommandLineOf(pid);
    EXPECT_NE(commandLine.find(L"-Embedding"), std::wstring::npos) << Narrow(commandLine);

    EXPECT_NE(WaitFor([&] { return FindSplash(pid); }, kStartTimeoutMs), nullptr) << "no splash";
    HWND frame = WaitFor([&] { return FindFrame(pid); }, kStartTimeoutMs);
    ASSERT_NE(frame, nullptr) << "no frame window";
    EXPECT_EQ(ClassesDefault(kClassKey + L"\\InprocHandler32"), L"untouched") << "an OLE start rewrote the entries";

    // No type information, no names, no members.
    UINT count = 99;
    EXPECT_EQ(object->GetTypeInfoCount(&count), S_OK);
    EXPECT_EQ(count, 0u);
    LPOLESTR names[] = {const_cast<LPOLESTR>(L"Visible"), const_cast<LPOLESTR>(L"Quit"),
                        const_cast<LPOLESTR>(L"Anything")};
    DISPID ids[] = {1, 2, 3};
    EXPECT_EQ(object->GetIDsOfNames(IID_NULL, names, 3, LOCALE_USER_DEFAULT, ids), DISP_E_UNKNOWNNAME);
    for (DISPID id : ids) EXPECT_EQ(id, DISPID_UNKNOWN);
    struct Call { DISPID id; WORD flags; };
    for (Call call : {Call{DISPID_VALUE, DISPATCH_PROPERTYGET}, Call{1, DISPATCH_METHOD}, Call{-1, DISPATCH_METHOD}}) {
        DISPPARAMS none{};
        VARIANT result;
        VariantInit(&result);
        EXPECT_EQ(object->Invoke(call.id, IID_NULL, LOCALE_USER_DEFAULT, call.flags, &none, &result, nullptr, nullptr),
                  DISP_E_MEMBERNOTFOUND) << "member " << call.id;
        VariantClear(&result);
    }
    EXPECT_TRUE(server.Running());

    object.reset();
    EXPECT_TRUE(server.WaitForExit(kStartTimeoutMs).has_value()) << "the program outlived its client's release";
    EXPECT_FALSE(IsWindow(frame));
}

TEST_F(AutomationTest, SecondClientWhileTheFirstHoldsItsObjectGetsANewInstance) {
    ASSERT_NO_FATAL_FAILURE(RegisterByUserStart());
    DWORD first = 0, second = 0;
    Dispatch firstObject = Create(&first);
    ASSERT_TRUE(firstObject);
    Dispatch secondObject = Create(&second);
    ASSERT_TRUE(secondObject);
    ASSERT_NE(first, 0u);
    ASSERT_NE(second, 0u) << "the second client reached the first client's instance";
    EXPECT_NE(first, second);
    Process firstServer = Process::Attach(first), secondServer = Process::Attach(second);

    secondObject.reset();
    EXPECT_TRUE(secondServer.WaitForExit(kStartTimeoutMs).has_value());
    EXPECT_TRUE(firstServer.Running()) << "one client's release ended the other's program";
    firstObject.reset();
    EXPECT_TRUE(firstServer.WaitForExit(kStartTimeoutMs).has_value());
}

// One client connection may ask the class object for several objects: the
// program lives until the last of them is released.
TEST_F(AutomationTest, SeveralObjectsOfOneClientKeepTheProgramUntilTheLastIsReleased) {
    ASSERT_NO_FATAL_FAILURE(RegisterByUserStart());
    CLSID clsid;
    ASSERT_EQ(CLSIDFromProgID(kProgId, &clsid), S_OK);
    const std::set<DWORD> before = ProcessesNamed(L"MIRAVEL.exe");
    IClassFactory* factory = nullptr;
    ASSERT_EQ(CoGetClassObject(clsid, CLSCTX_LOCAL_SERVER, nullptr, IID_IClassFactory,
                               reinterpret_cast<void**>(&factory)), S_OK);
    const DWORD pid = NewMiravel(before);
    ASSERT_NE(pid, 0u);
    Process server = Process::Attach(pid);

    IDispatch* raw[2] = {};
    for (IDispatch*& object : raw)
        EXPECT_EQ(factory->CreateInstance(nullptr, IID_IDispatch, reinterpret_cast<void**>(&object)), S_OK);
    factory->Release();
    Dispatch first(raw[0]), second(raw[1]);
    ASSERT_TRUE(first && second);
    ASSERT_NE(WaitFor([&] { return FindFrame(pid); }, kStartTimeoutMs), nullptr) << "no frame window";
    EXPECT_EQ(ProcessesNamed(L"MIRAVEL.exe").size(), before.size() + 1) << "one connection, one program";

    first.reset();
    ::Sleep(500);
    EXPECT_TRUE(server.Running()) << "ended while an object was still held";
    EXPECT_NE(FindFrame(pid), nullptr);
    second.reset();
    EXPECT_TRUE(server.WaitForExit(kStartTimeoutMs).has_value());
}

// ------------------------------------------ the user's side while held --

enum class CloseWay { SystemClose, ExitCommand, EscapeKey, EnterKey };

void OpenFrameMenuItem(HWND frame, int item) {
    POINT band{3, 3};   // the frame band, left of and above the photo
    ClientToScreen(frame, &band);
    Click(band, true);
    ASSERT_NE(WaitForPopupMenu(kUiTimeoutMs), nullptr) << "no right-click menu";
    PickMenuItemByPosition(item);
}

void Close(HWND frame, CloseWay way) {
    ASSERT_TRUE(Activate(frame));
    switch (way) {
        // The system's close command itself: Alt+F4 sent as input was now
        // and then lost under Wine right after the frame appeared.
        case CloseWay::SystemClose: PostMessageW(frame, WM_SYSCOMMAND, SC_CLOSE, 0); break;
        case CloseWay::ExitCommand: OpenFrameMenuItem(frame, kExit); break;
        case CloseWay::EscapeKey: PressKey(VK_ESCAPE); break;
        case CloseWay::EnterKey: PressKey(VK_RETURN); break;
    }
}

struct CloseCase {
    const char* name;
    CloseWay way;
    bool writesSettings;   // the close paths write them, Enter and Escape do not
};

class CloseWhileHeldTest : public AutomationTest, public testing::WithParamInterface<CloseCase> {};

// OLE's request reaches the program during its splash screen, before the
// frame window exists: the object is linked to the frame once it is there.
TEST_P(CloseWhileHeldTest, HidesTheFrameAndTheProgramRunsUntilTheRelease) {
    const CloseCase& c = GetParam();
    ASSERT_NO_FATAL_FAILURE(RegisterByUserStart());
    Served served;
    ASSERT_NO_FATAL_FAILURE(CreateServed(&served));
    Dispatch& object = served.object;
    Process& server = served.server;
    HWND frame = served.frame;

    ASSERT_NO_FATAL_FAILURE(Close(frame, c.way));
    EXPECT_TRUE(WaitUntil([&] { return !IsWindowVisible(frame); }, kUiTimeoutMs)) << "the frame was not hidden";
    EXPECT_TRUE(IsWindow(frame)) << "the frame window was destroyed";
    const std::wstring expected = c.writesSettings ? L"255" : L" 255";
    EXPECT_TRUE(WaitUntil([&] { return ReadString(HKEY_CURRENT_USER, kSettingKey, L"FRAMECOLOR") == expected; },
                          kUiTimeoutMs))
        << "FRAMECOLOR: " << Narrow(ReadString(HKEY_CURRENT_USER, kSettingKey, L"FRAMECOLOR").value_or(L"(none)"));
    ::Sleep(500);
    EXPECT_TRUE(server.Running()) << "the program ended while the client held its object";

    object.reset();
    EXPECT_TRUE(server.WaitForExit(kStartTimeoutMs).has_value()) << "the release did not end the hidden program";
}

INSTANTIATE_TEST_SUITE_P(
    Ways, CloseWhileHeldTest,
    testing::Values(CloseCase{"SystemClose", CloseWay::SystemClose, true},
                    CloseCase{"ExitCommand", CloseWay::ExitCommand, true},
                    CloseCase{"Escape", CloseWay::EscapeKey, false},
                    CloseCase{"Enter", CloseWay::EnterKey, false}),
    [](const testing::TestParamInfo<CloseCase>& info) { return std::string(info.param.name); });

// The About box disables the frame: the client's release cannot end the
// program, which stays with the user; the user's close then ends it.
TEST_F(AutomationTest, AboutBoxOpenWhileTheClientReleasesLeavesTheProgramToTheUser) {
    ASSERT_NO_FATAL_FAILURE(RegisterByUserStart());
    Served served;
    ASSERT_NO_FATAL_FAILURE(CreateServed(&served));
    const DWORD pid = served.pid;
    Dispatch& object = served.object;
    Process& server = served.server;
    HWND frame = served.frame;

    ASSERT_TRUE(Activate(frame));
    ASSERT_NO_FATAL_FAILURE(OpenFrameMenuItem(frame, kVersion));
    HWND about = WaitFor([&] {
        return FindVisibleWindow(pid, L"#32770", [&](HWND hwnd) { return GetWindow(hwnd, GW_OWNER) == frame; });
    }, kUiTimeoutMs);
    ASSERT_NE(about, nullptr) << "no About box";
    ASSERT_FALSE(IsWindowEnabled(frame));

    object.reset();
    ::Sleep(1000);
    EXPECT_TRUE(server.Running()) << "the release ended the program under the About box";
    EXPECT_TRUE(IsWindow(frame));

    ConfirmDialog(about);
    ASSERT_TRUE(WaitUntil([&] { return !IsWindow(about); }, kUiTimeoutMs)) << "the About box did not close";
    EXPECT_TRUE(IsWindowVisible(frame));
    EXPECT_TRUE(server.Running());

    ASSERT_NO_FATAL_FAILURE(Close(frame, CloseWay::SystemClose));
    EXPECT_TRUE(server.WaitForExit(kStartTimeoutMs).has_value()) << "the user's close did not end the program";
}

}  // namespace
}  // namespace e2e
