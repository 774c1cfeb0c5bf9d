// Safe arrays, strings and variants with Windows semantics.
#include <gtest/gtest.h>

#include "celaris/com/bstr.h"
#include "celaris/com/guid.h"
#include "celaris/com/safearray.h"
#include "celaris/com/variant.h"

using namespace celaris::com;

TEST(SafeArray, BoundsAreStoredLastDimensionFirst) {
    SAFEARRAYBOUND b[2] = {{640, 0}, {480, 1}};  // dimension 1 (x), dimension 2 (y)
    SAFEARRAY* psa = SafeArrayCreate(VT_I4, 2, b);
    ASSERT_NE(psa, nullptr);
    EXPECT_EQ(psa->cDims, 2);
    EXPECT_EQ(psa->cbElements, 4u);
    EXPECT_EQ(psa->rgsabound[1].cElements, 640u);  // dimension 1 is stored last
    EXPECT_EQ(psa->rgsabound[0].cElements, 480u);
    LONG lo, hi;
    EXPECT_EQ(SafeArrayGetLBound(psa, 1, &lo), S_OK);
    EXPECT_EQ(SafeArrayGetUBound(psa, 1, &hi), S_OK);
    EXPECT_EQ(lo, 0);
    EXPECT_EQ(hi, 639);
    SafeArrayGetLBound(psa, 2, &lo);
    SafeArrayGetUBound(psa, 2, &hi);
    EXPECT_EQ(lo, 1);
    EXPECT_EQ(hi, 480);
    EXPECT_EQ(SafeArrayGetUBound(psa, 3, &hi), DISP_E_BADINDEX);
    EXPECT_EQ(SafeArrayGetLBound(psa, 0, &lo), DISP_E_BADINDEX);
    VARTYPE vt = 0;
    EXPECT_EQ(SafeArrayGetVartype(psa, &vt), S_OK);
    EXPECT_EQ(vt, VT_I4);

    // Locked arrays cannot be destroyed; unbalanced unlocks are refused.
    void* data = nullptr;
    ASSERT_EQ(SafeArrayAccessData(psa, &data), S_OK);
    static_cast<int32_t*>(data)[639 + 640 * 479] = 7;  // last element, x fastest
    EXPECT_EQ(SafeArrayDestroy(psa), DISP_E_ARRAYISLOCKED);
    EXPECT_EQ(SafeArrayUnaccessData(psa), S_OK);
    EXPECT_EQ(SafeArrayUnaccessData(psa), E_UNEXPECTED);
    EXPECT_EQ(SafeArrayDestroy(psa), S_OK);
}

TEST(SafeArray, RefusesImpossibleRequests) {
    SAFEARRAYBOUND huge[2] = {{0xFFFFFFFFu, 0}, {0xFFFFFFFFu, 0}};
    EXPECT_EQ(SafeArrayCreate(VT_R8, 2, huge), nullptr);
    SAFEARRAYBOUND one = {4, 0};
    EXPECT_EQ(SafeArrayCreate(VT_EMPTY, 1, &one), nullptr);
    EXPECT_EQ(SafeArrayCreate(VT_I4, 0, &one), nullptr);
    EXPECT_EQ(SafeArrayAccessData(nullptr, nullptr), E_INVALIDARG);
}

TEST(SafeArray, VariantOwnsItsStringsAndArrays) {
    SAFEARRAYBOUND b = {3, 0};
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_ARRAY | VT_BSTR;
    v.parray = SafeArrayCreate(VT_BSTR, 1, &b);
    BSTR* items = nullptr;
    SafeArrayAccessData(v.parray, reinterpret_cast<void**>(&items));
    items[0] = SysAllocString(u"Vega");
    items[2] = SysAllocString(u"Deneb");
    SafeArrayUnaccessData(v.parray);
    EXPECT_EQ(VariantClear(&v), S_OK);  // frees the strings too (checked under valgrind/asan)
    EXPECT_EQ(v.vt, VT_EMPTY);
}

TEST(Strings, BstrLengthAndUtf8RoundTrip) {
    BSTR s = SysAllocStringLen(u"a\0b", 3);
    EXPECT_EQ(SysStringLen(s), 3u);
    SysFreeString(s);
    EXPECT_EQ(SysStringLen(nullptr), 0u);
    const std::string text = "Dec 45° 30′ \xF0\x9F\x94\xAD";
    EXPECT_EQ(Utf16ToUtf8(Utf8ToUtf16(text)), text);
    EXPECT_EQ(Utf8ToUtf16("\xFF"), std::u16string(1, u'\xFFFD'));
}

TEST(Guid, TextRoundTripAndRejection) {
    const auto g = GuidFromString("{a86b00ac-b533-4864-ae8a-8d043a4f74fc}");
    ASSERT_TRUE(g.has_value());
    EXPECT_EQ(g->Data1, 0xA86B00ACu);
    EXPECT_EQ(g->Data4[7], 0xFC);
    EXPECT_EQ(GuidToString(*g), "{A86B00AC-B533-4864-AE8A-8D043A4F74FC}");
    EXPECT_TRUE(GuidFromString("A86B00AC-B533-4864-AE8A-8D043A4F74FC").has_value());
    EXPECT_FALSE(GuidFromString("{A86B00AC-B533-4864-AE8A-8D043A4F74FG}").has_value());
    EXPECT_FALSE(GuidFromString("Trimcore.SVD").has_value());
}
