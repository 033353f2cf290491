#include <winsock2.h>
#include <ws2tcpip.h>

#include "host/demo_driver_win.h"

#include <commctrl.h>

#include <memory>

#include "host/driver_protocol.h"
#include "host/host_tabs_win.h"
#include "host/host_window_win.h"
#include "host/process_stats_win.h"
#include "host/registry_watch_win.h"
#include "host/time_scale_win.h"

#ifndef MN_GETHMENU
#define MN_GETHMENU 0x01E1
#endif

namespace tthost {
namespace {

const UINT kRunTask = WM_APP + 1;
const UINT kFence = WM_APP + 2;
const wchar_t kTaskClass[] = L"TavelleDemoDriverTasks";

// A piece of work for the host's thread. It lives on the heap until both sides are done with
// it, so a caller that gave up waiting leaves nothing dangling.
struct Task {
    std::function<void()> fn;
    HANDLE done = nullptr;
    std::atomic<int> owners{2};
    void Release() {
        if (--owners == 0) {
            CloseHandle(done);
            delete this;
        }
    }
};

std::wstring WindowText(HWND hwnd) {
    const int n = GetWindowTextLengthW(hwnd);
    std::wstring text(static_cast<size_t>(n) + 1, L'\0');
    const int got = GetWindowTextW(hwnd, text.data(), n + 1);
    text.resize(got > 0 ? static_cast<size_t>(got) : 0);
    return text;
}

std::wstring ClassOf(HWND hwnd) {
    wchar_t name[256] = {};
    GetClassNameW(hwnd, name, 256);
    return name;
}

int64_t Handle(const void* h) { return static_cast<int64_t>(reinterpret_cast<intptr_t>(h)); }

HWND HwndFrom(const std::u16string& text) {
    return reinterpret_cast<HWND>(
        static_cast<intptr_t>(_wcstoi64(reinterpret_cast<const wchar_t*>(text.c_str()), nullptr, 10)));
}

int IntFrom(const std::u16string& text) { return _wtoi(reinterpret_cast<const wchar_t*>(text.c_str())); }

std::wstring WideFrom(const std::u16string& text) { return std::wstring(text.begin(), text.end()); }

void WriteRect(JsonWriter& w, const RECT& r) {
    w.BeginArray().Number(r.left).Number(r.top).Number(r.right).Number(r.bottom).EndArray();
}

// Window enumeration callbacks are stdcall on 32-bit Windows, which lambdas cannot be.
BOOL CALLBACK CollectProcessWindow(HWND hwnd, LPARAM param) {
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    if (pid == GetCurrentProcessId() && IsWindowVisible(hwnd))
        reinterpret_cast<std::vector<HWND>*>(param)->push_back(hwnd);
    return TRUE;
}

BOOL CALLBACK CollectWindow(HWND hwnd, LPARAM param) {
    reinterpret_cast<std::vector<HWND>*>(param)->push_back(hwnd);
    return TRUE;
}

std::vector<HWND> ProcessWindows() {
    std::vector<HWND> found;
    EnumWindows(CollectProcessWindow, reinterpret_cast<LPARAM>(&found));
    return found;
}

std::vector<HWND> Descendants(HWND parent) {
    std::vector<HWND> found;
    EnumChildWindows(parent, CollectWindow, reinterpret_cast<LPARAM>(&found));
    return found;
}

HWND OpenPopupMenu() {
    for (HWND hwnd : ProcessWindows())
        if (ClassOf(hwnd) == L"#32768") return hwnd;
    return nullptr;
}

void WriteMenuItems(JsonWriter& w, HMENU menu) {
    w.BeginArray();
    const int count = menu ? GetMenuItemCount(menu) : 0;
    for (int i = 0; i < count; ++i) {
        MENUITEMINFOW mii = {};
        mii.cbSize = sizeof mii;
        mii.fMask = MIIM_ID | MIIM_FTYPE | MIIM_STATE | MIIM_STRING;
        if (!GetMenuItemInfoW(menu, static_cast<UINT>(i), TRUE, &mii)) continue;
        std::wstring text(mii.cch + 1, L'\0');
        mii.dwTypeData = text.data();
        mii.cch += 1;
        GetMenuItemInfoW(menu, static_cast<UINT>(i), TRUE, &mii);
        text.resize(wcslen(text.c_str()));
        w.BeginObject()
            .Key("position")
            .Number(i)
            .Key("id")
            .Number(mii.wID)
            .Key("text")
            .String(text)
            .Key("separator")
            .Bool((mii.fType & MFT_SEPARATOR) != 0)
            .Key("highlighted")
            .Bool((mii.fState & MFS_HILITE) != 0)
            .Key("disabled")
            .Bool((mii.fState & MFS_DISABLED) != 0)
            .EndObject();
    }
    w.EndArray();
}

void WriteControls(JsonWriter& w, HWND dialog) {
    w.BeginArray();
    for (HWND child : Descendants(dialog)) {
        const std::wstring cls = ClassOf(child);
        const LONG_PTR style = GetWindowLongPtrW(child, GWL_STYLE);
        w.BeginObject()
            .Key("hwnd")
            .Number(Handle(child))
            .Key("id")
            .Number(GetDlgCtrlID(child))
            .Key("class")
            .String(cls)
            .Key("text")
            .String(WindowText(child))
            .Key("visible")
            .Bool(IsWindowVisible(child) != FALSE)
            .Key("enabled")
            .Bool(IsWindowEnabled(child) != FALSE)
            .Key("style")
            .Number(static_cast<int64_t>(style & 0xFFFFFFFF));
        if (_wcsicmp(cls.c_str(), L"Button") == 0)
            w.Key("checked").Bool(SendMessageW(child, BM_GETCHECK, 0, 0) == BST_CHECKED);
        w.EndObject();
    }
    w.EndArray();
}

void WriteWindow(JsonWriter& w, HWND hwnd) {
    const std::wstring cls = ClassOf(hwnd);
    RECT r = {};
    GetWindowRect(hwnd, &r);
    w.BeginObject()
        .Key("hwnd")
        .Number(Handle(hwnd))
        .Key("class")
        .String(cls)
        .Key("title")
        .String(WindowText(hwnd))
        .Key("thread")
        .Number(GetWindowThreadProcessId(hwnd, nullptr))
        .Key("owner")
        .Number(Handle(GetWindow(hwnd, GW_OWNER)))
        .Key("topmost")
        .Bool((GetWindowLongPtrW(hwnd, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0)
        .Key("rect");
    WriteRect(w, r);
    if (cls == L"#32770") {
        w.Key("controls");
        WriteControls(w, hwnd);
    } else if (cls == L"#32768") {
        w.Key("items");
        WriteMenuItems(w, reinterpret_cast<HMENU>(SendMessageW(hwnd, MN_GETHMENU, 0, 0)));
    }
    w.EndObject();
}

// The toolbar window of the band: by its class, or any toolbar that carries the top-page button.
HWND FindToolbar(HWND frame) {
    const std::vector<HWND> windows = Descendants(frame);
    for (HWND hwnd : windows) {
        const std::wstring cls = ClassOf(hwnd);
        if (cls == L"IEToolbandCtrl" || cls == L"TavelleToolbarCtrl") return hwnd;
    }
    for (HWND hwnd : windows) {
        DWORD_PTR index = static_cast<DWORD_PTR>(-1);
        if (ClassOf(hwnd) == TOOLBARCLASSNAMEW &&
            SendMessageTimeoutW(hwnd, TB_COMMANDTOINDEX, 2002, 0, SMTO_NORMAL, 5000, &index) &&
            static_cast<int>(index) >= 0)
            return hwnd;
    }
    return nullptr;
}

HWND FindSearchBox(HWND toolbar) {
    return toolbar ? FindWindowExW(toolbar, nullptr, WC_COMBOBOXW, nullptr) : nullptr;
}

// Whether the keyboard focus of the box's thread is in the box (its edit field or its list).
bool HasFocus(HWND box) {
    GUITHREADINFO info = {};
    info.cbSize = sizeof info;
    if (!GetGUIThreadInfo(GetWindowThreadProcessId(box, nullptr), &info) || !info.hwndFocus) return false;
    return info.hwndFocus == box || IsChild(box, info.hwndFocus);
}

void WriteSearchBox(JsonWriter& w, HWND box) {
    if (!box) {
        w.Null();
        return;
    }
    DWORD start = 0, end = 0;
    SendMessageW(box, CB_GETEDITSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    RECT r = {};
    GetWindowRect(box, &r);
    w.BeginObject()
        .Key("hwnd")
        .Number(Handle(box))
        .Key("text")
        .String(WindowText(box))
        .Key("selection")
        .BeginArray()
        .Number(start)
        .Number(end)
        .EndArray()
        .Key("focused")
        .Bool(HasFocus(box))
        .Key("rect");
    WriteRect(w, r);
    w.Key("items").BeginArray();
    const LRESULT count = SendMessageW(box, CB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        const LRESULT len = SendMessageW(box, CB_GETLBTEXTLEN, static_cast<WPARAM>(i), 0);
        if (len < 0) continue;
        std::wstring item(static_cast<size_t>(len) + 1, L'\0');
        SendMessageW(box, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(item.data()));
        item.resize(wcslen(item.c_str()));
        w.String(item);
    }
    w.EndArray().EndObject();
}

void WriteToolbar(JsonWriter& w, HWND toolbar) {
    RECT r = {};
    GetWindowRect(toolbar, &r);
    w.Key("hwnd")
        .Number(Handle(toolbar))
        .Key("class")
        .String(ClassOf(toolbar))
        .Key("visible")
        .Bool(IsWindowVisible(toolbar) != FALSE)
        .Key("rect");
    WriteRect(w, r);
    w.Key("buttons").BeginArray();
    const LRESULT count = SendMessageW(toolbar, TB_BUTTONCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        wchar_t text[512] = {};
        TBBUTTONINFOW info = {};
        info.cbSize = sizeof info;
        info.dwMask =
            TBIF_BYINDEX | TBIF_COMMAND | TBIF_IMAGE | TBIF_STATE | TBIF_STYLE | TBIF_TEXT | TBIF_SIZE;
        info.pszText = text;
        info.cchText = 511;
        if (SendMessageW(toolbar, TB_GETBUTTONINFOW, static_cast<WPARAM>(i),
                         reinterpret_cast<LPARAM>(&info)) < 0)
            continue;
        // TB_GETBUTTONINFO gives only texts set as pointers; a text from the toolbar's string
        // pool (the resource captions) needs TB_GETBUTTONTEXT.
        if (info.idCommand != 0) {
            const LRESULT length =
                SendMessageW(toolbar, TB_GETBUTTONTEXTW, static_cast<WPARAM>(info.idCommand), 0);
            if (length > 0 && length < 511)
                SendMessageW(toolbar, TB_GETBUTTONTEXTW, static_cast<WPARAM>(info.idCommand),
                             reinterpret_cast<LPARAM>(text));
        }
        RECT item = {};
        SendMessageW(toolbar, TB_GETITEMRECT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&item));
        MapWindowPoints(toolbar, nullptr, reinterpret_cast<POINT*>(&item), 2);
        w.BeginObject()
            .Key("index")
            .Number(i)
            .Key("id")
            .Number(info.idCommand)
            .Key("text")
            .String(std::wstring(text))
            .Key("style")
            .Number(info.fsStyle)
            .Key("state")
            .Number(info.fsState)
            .Key("image")
            .Number(info.iImage)
            .Key("width")
            .Number(info.cx)
            .Key("rect");
        WriteRect(w, item);
        w.EndObject();
    }
    w.EndArray();
    w.Key("search");
    WriteSearchBox(w, FindSearchBox(toolbar));
}

std::string Failure(const std::string& message) {
    JsonWriter w;
    w.BeginObject().Key("ok").Bool(false).Key("error").String(message.c_str()).EndObject();
    return w.Text();
}

void WriteRegistryKey(JsonWriter& w, const std::wstring& subkey) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, subkey.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
        w.Key("exists").Bool(false);
        return;
    }
    w.Key("exists").Bool(true).Key("values").BeginArray();
    for (DWORD i = 0;; ++i) {
        wchar_t name[16384];
        DWORD nameLen = 16384, type = 0, size = 0;
        if (RegEnumValueW(key, i, name, &nameLen, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) break;
        std::vector<BYTE> data(size + 2);
        nameLen = 16384;
        DWORD got = size;
        if (RegEnumValueW(key, i, name, &nameLen, nullptr, &type, data.data(), &got) != ERROR_SUCCESS) break;
        w.BeginObject().Key("name").String(std::wstring(name, nameLen)).Key("type").Number(type);
        if (type == REG_SZ || type == REG_EXPAND_SZ) {
            std::wstring text(reinterpret_cast<const wchar_t*>(data.data()), got / sizeof(wchar_t));
            text.resize(wcsnlen(text.c_str(), text.size()));
            w.Key("text").String(text);
        } else if (type == REG_DWORD && got == 4) {
            DWORD value = 0;
            memcpy(&value, data.data(), 4);
            w.Key("number").Number(value);
        }
        w.Key("bytes").Bytes(std::string(reinterpret_cast<const char*>(data.data()), got));
        w.EndObject();
    }
    w.EndArray().Key("subkeys").BeginArray();
    for (DWORD i = 0;; ++i) {
        wchar_t name[256];
        DWORD nameLen = 256;
        if (RegEnumKeyExW(key, i, name, &nameLen, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        w.String(std::wstring(name, nameLen));
    }
    w.EndArray();
    RegCloseKey(key);
}

std::u16string Arg(const std::vector<std::u16string>& command, size_t i) {
    return i < command.size() ? command[i] : std::u16string();
}

// The test browser's address, title and records, on its own thread.
void WriteBrowser(JsonWriter& w, HostWindow& host) {
    FakeBrowser* browser = host.Browser();
    w.BeginObject().Key("location").String(browser->Location());
    w.Key("title").String(browser->Document() ? browser->Document()->Title() : std::wstring());
    w.Key("bands").Number(static_cast<int64_t>(host.Bands().size()));
    w.Key("navigateCalls").Number(static_cast<int64_t>(browser->NavigateCalls().size()));
    w.Key("newWindows").Number(static_cast<int64_t>(browser->NewWindows().size()));
    w.Key("showBrowserBar").BeginArray();
    for (const auto& call : browser->ShowBrowserBarCalls())
        w.BeginObject().Key("clsid").String(call.clsid).Key("show").Bool(call.show).EndObject();
    w.EndArray();
    w.Key("navigations").BeginArray();
    for (const auto& n : browser->Navigations()) {
        static const char* const kOrigins[] = {"navigate2", "form", "user", "new-window"};
        w.BeginObject()
            .Key("origin")
            .String(kOrigins[static_cast<int>(n.origin)])
            .Key("url")
            .String(n.url)
            .Key("method")
            .String(n.method)
            .Key("headers")
            .String(n.headers)
            .Key("post")
            .Bytes(std::string(n.postData.begin(), n.postData.end()))
            .Key("completed")
            .Bool(n.completed)
            .Key("cancelled")
            .Bool(n.cancelled)
            .Key("finalUrl")
            .String(n.finalUrl)
            .Key("status")
            .Number(n.status)
            .EndObject();
    }
    w.EndArray().Key("submissions").BeginArray();
    for (const auto& s : browser->Submissions()) {
        w.BeginObject()
            .Key("form")
            .String(s.formName)
            .Key("action")
            .String(s.action)
            .Key("method")
            .String(s.method)
            .Key("body")
            .Bytes(s.body)
            .EndObject();
    }
    w.EndArray().EndObject();
}

void PostKey(HWND hwnd, WPARAM vk) {
    PostMessageW(hwnd, WM_KEYDOWN, vk, 1);
    PostMessageW(hwnd, WM_KEYUP, vk, 0xC0000001);
}

}  // namespace

DemoDriver::DemoDriver(HostWindow& host, unsigned short port)
    : host_(host), frame_(host.Frame()), port_(port), socket_(INVALID_SOCKET) {
    WSADATA wsa;
    WSAStartup(MAKEWORD(2, 2), &wsa);
    WNDCLASSW wc = {};
    wc.lpfnWndProc = TaskWindowProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = kTaskClass;
    RegisterClassW(&wc);
    tasks_ = CreateWindowExW(0, kTaskClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
    // No real pointer moves in a scripted session: keep it away from where menus open.
    SetCursorPos(GetSystemMetrics(SM_CXSCREEN) - 1, GetSystemMetrics(SM_CYSCREEN) - 1);
    thread_ = CreateThread(nullptr, 0, ThreadMain, this, 0, nullptr);
}

DemoDriver::~DemoDriver() {
    stopping_ = true;
    const SOCKET s = static_cast<SOCKET>(socket_.exchange(INVALID_SOCKET));
    if (s != INVALID_SOCKET) {
        shutdown(s, SD_BOTH);
        closesocket(s);
    }
    if (thread_) {
        // The thread may be waiting for this one: keep answering what it sends until it ends.
        const DWORD deadline = GetTickCount() + 10000;
        while (MsgWaitForMultipleObjects(1, &thread_, FALSE, 200, QS_SENDMESSAGE) != WAIT_OBJECT_0 &&
               GetTickCount() < deadline) {
            MSG msg;
            PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
        }
        CloseHandle(thread_);
    }
    if (tasks_) DestroyWindow(tasks_);
    WSACleanup();
}

LRESULT CALLBACK DemoDriver::TaskWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == kRunTask) {
        auto* task = reinterpret_cast<Task*>(lParam);
        try {
            task->fn();
        } catch (...) {
        }
        SetEvent(task->done);
        task->Release();
        return 0;
    }
    if (msg == kFence) {
        auto* task = reinterpret_cast<Task*>(lParam);
        SetEvent(task->done);
        task->Release();
        return 0;
    }
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

bool DemoDriver::OnHostThread(std::function<void()> fn, DWORD timeoutMs) {
    return PostAndWait(kRunTask, std::move(fn), timeoutMs);
}

bool DemoDriver::Fence(DWORD timeoutMs) { return PostAndWait(kFence, nullptr, timeoutMs); }

bool DemoDriver::PostAndWait(UINT message, std::function<void()> fn, DWORD timeoutMs) {
    auto* task = new Task;
    task->fn = std::move(fn);
    task->done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (!PostMessageW(tasks_, message, 0, reinterpret_cast<LPARAM>(task))) {
        task->Release();
        task->Release();
        return false;
    }
    const bool done = WaitForSingleObject(task->done, timeoutMs) == WAIT_OBJECT_0;
    task->Release();
    return done;
}

DWORD WINAPI DemoDriver::ThreadMain(void* self) {
    static_cast<DemoDriver*>(self)->Serve();
    return 0;
}

void DemoDriver::Serve() {
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET) return;
    sockaddr_in addr = {};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port_);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        closesocket(s);
        return;
    }
    socket_ = s;
    if (stopping_) {
        if (socket_.exchange(INVALID_SOCKET) != INVALID_SOCKET) closesocket(s);
        return;
    }
    std::string pending;
    char chunk[4096];
    for (;;) {
        size_t newline;
        while ((newline = pending.find('\n')) == std::string::npos) {
            const int n = recv(s, chunk, sizeof chunk, 0);
            if (n <= 0) {
                if (socket_.exchange(INVALID_SOCKET) != INVALID_SOCKET) closesocket(s);
                return;
            }
            pending.append(chunk, static_cast<size_t>(n));
        }
        const std::string line = pending.substr(0, newline);
        pending.erase(0, newline + 1);
        std::string answer;
        try {
            answer = Execute(SplitDriverCommand(line));
        } catch (...) {
            answer = Failure("the command failed");
        }
        answer += '\n';
        for (size_t sent = 0; sent < answer.size();) {
            const int n = send(s, answer.data() + sent, static_cast<int>(answer.size() - sent), 0);
            if (n <= 0) break;
            sent += static_cast<size_t>(n);
        }
    }
}

std::string DemoDriver::Execute(const Command& command) {
    using Handler = std::string (DemoDriver::*)(const Command&, JsonWriter&);
    static const struct {
        const char16_t* verb;
        Handler handler;
    } kCommands[] = {
        {u"hello", &DemoDriver::Hello},
        {u"windows", &DemoDriver::Windows},
        {u"toolbar", &DemoDriver::Toolbar},
        {u"click", &DemoDriver::Click},
        {u"menu", &DemoDriver::ChooseMenuItem},
        {u"menu-close", &DemoDriver::CloseMenu},
        {u"set-text", &DemoDriver::SetText},
        {u"press", &DemoDriver::Press},
        {u"type", &DemoDriver::Type},
        {u"browser", &DemoDriver::BrowserRecords},
        {u"navigate", &DemoDriver::Navigate},
        {u"reg", &DemoDriver::Registry},
        {u"close", &DemoDriver::Close},
        {u"activate", &DemoDriver::Activate},
        {u"tab-open", &DemoDriver::TabOpen},
        {u"tab-command", &DemoDriver::TabCommand},
        {u"tab-close", &DemoDriver::TabClose},
        {u"stats", &DemoDriver::Stats},
        {u"watch-start", &DemoDriver::WatchStart},
        {u"watch-stop", &DemoDriver::WatchStop},
    };
    const std::u16string& verb = command.front();
    for (const auto& entry : kCommands) {
        if (verb != entry.verb) continue;
        JsonWriter w;
        w.BeginObject().Key("ok").Bool(true);
        std::string failure = (this->*entry.handler)(command, w);
        if (!failure.empty()) return failure;
        w.EndObject();
        return w.Text();
    }
    return Failure("unknown command");
}

std::string DemoDriver::Hello(const Command&, JsonWriter& w) {
    w.Key("pid")
        .Number(GetCurrentProcessId())
        .Key("frame")
        .Number(Handle(frame_))
        .Key("screen")
        .BeginArray()
        .Number(GetSystemMetrics(SM_CXSCREEN))
        .Number(GetSystemMetrics(SM_CYSCREEN))
        .EndArray();
    RECT r = {};
    GetWindowRect(frame_, &r);
    w.Key("rect");
    WriteRect(w, r);
    return {};
}

std::string DemoDriver::Windows(const Command&, JsonWriter& w) {
    w.Key("windows").BeginArray();
    for (HWND hwnd : ProcessWindows()) WriteWindow(w, hwnd);
    w.EndArray();
    return {};
}

std::string DemoDriver::Toolbar(const Command&, JsonWriter& w) {
    const HWND toolbar = FindToolbar(frame_);
    if (!toolbar) return Failure("no toolbar window in the browser window");
    WriteToolbar(w, toolbar);
    return {};
}

std::string DemoDriver::Click(const Command& command, JsonWriter& w) {
    const HWND toolbar = FindToolbar(frame_);
    if (!toolbar) return Failure("no toolbar window in the browser window");
    const int id = IntFrom(Arg(command, 1));
    const bool arrow = Arg(command, 2) == u"arrow";
    RECT r = {};
    if (!SendMessageW(toolbar, TB_GETRECT, static_cast<WPARAM>(id), reinterpret_cast<LPARAM>(&r)))
        return Failure("the toolbar has no button " + std::to_string(id));
    const LRESULT state = SendMessageW(toolbar, TB_GETSTATE, static_cast<WPARAM>(id), 0);
    if (state < 0 || !(state & TBSTATE_ENABLED) || (state & TBSTATE_HIDDEN))
        return Failure("button " + std::to_string(id) + " is disabled or hidden");
    const int x = arrow ? r.right - 4 : (r.left + r.right) / 2;
    const int y = (r.top + r.bottom) / 2;
    PostMessageW(toolbar, WM_MOUSEMOVE, 0, MAKELPARAM(x, y));
    PostMessageW(toolbar, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y));
    // The drop-down arrow acts on the button press; a release would reach the menu it opens.
    if (!arrow) PostMessageW(toolbar, WM_LBUTTONUP, 0, MAKELPARAM(x, y));
    w.Key("fenced").Bool(Fence());
    return {};
}

std::string DemoDriver::ChooseMenuItem(const Command& command, JsonWriter& w) {
    const HWND popup = OpenPopupMenu();
    if (!popup) return Failure("no pop-up menu is open");
    const HMENU menu = reinterpret_cast<HMENU>(SendMessageW(popup, MN_GETHMENU, 0, 0));
    const UINT id = static_cast<UINT>(IntFrom(Arg(command, 1)));
    const int count = GetMenuItemCount(menu);
    int position = -1, steps = 0;
    for (int i = 0; i < count && position < 0; ++i) {
        MENUITEMINFOW mii = {};
        mii.cbSize = sizeof mii;
        mii.fMask = MIIM_ID | MIIM_FTYPE;
        if (!GetMenuItemInfoW(menu, static_cast<UINT>(i), TRUE, &mii)) continue;
        if (mii.fType & MFT_SEPARATOR) continue;
        ++steps;
        if (mii.wID == id) position = i;
    }
    if (position < 0) return Failure("the open menu has no item " + std::to_string(id));
    // Arrow keys from the top, as a user without a mouse would; then check the highlight.
    for (int i = 0; i < steps; ++i) PostKey(popup, VK_DOWN);
    Fence();
    if (!(GetMenuState(menu, static_cast<UINT>(position), MF_BYPOSITION) & MF_HILITE)) {
        PostKey(popup, VK_ESCAPE);
        Fence();
        return Failure("the keyboard did not reach menu item " + std::to_string(id));
    }
    PostKey(popup, VK_RETURN);
    w.Key("fenced").Bool(Fence());
    return {};
}

std::string DemoDriver::CloseMenu(const Command&, JsonWriter& w) {
    const HWND popup = OpenPopupMenu();
    if (!popup) return Failure("no pop-up menu is open");
    PostKey(popup, VK_ESCAPE);
    w.Key("fenced").Bool(Fence());
    return {};
}

std::string DemoDriver::SetText(const Command& command, JsonWriter& w) {
    const HWND control = GetDlgItem(HwndFrom(Arg(command, 1)), IntFrom(Arg(command, 2)));
    if (!control) return Failure("no such dialog control");
    const std::wstring text = WideFrom(Arg(command, 3));
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutW(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()), SMTO_NORMAL,
                             10000, &result))
        return Failure("the dialog did not take the text");
    w.Key("text").String(WindowText(control));
    return {};
}

std::string DemoDriver::Press(const Command& command, JsonWriter& w) {
    const HWND control = GetDlgItem(HwndFrom(Arg(command, 1)), IntFrom(Arg(command, 2)));
    if (!control) return Failure("no such dialog button");
    if (!IsWindowEnabled(control)) return Failure("the button is disabled");
    PostMessageW(control, BM_CLICK, 0, 0);
    w.Key("fenced").Bool(Fence());
    return {};
}

std::string DemoDriver::Type(const Command& command, JsonWriter& w) {
    const HWND box = FindSearchBox(FindToolbar(frame_));
    if (!box) return Failure("no search box");
    COMBOBOXINFO info = {};
    info.cbSize = sizeof info;
    if (!GetComboBoxInfo(box, &info) || !info.hwndItem) return Failure("the search box has no edit field");
    PostMessageW(info.hwndItem, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2));
    PostMessageW(info.hwndItem, WM_LBUTTONUP, 0, MAKELPARAM(2, 2));
    if (Arg(command, 2) == u"replace") PostMessageW(info.hwndItem, EM_SETSEL, 0, -1);
    for (char16_t c : Arg(command, 1)) PostMessageW(info.hwndItem, WM_CHAR, c, 1);
    w.Key("fenced").Bool(Fence());
    w.Key("search");
    WriteSearchBox(w, box);
    return {};
}

std::string DemoDriver::BrowserRecords(const Command&, JsonWriter& w) {
    JsonWriter inner;
    // The browser's records belong to its thread: read there.
    if (!OnHostThread([this, &inner] { WriteBrowser(inner, host_); }))
        return Failure("the browser's thread did not answer");
    w.Key("browser").Raw(inner.Text());
    return {};
}

std::string DemoDriver::Navigate(const Command& command, JsonWriter&) {
    const std::wstring url = WideFrom(Arg(command, 1));
    if (!OnHostThread([this, url] { host_.Browser()->UserNavigate(url); }))
        return Failure("the browser's thread did not answer");
    return {};
}

std::string DemoDriver::Registry(const Command& command, JsonWriter& w) {
    WriteRegistryKey(w, WideFrom(Arg(command, 1)));
    return {};
}

std::string DemoDriver::Close(const Command&, JsonWriter&) {
    PostMessageW(frame_, WM_CLOSE, 0, 0);
    return {};
}

std::string DemoDriver::Activate(const Command&, JsonWriter&) {
    if (!OnHostThread([this] {
            SetForegroundWindow(frame_);
            SetActiveWindow(frame_);
        }))
        return Failure("the browser's thread did not answer");
    return {};
}

std::string DemoDriver::TabOpen(const Command& command, JsonWriter& w) {
    if (!tabs_) return Failure("this browser has no tabs");
    const int id = tabs_->Open(WideFrom(Arg(command, 1)));
    if (!id) return Failure("the tab did not come up");
    w.Key("tab").Number(id).Key("toolbar").Number(Handle(tabs_->Toolbar(id)));
    return {};
}

std::string DemoDriver::TabCommand(const Command& command, JsonWriter&) {
    const HWND toolbar = tabs_ ? tabs_->Toolbar(IntFrom(Arg(command, 1))) : nullptr;
    if (!toolbar || !IsWindow(toolbar)) return Failure("no such tab or it has no toolbar");
    PostMessageW(toolbar, WM_COMMAND, MAKEWPARAM(IntFrom(Arg(command, 2)), 0), 0);
    return {};
}

std::string DemoDriver::TabClose(const Command& command, JsonWriter& w) {
    if (!tabs_) return Failure("this browser has no tabs");
    const DWORD start = GetTickCount();
    if (!tabs_->Close(IntFrom(Arg(command, 1)))) return Failure("the tab did not close");
    w.Key("ms").Number(GetTickCount() - start);
    return {};
}

std::string DemoDriver::Stats(const Command&, JsonWriter& w) {
    const ProcessStats stats = MeasureProcess();
    const SYSTEMTIME now = SimulatedLocalTime();
    wchar_t clock[32];
    swprintf(clock, 32, L"%04u-%02u-%02u %02u:%02u", now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute);
    w.Key("handles")
        .Number(static_cast<int64_t>(stats.handles))
        .Key("gdi")
        .Number(static_cast<int64_t>(stats.gdiObjects))
        .Key("user")
        .Number(static_cast<int64_t>(stats.userObjects))
        .Key("private")
        .Number(static_cast<int64_t>(stats.privateBytes))
        .Key("threads")
        .Number(static_cast<int64_t>(stats.threads))
        .Key("tabs")
        .Number(tabs_ ? static_cast<int64_t>(tabs_->Ids().size()) : 0)
        .Key("clock")
        .String(clock)
        .Key("hours")
        .Number(static_cast<int64_t>(SimulatedHours() * 1000));
    w.Key("handleTypes").BeginObject();
    for (const auto& type : stats.handleTypes) {
        const std::string name(type.first.begin(), type.first.end());  // ASCII names
        w.Key(name.c_str()).Number(static_cast<int64_t>(type.second));
    }
    w.EndObject();
    return {};
}

std::string DemoDriver::WatchStart(const Command& command, JsonWriter&) {
    watch_ = std::make_unique<RegistryWatch>(WideFrom(Arg(command, 1)));
    watch_->Start();
    return {};
}

std::string DemoDriver::WatchStop(const Command&, JsonWriter& w) {
    if (!watch_) return Failure("no watch is running");
    const RegistryWatch::Result r = watch_->Stop();
    w.Key("reads")
        .Number(static_cast<int64_t>(r.reads))
        .Key("keyMissing")
        .Number(static_cast<int64_t>(r.keyMissing))
        .Key("namesMissing")
        .Number(static_cast<int64_t>(r.namesMissing))
        .Key("historyShrunk")
        .Number(static_cast<int64_t>(r.historyShrunk))
        .Key("names")
        .Number(static_cast<int64_t>(r.names))
        .Key("historyEntries")
        .Number(static_cast<int64_t>(r.historyEntries))
        .Key("example")
        .String(r.example);
    return {};
}

}  // namespace tthost
