// Late-bound calls into the engine: names, Invoke and type information.
#include <gtest/gtest.h>

#include <string>

#include "celaris/com/bstr.h"
#include "celaris/com/loader.h"
#include "celaris/com/variant.h"
#include "trimcore/isvd.h"

namespace {

class EngineDispatch : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(celaris::com::CreateInstance("Trimcore.SVD", IID_IDispatch,
                                               reinterpret_cast<void**>(&disp_)),
                  S_OK);
    }
    void TearDown() override { disp_->Release(); }

    DISPID Id(const char16_t* name) {
        LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
        DISPID id = -99;
        EXPECT_EQ(disp_->GetIDsOfNames(IID_NULL, names, 1, 0, &id), S_OK);
        return id;
    }

    HRESULT Put(DISPID id, VARIANT value) {
        DISPID named = DISPID_PROPERTYPUT;
        DISPPARAMS p{&value, &named, 1, 1};
        return disp_->Invoke(id, IID_NULL, 0, DISPATCH_PROPERTYPUT, &p, nullptr, nullptr,
                             nullptr);
    }

    IDispatch* disp_ = nullptr;
};

VARIANT R8(double v) {
    VARIANT x;
    VariantInit(&x);
    x.vt = VT_R8;
    x.dblVal = v;
    return x;
}

VARIANT I2(int16_t v) {
    VARIANT x;
    VariantInit(&x);
    x.vt = VT_I2;
    x.iVal = v;
    return x;
}

VARIANT Ref(double* p) {
    VARIANT x;
    VariantInit(&x);
    x.vt = VT_BYREF | VT_R8;
    x.pdblVal = p;
    return x;
}

}  // namespace

TEST_F(EngineDispatch, NamesAreCaseInsensitiveWithDocumentedIds) {
    EXPECT_EQ(Id(u"German"), 1);
    EXPECT_EQ(Id(u"latitude"), 3);
    EXPECT_EQ(Id(u"HOFFSET"), 9);
    EXPECT_EQ(Id(u"getcorrectedhadec"), 17);
    EXPECT_EQ(Id(u"LocalSiderialTime"), 23);
    EXPECT_EQ(Id(u"UTCNow"), 31);
    LPOLESTR names[] = {const_cast<LPOLESTR>(u"NoSuchMember")};
    DISPID id = 0;
    EXPECT_EQ(disp_->GetIDsOfNames(IID_NULL, names, 1, 0, &id), DISP_E_UNKNOWNNAME);
    EXPECT_EQ(id, DISPID_UNKNOWN);
    // Parameter names map to their positions.
    LPOLESTR withArgs[] = {const_cast<LPOLESTR>(u"GetScopeHADec"),
                           const_cast<LPOLESTR>(u"dectrue")};
    DISPID ids[2];
    EXPECT_EQ(disp_->GetIDsOfNames(IID_NULL, withArgs, 2, 0, ids), S_OK);
    EXPECT_EQ(ids[0], 18);
    EXPECT_EQ(ids[1], 1);
}

TEST_F(EngineDispatch, PropertiesAndMethodsByDispatchId) {
    ASSERT_EQ(Put(3, R8(40 * 0.017453292519943278)), S_OK);
    ASSERT_EQ(Put(1, I2(-1)), S_OK);  // Basic's True
    ASSERT_EQ(Put(20, R8(0)), S_OK);
    ASSERT_EQ(Put(21, R8(10)), S_OK);
    ASSERT_EQ(Put(9, R8(0.001)), S_OK);

    VARIANT result;
    VariantInit(&result);
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    ASSERT_EQ(disp_->Invoke(1, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, &result, nullptr,
                            nullptr),
              S_OK);
    EXPECT_EQ(result.vt, VT_I4);
    EXPECT_EQ(result.lVal, 1);
    ASSERT_EQ(disp_->Invoke(9, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, &result, nullptr,
                            nullptr),
              S_OK);
    EXPECT_EQ(result.vt, VT_R8);
    EXPECT_EQ(result.dblVal, 0.001);

    // Arguments in reverse order; out parameters by reference, one of them
    // through a variant reference.
    double ha = 0;
    VARIANT decOut;
    VariantInit(&decOut);
    VARIANT decRef;
    VariantInit(&decRef);
    decRef.vt = VT_BYREF | VT_VARIANT;
    decRef.pvarVal = &decOut;
    VARIANT args[4] = {decRef, Ref(&ha), R8(0.5), R8(0.3)};
    DISPPARAMS p{args, nullptr, 4, 0};
    ASSERT_EQ(disp_->Invoke(17, IID_NULL, 0, DISPATCH_METHOD, &p, nullptr, nullptr, nullptr),
              S_OK);
    EXPECT_NEAR(ha, 0.301, 1e-12);
    EXPECT_EQ(decOut.vt, VT_R8);
    EXPECT_NEAR(decOut.dblVal, 0.5, 1e-12);
}

TEST_F(EngineDispatch, BadCallsAreRefused) {
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    VARIANT result;
    VariantInit(&result);
    EXPECT_EQ(disp_->Invoke(2, IID_NULL, 0, DISPATCH_METHOD, &none, nullptr, nullptr, nullptr),
              DISP_E_MEMBERNOTFOUND);  // there is no DISPID 2
    EXPECT_EQ(disp_->Invoke(17, IID_NULL, 0, DISPATCH_METHOD, &none, nullptr, nullptr, nullptr),
              DISP_E_BADPARAMCOUNT);
    // Latitude is write-only.
    EXPECT_EQ(disp_->Invoke(3, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, &result, nullptr,
                            nullptr),
              DISP_E_MEMBERNOTFOUND);
    // A string where a number belongs, reported at its position.
    VARIANT s;
    VariantInit(&s);
    s.vt = VT_BSTR;
    s.bstrVal = SysAllocString(u"0.5");
    double a = 0, b = 0;
    VARIANT args[4] = {Ref(&b), Ref(&a), s, R8(0.3)};
    DISPPARAMS p{args, nullptr, 4, 0};
    UINT argErr = 99;
    EXPECT_EQ(disp_->Invoke(17, IID_NULL, 0, DISPATCH_METHOD, &p, nullptr, nullptr, &argErr),
              DISP_E_TYPEMISMATCH);
    EXPECT_EQ(argErr, 2u);
    VariantClear(&s);
    // An out parameter passed by value cannot receive a result.
    VARIANT byValue[4] = {R8(0), R8(0), R8(0.5), R8(0.3)};
    DISPPARAMS q{byValue, nullptr, 4, 0};
    EXPECT_EQ(disp_->Invoke(18, IID_NULL, 0, DISPATCH_METHOD, &q, nullptr, nullptr, nullptr),
              DISP_E_TYPEMISMATCH);
}

TEST_F(EngineDispatch, HelpStringsThroughTypeInformation) {
    UINT count = 0;
    EXPECT_EQ(disp_->GetTypeInfoCount(&count), S_OK);
    EXPECT_EQ(count, 1u);
    ITypeInfo* ti = nullptr;
    ASSERT_EQ(disp_->GetTypeInfo(0, 0, &ti), S_OK);
    auto doc = [&](MEMBERID id) {
        BSTR name = nullptr, text = nullptr;
        EXPECT_EQ(ti->GetDocumentation(id, &name, &text, nullptr, nullptr), S_OK);
        std::u16string out(text, SysStringLen(text));
        SysFreeString(name);
        SysFreeString(text);
        return celaris::com::Utf16ToUtf8(out);
    };
    EXPECT_EQ(doc(MEMBERID_NIL), "ISVD Interface");
    EXPECT_EQ(doc(17), "Returns the corrected Hour Angle and Declination");
    EXPECT_EQ(doc(18), "Returns the Scope HA/Dec Given the true Coords");
    EXPECT_EQ(doc(1), "property German");
    EXPECT_EQ(doc(13), "method Reset");
    EXPECT_EQ(doc(29), "method FindBrightestStar");
    EXPECT_EQ(ti->GetDocumentation(2, nullptr, nullptr, nullptr, nullptr),
              TYPE_E_ELEMENTNOTFOUND);
    EXPECT_EQ(ti->Release(), 0u);
}
