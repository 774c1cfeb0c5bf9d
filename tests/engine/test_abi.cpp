// The engine reached as the program reaches it: by ProgID through the loader
// and dlopen, called through the v-table from code compiled without any of
// the engine's sources.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <string>

#include "celaris/com/class_registry.h"
#include "celaris/com/guid.h"
#include "celaris/com/loader.h"
#include "celaris/com/safearray.h"
#include "trimcore/isvd.h"

using namespace celaris::com;

namespace {

constexpr double kDeg = 0.017453292519943278;

// Each test gets its own empty class registry.
class EngineAbi : public ::testing::Test {
protected:
    void SetUp() override {
        char dir[] = "/tmp/celaris-abi-XXXXXX";
        ASSERT_NE(::mkdtemp(dir), nullptr);
        dir_ = dir;
        registry_ = dir_ + "/classes.reg";
        ::setenv("CELARIS_CLASS_REGISTRY", registry_.c_str(), 1);
    }
    void TearDown() override {
        ::unsetenv("CELARIS_CLASS_REGISTRY");
        std::system(("rm -rf '" + dir_ + "'").c_str());
    }

    ISVD* Create(const char* id = "Trimcore.SVD") {
        ISVD* svd = nullptr;
        EXPECT_EQ(CreateInstance(id, IID_ISVD, reinterpret_cast<void**>(&svd)), S_OK);
        return svd;
    }

    // The library as the loader's fallback finds it.
    void* OpenEngineLibrary() {
        for (const auto& d : ShippedLibraryDirs()) {
            const std::string lib = d + "/libtrimcore.so";
            if (::access(lib.c_str(), R_OK) == 0) return ::dlopen(lib.c_str(), RTLD_NOW);
        }
        return nullptr;
    }

    std::string dir_, registry_;
};

}  // namespace

TEST_F(EngineAbi, FreshObjectThroughTheVtable) {
    ISVD* svd = Create();
    ASSERT_NE(svd, nullptr);
    LONG flag = -7;
    double term = -1;
    EXPECT_EQ(svd->get_ApplyCorrections(&flag), S_OK);
    EXPECT_EQ(flag, 1);
    EXPECT_EQ(svd->get_Inverted(&flag), S_OK);
    EXPECT_EQ(flag, 0);
    using Get = HRESULT (ISVD::*)(double*);
    for (Get g : {&ISVD::get_AxisNonPerp, &ISVD::get_Collimation, &ISVD::get_DecFlex,
                  &ISVD::get_DecOffset, &ISVD::get_ForkFlex, &ISVD::get_HOffset,
                  &ISVD::get_PolarLeftRight, &ISVD::get_PolarVertical, &ISVD::get_TubeFlex}) {
        EXPECT_EQ((svd->*g)(&term), S_OK);
        EXPECT_EQ(term, 0.0);
    }
    // Automation true (-1) is stored as true and read back as 1.
    svd->put_German(-1);
    EXPECT_EQ(svd->get_German(&flag), S_OK);
    EXPECT_EQ(flag, 1);
    EXPECT_EQ(svd->get_German(nullptr), E_POINTER);
    EXPECT_EQ(svd->Release(), 0u);
}

TEST_F(EngineAbi, DocumentedCorrectionThroughTheVtable) {
    ISVD* svd = Create("Trimcore.SVD.1");
    ASSERT_NE(svd, nullptr);
    svd->put_German(1);
    svd->put_Latitude(40 * kDeg);
    svd->put_Pressure(0);
    svd->put_Temperature(10);
    svd->put_DecOffset(0.001);
    double ha = 0, dec = 0;
    EXPECT_EQ(svd->GetCorrectedHADec(0.3, 0.5, &ha, &dec), S_OK);
    EXPECT_NEAR(ha, 0.3, 1e-12);
    EXPECT_NEAR(dec, 0.501, 1e-12);
    svd->put_Inverted(-1);
    svd->GetCorrectedHADec(0.3, 0.5, &ha, &dec);
    EXPECT_NEAR(dec, 0.499, 1e-12);
    EXPECT_EQ(svd->GetScopeHADec(0.3, 0.5, nullptr, &dec), E_POINTER);
    svd->Release();
}

TEST_F(EngineAbi, AstrometryAndStarSearchThroughTheVtable) {
    ISVD* svd = Create();
    ASSERT_NE(svd, nullptr);
    // Decades of precession move the place by minutes of arc; back returns it.
    double ra = 0, dec = 0, ra2k = 0, dec2k = 0;
    EXPECT_EQ(svd->J2kToApparent(1.0, 0.3, &ra, &dec), S_OK);
    EXPECT_GT(std::hypot(ra - 1.0, dec - 0.3), 20.0 / 60.0 * kDeg);
    EXPECT_EQ(svd->ApparentToJ2k(ra, dec, &ra2k, &dec2k), S_OK);
    EXPECT_NEAR(std::hypot(ra2k - 1.0, dec2k - 0.3), 0.0, 1e-7);

    SAFEARRAYBOUND b[2] = {{30, 0}, {30, 0}};
    VARIANT image{};
    image.vt = VT_ARRAY | VT_I4;
    image.parray = SafeArrayCreate(VT_I4, 2, b);
    for (int k = 0; k < 9; ++k)
        static_cast<int32_t*>(image.parray->pvData)[(11 + k / 3) * 30 + 14 + k % 3] = 50;
    double x = 0, y = 0;
    EXPECT_EQ(svd->FindBrightestStar(&image, &x, &y), S_OK);
    EXPECT_EQ(x, 15.0);
    EXPECT_EQ(y, 12.0);
    SafeArrayDestroy(image.parray);
    svd->Release();
}

TEST_F(EngineAbi, ResetCalibrateAndRecalibrateKeepTheDocumentedTerms) {
    ISVD* svd = Create();
    ASSERT_NE(svd, nullptr);
    auto setAll = [&] {
        svd->put_HOffset(1);
        svd->put_DecOffset(2);
        svd->put_PolarLeftRight(3);
        svd->put_PolarVertical(4);
        svd->put_Collimation(5);
        svd->put_AxisNonPerp(6);
        svd->put_TubeFlex(7);
        svd->put_DecFlex(8);
        svd->put_ForkFlex(9);
    };
    auto terms = [&] {
        std::array<double, 9> t{};
        svd->get_HOffset(&t[0]);
        svd->get_DecOffset(&t[1]);
        svd->get_PolarLeftRight(&t[2]);
        svd->get_PolarVertical(&t[3]);
        svd->get_Collimation(&t[4]);
        svd->get_AxisNonPerp(&t[5]);
        svd->get_TubeFlex(&t[6]);
        svd->get_DecFlex(&t[7]);
        svd->get_ForkFlex(&t[8]);
        return t;
    };
    setAll();
    svd->Recalibrate(0);
    EXPECT_EQ(terms(), (std::array<double, 9>{0, 0, 0, 0, 5, 6, 7, 8, 9}));
    setAll();
    svd->Recalibrate(1);
    EXPECT_EQ(terms(), (std::array<double, 9>{0, 0, 3, 4, 5, 6, 7, 8, 9}));
    setAll();
    svd->Calibrate();
    EXPECT_EQ(terms(), (std::array<double, 9>{}));

    // Reset leaves the site, the mount and the flags alone.
    svd->put_ApplyCorrections(0);
    svd->put_Inverted(1);
    svd->put_German(1);
    svd->put_Pressure(95.5);
    setAll();
    svd->Reset();
    EXPECT_EQ(terms(), (std::array<double, 9>{}));
    LONG flag;
    double p;
    svd->get_ApplyCorrections(&flag);
    EXPECT_EQ(flag, 0);
    svd->get_Inverted(&flag);
    EXPECT_EQ(flag, 1);
    svd->get_German(&flag);
    EXPECT_EQ(flag, 1);
    svd->get_Pressure(&p);
    EXPECT_EQ(p, 95.5);
    svd->Release();
}

TEST_F(EngineAbi, InterfacesAndErrorInfo) {
    ISVD* svd = Create();
    ASSERT_NE(svd, nullptr);
    ISupportErrorInfo* sei = nullptr;
    ASSERT_EQ(svd->QueryInterface(IID_ISupportErrorInfo, reinterpret_cast<void**>(&sei)), S_OK);
    EXPECT_EQ(sei->InterfaceSupportsErrorInfo(IID_ISVD), S_OK);
    EXPECT_EQ(sei->InterfaceSupportsErrorInfo(IID_IDispatch), S_FALSE);
    IUnknown* a = nullptr;
    IUnknown* b = nullptr;
    svd->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&a));
    sei->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&b));
    EXPECT_EQ(a, b);  // one identity
    void* none = reinterpret_cast<void*>(1);
    EXPECT_EQ(svd->QueryInterface(IID_IClassFactory, &none), E_NOINTERFACE);
    EXPECT_EQ(none, nullptr);
    a->Release();
    b->Release();
    sei->Release();
    EXPECT_EQ(svd->Release(), 0u);
}

TEST_F(EngineAbi, ModuleCountsAndClassFactory) {
    void* lib = OpenEngineLibrary();
    ASSERT_NE(lib, nullptr);
    auto get = reinterpret_cast<PFN_DllGetClassObject>(::dlsym(lib, "DllGetClassObject"));
    auto canUnload = reinterpret_cast<PFN_DllCanUnloadNow>(::dlsym(lib, "DllCanUnloadNow"));
    ASSERT_TRUE(get && canUnload);
    // Only the entry points are visible: no internal symbol leaks out.
    EXPECT_EQ(::dlsym(lib, "SafeArrayCreate"), nullptr);

    IClassFactory* cf = nullptr;
    EXPECT_EQ(get(IID_ISVD, IID_IClassFactory, reinterpret_cast<void**>(&cf)),
              CLASS_E_CLASSNOTAVAILABLE);
    ASSERT_EQ(get(CLSID_SVD, IID_IClassFactory, reinterpret_cast<void**>(&cf)), S_OK);
    EXPECT_EQ(canUnload(), S_FALSE);  // the factory reference holds the module
    ISVD* svd = nullptr;
    IUnknown* outer = reinterpret_cast<IUnknown*>(cf);
    EXPECT_EQ(cf->CreateInstance(outer, IID_ISVD, reinterpret_cast<void**>(&svd)),
              CLASS_E_NOAGGREGATION);
    ASSERT_EQ(cf->CreateInstance(nullptr, IID_ISVD, reinterpret_cast<void**>(&svd)), S_OK);
    cf->Release();
    EXPECT_EQ(canUnload(), S_FALSE);  // a live object
    svd->Release();
    EXPECT_EQ(canUnload(), S_OK);
    cf->LockServer(1);
    EXPECT_EQ(canUnload(), S_FALSE);
    cf->LockServer(0);
    EXPECT_EQ(canUnload(), S_OK);
}

TEST_F(EngineAbi, RegisterCreateAndUnregister) {
    void* lib = OpenEngineLibrary();
    ASSERT_NE(lib, nullptr);
    auto reg = reinterpret_cast<PFN_DllRegisterServer>(::dlsym(lib, "DllRegisterServer"));
    auto unreg = reinterpret_cast<PFN_DllUnregisterServer>(::dlsym(lib, "DllUnregisterServer"));
    ASSERT_TRUE(reg && unreg);

    ASSERT_EQ(reg(), S_OK);
    ClassRegistry r(registry_);
    ASSERT_TRUE(r.Load());
    const std::string clsid = "CLSID\\{A86B00AC-B533-4864-AE8A-8D043A4F74FC}";
    EXPECT_EQ(r.GetValue("Trimcore.SVD.1"), "SVD Class");
    EXPECT_EQ(r.GetValue("Trimcore.SVD\\CLSID"), "{A86B00AC-B533-4864-AE8A-8D043A4F74FC}");
    EXPECT_EQ(r.GetValue(clsid), "SVD Class");
    EXPECT_EQ(r.GetValue(clsid + "\\ProgID"), "Trimcore.SVD.1");
    EXPECT_EQ(r.GetValue(clsid + "\\VersionIndependentProgID"), "Trimcore.SVD");
    EXPECT_EQ(r.GetValue(clsid + "\\InprocServer32", "ThreadingModel"), "both");
    EXPECT_EQ(r.GetValue("TypeLib\\{34E6F34A-DD64-4D5D-AFC2-A30ABF0FAD89}\\1.0"),
              "Trimcore 1.0 Type Library");
    const auto cls = LookupInprocClass(r, "Trimcore.SVD");
    ASSERT_TRUE(cls.has_value());
    EXPECT_EQ(::access(cls->libraryPath.c_str(), R_OK), 0);

    ISVD* svd = Create("{a86b00ac-b533-4864-ae8a-8d043a4f74fc}");
    ASSERT_NE(svd, nullptr);
    svd->Release();

    // A registration pointing at a library that is gone fails cleanly.
    UpdateClassRegistry(registry_, [&](ClassRegistry& rr) {
        rr.SetValue("Other.Class\\CLSID", "", "{11111111-2222-3333-4444-555555555555}");
        rr.SetValue("CLSID\\{11111111-2222-3333-4444-555555555555}\\InprocServer32", "",
                    dir_ + "/missing.so");
    });
    void* obj = nullptr;
    EXPECT_EQ(CreateInstance("Other.Class", IID_IUnknown, &obj), CO_E_DLLNOTFOUND);

    ASSERT_EQ(unreg(), S_OK);
    ASSERT_TRUE(r.Load());
    EXPECT_FALSE(r.HasKey("Trimcore.SVD.1"));
    EXPECT_FALSE(r.HasKey(clsid + "\\InprocServer32"));
    EXPECT_FALSE(LookupInprocClass(r, "Trimcore.SVD").has_value());
    EXPECT_TRUE(r.HasKey("Other.Class"));  // other classes untouched
}

TEST_F(EngineAbi, UnknownClassIsAnErrorNotACrash) {
    void* obj = reinterpret_cast<void*>(1);
    EXPECT_EQ(CreateInstance("No.Such.Class", IID_IUnknown, &obj), REGDB_E_CLASSNOTREG);
    EXPECT_EQ(obj, nullptr);
    EXPECT_EQ(CreateInstance("{00000000-1111-2222-3333-444444444444}", IID_IUnknown, &obj),
              REGDB_E_CLASSNOTREG);
    EXPECT_EQ(CreateInstance("Trimcore.SVD", IID_IUnknown, nullptr), E_POINTER);
}
