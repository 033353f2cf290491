// The COM support: reference counts, identity under aggregation, the creation rules of the
// class factory and the module's lock count.
#include <gtest/gtest.h>

#include <initguid.h>

#include "support/com_object_win.h"
#include "support/com_ptr_win.h"

namespace {

// {6A0D3E9C-1B57-4C43-9E0B-2E9A2F40C111}: an interface only these tests know.
DEFINE_GUID(IID_ITestThing, 0x6a0d3e9c, 0x1b57, 0x4c43, 0x9e, 0x0b, 0x2e, 0x9a, 0x2f, 0x40, 0xc1, 0x11);

struct ITestThing : public IUnknown {
    virtual int STDMETHODCALLTYPE Value() = 0;
};

int g_liveThings = 0;
HRESULT g_finalConstructResult = S_OK;

class CTestThing final : public ITestThing, public IPersist, public tt::com::ComObjectRoot {
public:
    CTestThing() { ++g_liveThings; }
    ~CTestThing() override { --g_liveThings; }

    TT_COM_DELEGATING_IUNKNOWN
    HRESULT QueryInterfaceTable(REFIID riid, void** ppv) override {
        static const QITAB table[] = {
            QITABENTMULTI2(CTestThing, IID_ITestThing, ITestThing),
            QITABENT(CTestThing, IPersist),
            {},
        };
        return tt::com::SearchInterfaceTable(this, table, riid, ppv);
    }
    HRESULT FinalConstruct() override { return g_finalConstructResult; }

    int STDMETHODCALLTYPE Value() override { return 42; }
    STDMETHODIMP GetClassID(CLSID* id) override {
        *id = CLSID{};
        return S_OK;
    }
};

// A minimal outer object: counts its references and hands queries for other interfaces to the
// inner object it aggregates.
class FakeOuter final : public IUnknown {
public:
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        if (IsEqualIID(riid, IID_IUnknown)) {
            *ppv = static_cast<IUnknown*>(this);
            AddRef();
            return S_OK;
        }
        return inner ? inner->QueryInterface(riid, ppv) : E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++refs; }
    STDMETHODIMP_(ULONG) Release() override { return --refs; }
    ULONG refs = 1;
    IUnknown* inner = nullptr;
};

class ComObjectTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_finalConstructResult = S_OK;
        baseLocks_ = tt::com::ModuleLockCount();
    }
    void TearDown() override {
        EXPECT_EQ(0, g_liveThings) << "an object leaked";
        EXPECT_EQ(baseLocks_, tt::com::ModuleLockCount()) << "the lock count did not come back";
    }
    LONG baseLocks_ = 0;
};

TEST_F(ComObjectTest, PlainObjectCountsReferencesAndAnswersItsTable) {
    tt::com_ptr<IPersist> persist;
    ASSERT_EQ(S_OK, tt::com::CreateInstance<CTestThing>(nullptr, IID_IPersist, persist.put_void()));
    EXPECT_EQ(1, g_liveThings);
    EXPECT_EQ(baseLocks_ + 1, tt::com::ModuleLockCount());

    ITestThing* thing = nullptr;
    ASSERT_EQ(S_OK, persist->QueryInterface(IID_ITestThing, reinterpret_cast<void**>(&thing)));
    EXPECT_EQ(42, thing->Value());
    EXPECT_EQ(1u, thing->Release());  // the owner's reference is left
    // Identity: IUnknown from either interface is the same pointer.
    EXPECT_TRUE(tt::IsSameObject(persist.get(), thing));

    IUnknown* other = reinterpret_cast<IUnknown*>(0x1);
    EXPECT_EQ(E_NOINTERFACE, persist->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&other)));
    EXPECT_EQ(nullptr, other);
    EXPECT_EQ(E_POINTER, persist->QueryInterface(IID_IPersist, nullptr));

    persist.reset();
    EXPECT_EQ(0, g_liveThings);
}

TEST_F(ComObjectTest, CreationRulesForNullPointersAndAggregation) {
    EXPECT_EQ(E_POINTER, tt::com::CreateInstance<CTestThing>(nullptr, IID_IUnknown, nullptr));

    FakeOuter outer;
    void* out = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(CLASS_E_NOAGGREGATION, tt::com::CreateInstance<CTestThing>(&outer, IID_IPersist, &out));
    EXPECT_EQ(nullptr, out);
    EXPECT_EQ(0, g_liveThings);

    // A failed query destroys the new object again.
    EXPECT_EQ(E_NOINTERFACE, tt::com::CreateInstance<CTestThing>(nullptr, IID_IDispatch, &out));
    EXPECT_EQ(nullptr, out);
    EXPECT_EQ(0, g_liveThings);

    // So does a failed FinalConstruct.
    g_finalConstructResult = E_FAIL;
    EXPECT_EQ(E_FAIL, tt::com::CreateInstance<CTestThing>(nullptr, IID_IUnknown, &out));
    EXPECT_EQ(0, g_liveThings);
}

TEST_F(ComObjectTest, AggregatedObjectDelegatesToItsOuter) {
    FakeOuter outer;
    IUnknown* inner = nullptr;
    ASSERT_EQ(S_OK,
              tt::com::CreateInstance<CTestThing>(&outer, IID_IUnknown, reinterpret_cast<void**>(&inner)));
    outer.inner = inner;
    EXPECT_EQ(1u, outer.refs) << "creating the inner object must not count on the outer";

    // Interfaces of the inner object add references to the outer, and their IUnknown is the
    // outer's.
    IPersist* persist = nullptr;
    ASSERT_EQ(S_OK, inner->QueryInterface(IID_IPersist, reinterpret_cast<void**>(&persist)));
    EXPECT_EQ(2u, outer.refs);
    IUnknown* identity = nullptr;
    ASSERT_EQ(S_OK, persist->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity)));
    EXPECT_EQ(static_cast<IUnknown*>(&outer), identity);
    identity->Release();
    persist->Release();
    EXPECT_EQ(1u, outer.refs);

    EXPECT_EQ(1, g_liveThings);
    EXPECT_EQ(0u, inner->Release());
    EXPECT_EQ(0, g_liveThings);
}

TEST_F(ComObjectTest, ClassFactoryAppliesTheRulesAndLocksTheModule) {
    tt::com_ptr<IClassFactory> factory;
    ASSERT_EQ(S_OK, tt::com::CreateClassFactory(&tt::com::CreatorOf<CTestThing>, IID_IClassFactory,
                                                factory.put_void()));
    EXPECT_EQ(baseLocks_ + 1, tt::com::ModuleLockCount()) << "a live class object keeps the module";

    EXPECT_EQ(E_POINTER, factory->CreateInstance(nullptr, IID_IPersist, nullptr));
    FakeOuter outer;
    void* out = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(CLASS_E_NOAGGREGATION, factory->CreateInstance(&outer, IID_IPersist, &out));
    EXPECT_EQ(nullptr, out);

    tt::com_ptr<ITestThing> thing;
    ASSERT_EQ(S_OK, factory->CreateInstance(nullptr, IID_ITestThing, thing.put_void()));
    EXPECT_EQ(42, thing->Value());
    EXPECT_EQ(baseLocks_ + 2, tt::com::ModuleLockCount());
    thing.reset();

    EXPECT_EQ(S_OK, factory->LockServer(TRUE));
    factory.reset();
    EXPECT_EQ(baseLocks_ + 1, tt::com::ModuleLockCount()) << "LockServer keeps the module after release";
    ASSERT_EQ(S_OK, tt::com::CreateClassFactory(&tt::com::CreatorOf<CTestThing>, IID_IClassFactory,
                                                factory.put_void()));
    EXPECT_EQ(S_OK, factory->LockServer(FALSE));
    factory.reset();
}

}  // namespace
