// What the 32-bit module does differently, checked on the built DLL as the browser calls it:
// arguments travel on the stack and only a __stdcall entry point or method removes them (a
// __cdecl one leaves them there and the caller's stack drifts); the structure the browser hands
// in has the 32-bit layout; and a fault inside the module unwinds by the module's own DWARF
// tables (it has no SEH frames) to its guard.
#include <gtest/gtest.h>
#include <windows.h>
#include <exdisp.h>
#include <exdispid.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "TavelleToolbarIE_h.h"
#include "host/host_test_support_win.h"
#include "host/host_window_win.h"

static_assert(sizeof(void*) == 4, "the stack probe is 32-bit x86 code");

// Pushes `count` words (last first), calls `fn`, stores its EAX in *result and returns the
// number of argument bytes still on the stack after it returned: 0 for __stdcall.
extern "C" uint32_t tt_stack_left_by_call(const void* fn, const uint32_t* args, uint32_t count,
                                          uint32_t* result);
asm(R"(
    .text
    .globl _tt_stack_left_by_call
_tt_stack_left_by_call:
    pushl %ebp
    movl %esp, %ebp
    pushl %ebx
    pushl %esi
    pushl %edi
    movl 12(%ebp), %esi
    movl 16(%ebp), %ecx
    movl %esp, %edi
1:  testl %ecx, %ecx
    jz 2f
    pushl -4(%esi,%ecx,4)
    decl %ecx
    jmp 1b
2:  call *8(%ebp)
    movl 20(%ebp), %ecx
    movl %eax, (%ecx)
    movl %edi, %eax
    subl %esp, %eax
    movl %edi, %esp
    popl %edi
    popl %esi
    popl %ebx
    popl %ebp
    ret
)");

namespace {

using tthost::ComPtr;

template <class T>
uint32_t Word(T value) {
    static_assert(sizeof(T) <= 4, "one stack word");
    uint32_t word = 0;
    std::memcpy(&word, &value, sizeof value);
    return word;
}

// Calls fn(args...) through the probe; *hr gets its result.
template <class... A>
uint32_t StackLeft(const void* fn, HRESULT* hr, A... args) {
    const uint32_t words[] = {Word(args)..., 0};
    uint32_t result = 0;
    uint32_t left = tt_stack_left_by_call(fn, words, sizeof...(A), &result);
    *hr = static_cast<HRESULT>(result);
    return left;
}

// The method at a slot of an object's table (the slots of these interfaces are fixed).
const void* Slot(void* object, int slot) { return (*static_cast<void* const* const*>(object))[slot]; }
enum : int {
    kCreateInstance = 3,
    kLockServer = 4,  // IClassFactory
    kSetSite = 3,     // IObjectWithSite
    kInvoke = 6,      // IDispatch
    kGetWindow = 3,
    kShowDW = 5,
    kGetBandInfo = 8,  // IOleWindow, IDockingWindow, IDeskBand
};

int __cdecl AddThree(int a, int b, int c) { return a + b + c; }

class ShippedModuleX86 : public tthost::ComTest {
protected:
    void SetUp() override {
        tthost::ComTest::SetUp();
        wchar_t path[MAX_PATH * 2];
        GetModuleFileNameW(nullptr, path, MAX_PATH * 2);
        PathRemoveFileSpecW(path);
        module_ = LoadLibraryW((std::wstring(path) + L"\\..\\src\\module\\TavelleToolbarIE.dll").c_str());
        ASSERT_TRUE(module_) << "the built module beside this program's build folder";
    }
    void TearDown() override {
        if (module_) FreeLibrary(module_);
        tthost::ComTest::TearDown();
    }
    const void* Export(const char* name) {
        return reinterpret_cast<const void*>(GetProcAddress(module_, name));
    }
    // The class object of clsid, asked for through the probe.
    IClassFactory* ClassObject(REFCLSID clsid) {
        IClassFactory* factory = nullptr;
        HRESULT hr = E_FAIL;
        EXPECT_EQ(0u, StackLeft(Export("DllGetClassObject"), &hr, &clsid, &IID_IClassFactory, &factory));
        EXPECT_EQ(S_OK, hr);
        return factory;
    }
    HMODULE module_ = nullptr;
};

TEST_F(ShippedModuleX86, EntryPointsMethodsAndWindowProcedureRemoveTheirOwnArguments) {
    HRESULT hr = E_FAIL;
    // The probe sees a __cdecl function's arguments left behind.
    ASSERT_EQ(12u, StackLeft(reinterpret_cast<const void*>(&AddThree), &hr, 1, 2, 3));
    ASSERT_EQ(6, hr);

    EXPECT_EQ(0u, StackLeft(Export("DllCanUnloadNow"), &hr));
    EXPECT_EQ(S_OK, hr);

    // The helper object: class object, instance, site, the browser's events.
    IClassFactory* factory = ClassObject(CLSID_TavelleBHO);
    ASSERT_TRUE(factory);
    EXPECT_EQ(0u, StackLeft(Slot(factory, kLockServer), &hr, factory, FALSE));
    IObjectWithSite* bho = nullptr;
    EXPECT_EQ(0u, StackLeft(Slot(factory, kCreateInstance), &hr, factory, static_cast<IUnknown*>(nullptr),
                            &IID_IObjectWithSite, &bho));
    ASSERT_EQ(S_OK, hr);
    factory->Release();
    HWND frame =
        CreateWindowW(L"STATIC", L"browser", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    ComPtr<tthost::FakeBrowser> browser = tthost::FakeBrowser::Create(nullptr, frame);
    EXPECT_EQ(0u, StackLeft(Slot(bho, kSetSite), &hr, bho, static_cast<IWebBrowser2*>(browser.Get())));
    EXPECT_EQ(S_OK, hr);
    IDispatch* sink = nullptr;
    ASSERT_EQ(S_OK, bho->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&sink)));
    DISPPARAMS none = {nullptr, nullptr, 0, 0};
    EXPECT_EQ(0u, StackLeft(Slot(sink, kInvoke), &hr, sink, DISPID_DOWNLOADBEGIN, &IID_NULL, LCID(0),
                            WORD(DISPATCH_METHOD), &none, static_cast<VARIANT*>(nullptr),
                            static_cast<EXCEPINFO*>(nullptr), static_cast<UINT*>(nullptr)));
    EXPECT_EQ(S_OK, hr);
    sink->Release();
    browser->FireOnQuit();
    browser->ReleaseSinks();
    bho->Release();
    DestroyWindow(frame);

    // The band, docked as the browser docks it: its window and the toolbar's window procedure.
    factory = ClassObject(CLSID_TavelleToolbar);
    ASSERT_TRUE(factory);
    IDeskBand* band = nullptr;
    EXPECT_EQ(0u, StackLeft(Slot(factory, kCreateInstance), &hr, factory, static_cast<IUnknown*>(nullptr),
                            &IID_IDeskBand, &band));
    ASSERT_EQ(S_OK, hr);
    factory->Release();
    {
        tthost::HostWindow host;
        ASSERT_EQ(S_OK, host.AddBand(band));
        HWND toolbar = nullptr;
        EXPECT_EQ(0u, StackLeft(Slot(band, kGetWindow), &hr, band, &toolbar));
        ASSERT_TRUE(IsWindow(toolbar));
        EXPECT_EQ(0u, StackLeft(Slot(band, kShowDW), &hr, band, TRUE));

        // DESKBANDINFO as the browser lays it out: the band fills it and writes nothing beyond.
        struct {
            DESKBANDINFO info;
            unsigned char after[64];
        } given;
        std::memset(&given, 0xA5, sizeof given);
        given.info.dwMask = DBIM_MINSIZE | DBIM_MAXSIZE | DBIM_ACTUAL | DBIM_TITLE | DBIM_MODEFLAGS;
        EXPECT_EQ(0u, StackLeft(Slot(band, kGetBandInfo), &hr, band, DWORD(0), DWORD(DBIF_VIEWMODE_NORMAL),
                                &given.info));
        EXPECT_EQ(S_OK, hr);
        // The toolbar window's sizes (without one the band answers 20 wide).
        EXPECT_TRUE(given.info.ptMinSize.x == 18 && given.info.ptMinSize.y == 26 &&
                    given.info.ptMaxSize.x == 0 && given.info.ptMaxSize.y == 26 &&
                    given.info.ptActual.x == 18 && given.info.ptActual.y == 26);
        EXPECT_EQ(L'\0', given.info.wszTitle[0]);
        EXPECT_EQ(DWORD(DBIMF_BREAK), given.info.dwModeFlags);
        for (unsigned char b : given.after) ASSERT_EQ(0xA5, b) << "written past the structure";

        const void* procedure = reinterpret_cast<const void*>(GetWindowLongPtrW(toolbar, GWLP_WNDPROC));
        EXPECT_EQ(0u, StackLeft(procedure, &hr, toolbar, WM_NULL, WPARAM(0), LPARAM(0)));
        EXPECT_EQ(0u,
                  StackLeft(procedure, &hr, toolbar, WM_SIZE, WPARAM(SIZE_RESTORED), MAKELPARAM(600, 30)));
        host.RemoveBands();
    }
    band->Release();
}

TEST_F(ShippedModuleX86, AFaultInsideTheModuleEndsAtItsGuardAndTheModuleCarriesOn) {
    IClassFactory* factory = ClassObject(CLSID_TavelleBHO);
    ASSERT_TRUE(factory);
    ComPtr<IObjectWithSite> bho;
    ASSERT_EQ(S_OK, factory->CreateInstance(nullptr, IID_IObjectWithSite,
                                            reinterpret_cast<void**>(bho.GetAddressOf())));
    factory->Release();
    HWND frame =
        CreateWindowW(L"STATIC", L"browser", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    ComPtr<tthost::FakeBrowser> browser = tthost::FakeBrowser::Create(nullptr, frame);
    ASSERT_EQ(S_OK, bho->SetSite(static_cast<IWebBrowser2*>(browser.Get())));
    // Attached twice without the browser's quit in between: the module raises a fault, which
    // unwinds through its frames to SetSite's guard.
    EXPECT_EQ(E_ABORT, bho->SetSite(static_cast<IWebBrowser2*>(browser.Get())));
    ComPtr<IDispatch> sink;
    ASSERT_EQ(S_OK, bho.As(&sink));
    DISPPARAMS none = {nullptr, nullptr, 0, 0};
    EXPECT_EQ(S_OK, sink->Invoke(DISPID_DOWNLOADBEGIN, IID_NULL, 0, DISPATCH_METHOD, &none, nullptr, nullptr,
                                 nullptr));
    browser->FireOnQuit();
    browser->ReleaseSinks();
    DestroyWindow(frame);
}

}  // namespace
