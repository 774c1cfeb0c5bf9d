#include "dispatch.h"

#include <atomic>
#include <cmath>
#include <cstring>
#include <string>

#include "celaris/com/bstr.h"
#include "celaris/com/variant.h"

namespace trimcore {

namespace {

constexpr HRESULT kDispOverflow = static_cast<HRESULT>(0x8002000A);

// The members of ISVD with their dispatch ids and parameter names.
struct Member {
    DISPID id;
    const char* name;
    const char* help;  // nullptr: "property <name>" or "method <name>"
    bool isProperty;
    const char* params[6];
};

constexpr Member kMembers[] = {
    {1, "German", nullptr, true, {}},
    {3, "Latitude", nullptr, true, {}},
    {4, "AxisNonPerp", nullptr, true, {}},
    {5, "Collimation", nullptr, true, {}},
    {6, "DecFlex", nullptr, true, {}},
    {7, "DecOffset", nullptr, true, {}},
    {8, "ForkFlex", nullptr, true, {}},
    {9, "HOffset", nullptr, true, {}},
    {10, "PolarLeftRight", nullptr, true, {}},
    {11, "PolarVertical", nullptr, true, {}},
    {12, "TubeFlex", nullptr, true, {}},
    {13, "Reset", nullptr, false, {}},
    {14, "Calibrate", nullptr, false, {}},
    {15, "Recalibrate", nullptr, false, {"FixedInstallation"}},
    {16, "AddObservation", nullptr, false, {"HATrue", "DecTrue", "HAScope", "DecScope"}},
    {17, "GetCorrectedHADec", "Returns the corrected Hour Angle and Declination", false,
     {"HAScope", "DecScope", "HACorr", "DecCorr"}},
    {18, "GetScopeHADec", "Returns the Scope HA/Dec Given the true Coords", false,
     {"HATrue", "DecTrue", "HAScope", "DecScope"}},
    {19, "GetCorrectedAltAz", nullptr, false, {"AzScope", "AltScope", "AzCorr", "AltCorr"}},
    {20, "Pressure", nullptr, true, {}},
    {21, "Temperature", nullptr, true, {}},
    {22, "Inverted", nullptr, true, {}},
    {23, "LocalSiderialTime", nullptr, true, {"Longitude"}},
    {24, "ApplyCorrections", nullptr, true, {}},
    {25, "J2kToApparent", nullptr, false, {"RA2k", "Dec2k", "RA", "Dec"}},
    {26, "CalculateErrors", nullptr, false, {}},
    {27, "GetObservationError", nullptr, false, {"index", "RAError", "DecError"}},
    {28, "AddProperMotion", nullptr, false, {"DRA", "DDec", "RA", "Dec"}},
    {29, "FindBrightestStar", nullptr, false, {"bm", "x", "y"}},
    {30, "ApparentToJ2k", nullptr, false, {"RA", "Dec", "RA2k", "Dec2k"}},
    {31, "UTCNow", nullptr, false, {"yr", "mon", "day", "hr", "min", "sec"}},
};

const Member* FindMember(DISPID id) {
    for (const auto& m : kMembers)
        if (m.id == id) return &m;
    return nullptr;
}

bool EqualsIgnoreCase(const OLECHAR* a, const char* b) {
    for (; *a != 0 && *b != 0; ++a, ++b) {
        OLECHAR x = *a;
        char y = *b;
        if (x >= 'A' && x <= 'Z') x = static_cast<OLECHAR>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
        if (x != static_cast<OLECHAR>(static_cast<unsigned char>(y))) return false;
    }
    return *a == 0 && *b == 0;
}

// Arguments arrive last first; position 0 is the first parameter.
VARIANT* Arg(DISPPARAMS* p, UINT position) { return &p->rgvarg[p->cArgs - 1 - position]; }

// Follows by-reference variants to the variant that holds the value.
const VARIANT* Deref(const VARIANT* v) {
    while (v != nullptr && v->vt == (VT_BYREF | VT_VARIANT)) v = v->pvarVal;
    return v;
}

HRESULT ToDouble(const VARIANT* v, double& out) {
    v = Deref(v);
    if (v == nullptr) return DISP_E_TYPEMISMATCH;
    const bool ref = (v->vt & VT_BYREF) != 0;
    if (ref && v->byref == nullptr) return DISP_E_TYPEMISMATCH;
    switch (v->vt & ~VT_BYREF) {
        case VT_R8: out = ref ? *v->pdblVal : v->dblVal; return S_OK;
        case VT_R4: out = ref ? *static_cast<float*>(v->byref) : v->fltVal; return S_OK;
        case VT_I4:
        case VT_INT: out = ref ? *v->plVal : v->lVal; return S_OK;
        case VT_I2: out = ref ? *v->piVal : v->iVal; return S_OK;
        case VT_BOOL: out = ref ? *v->pboolVal : v->boolVal; return S_OK;
        case VT_UI1: out = ref ? *static_cast<uint8_t*>(v->byref) : v->bVal; return S_OK;
        case VT_I1: out = ref ? *static_cast<int8_t*>(v->byref) : v->cVal; return S_OK;
        case VT_UI2: out = ref ? *static_cast<uint16_t*>(v->byref) : v->uiVal; return S_OK;
        case VT_UI4:
        case VT_UINT: out = ref ? *static_cast<uint32_t*>(v->byref) : v->ulVal; return S_OK;
        case VT_I8:
            out = static_cast<double>(ref ? *static_cast<int64_t*>(v->byref) : v->llVal);
            return S_OK;
        default: return DISP_E_TYPEMISMATCH;
    }
}

// Whole numbers as Basic converts them: halves round to even.
HRESULT ToLong(const VARIANT* v, LONG& out) {
    double d;
    const HRESULT hr = ToDouble(v, d);
    if (FAILED(hr)) return hr;
    const double r = std::nearbyint(d);
    if (!(r >= -2147483648.0 && r <= 2147483647.0)) return kDispOverflow;
    out = static_cast<LONG>(r);
    return S_OK;
}

// Out parameters: a reference to a double, a long or a variant.
HRESULT StoreDouble(VARIANT* v, double value) {
    if (v->vt == (VT_BYREF | VT_R8) && v->pdblVal != nullptr) {
        *v->pdblVal = value;
        return S_OK;
    }
    if (v->vt == (VT_BYREF | VT_R4) && v->byref != nullptr) {
        *static_cast<float*>(v->byref) = static_cast<float>(value);
        return S_OK;
    }
    if (v->vt == (VT_BYREF | VT_VARIANT) && v->pvarVal != nullptr) {
        VariantClear(v->pvarVal);
        v->pvarVal->vt = VT_R8;
        v->pvarVal->dblVal = value;
        return S_OK;
    }
    return DISP_E_TYPEMISMATCH;
}

HRESULT StoreLong(VARIANT* v, LONG value) {
    if (v->vt == (VT_BYREF | VT_I4) && v->plVal != nullptr) {
        *v->plVal = value;
        return S_OK;
    }
    if (v->vt == (VT_BYREF | VT_VARIANT) && v->pvarVal != nullptr) {
        VariantClear(v->pvarVal);
        v->pvarVal->vt = VT_I4;
        v->pvarVal->lVal = value;
        return S_OK;
    }
    return StoreDouble(v, value);
}

void SetResult(VARIANT* result, double value) {
    if (result == nullptr) return;
    result->vt = VT_R8;
    result->dblVal = value;
}

void SetResult(VARIANT* result, LONG value) {
    if (result == nullptr) return;
    result->vt = VT_I4;
    result->lVal = value;
}

// One call in progress: argument reading with the failing position noted.
struct Call {
    DISPPARAMS* params;
    UINT* argErr;

    HRESULT Fail(HRESULT hr, UINT position) const {
        if (argErr != nullptr) *argErr = params->cArgs - 1 - position;
        return hr;
    }
    HRESULT In(UINT position, double& out) const {
        const HRESULT hr = ToDouble(Arg(params, position), out);
        return FAILED(hr) ? Fail(hr, position) : hr;
    }
    HRESULT In(UINT position, LONG& out) const {
        const HRESULT hr = ToLong(Arg(params, position), out);
        return FAILED(hr) ? Fail(hr, position) : hr;
    }
    HRESULT Out(UINT position, double value) const {
        const HRESULT hr = StoreDouble(Arg(params, position), value);
        return FAILED(hr) ? Fail(hr, position) : hr;
    }
    HRESULT Out(UINT position, LONG value) const {
        const HRESULT hr = StoreLong(Arg(params, position), value);
        return FAILED(hr) ? Fail(hr, position) : hr;
    }
};

#define TRY(expr)                                \
    do {                                         \
        const HRESULT hr_ = (expr);              \
        if (FAILED(hr_)) return hr_;             \
    } while (0)

// Methods taking two doubles in and writing two doubles out.
using Convert = HRESULT (ISVD::*)(double, double, double*, double*);
HRESULT TwoInTwoOut(ISVD* o, Convert fn, const Call& c) {
    double a, b, x = 0, y = 0;
    TRY(c.In(0, a));
    TRY(c.In(1, b));
    TRY((o->*fn)(a, b, &x, &y));
    TRY(c.Out(2, x));
    return c.Out(3, y);
}

using DoubleGet = HRESULT (ISVD::*)(double*);
using DoublePut = HRESULT (ISVD::*)(double);
using LongGet = HRESULT (ISVD::*)(LONG*);
using LongPut = HRESULT (ISVD::*)(LONG);

struct Accessors {
    DISPID id;
    DoubleGet dget;
    DoublePut dput;
    LongGet lget;
    LongPut lput;
};

constexpr Accessors kProperties[] = {
    {1, nullptr, nullptr, &ISVD::get_German, &ISVD::put_German},
    {3, nullptr, &ISVD::put_Latitude, nullptr, nullptr},
    {4, &ISVD::get_AxisNonPerp, &ISVD::put_AxisNonPerp, nullptr, nullptr},
    {5, &ISVD::get_Collimation, &ISVD::put_Collimation, nullptr, nullptr},
    {6, &ISVD::get_DecFlex, &ISVD::put_DecFlex, nullptr, nullptr},
    {7, &ISVD::get_DecOffset, &ISVD::put_DecOffset, nullptr, nullptr},
    {8, &ISVD::get_ForkFlex, &ISVD::put_ForkFlex, nullptr, nullptr},
    {9, &ISVD::get_HOffset, &ISVD::put_HOffset, nullptr, nullptr},
    {10, &ISVD::get_PolarLeftRight, &ISVD::put_PolarLeftRight, nullptr, nullptr},
    {11, &ISVD::get_PolarVertical, &ISVD::put_PolarVertical, nullptr, nullptr},
    {12, &ISVD::get_TubeFlex, &ISVD::put_TubeFlex, nullptr, nullptr},
    {20, &ISVD::get_Pressure, &ISVD::put_Pressure, nullptr, nullptr},
    {21, &ISVD::get_Temperature, &ISVD::put_Temperature, nullptr, nullptr},
    {22, nullptr, nullptr, &ISVD::get_Inverted, &ISVD::put_Inverted},
    {24, nullptr, nullptr, &ISVD::get_ApplyCorrections, &ISVD::put_ApplyCorrections},
};

HRESULT InvokeProperty(ISVD* o, const Accessors& a, WORD flags, DISPPARAMS* p, VARIANT* result,
                       const Call& c) {
    if (flags & DISPATCH_PROPERTYPUT) {
        // The new value is the one argument, named DISPID_PROPERTYPUT.
        if (p->cArgs != 1) return DISP_E_BADPARAMCOUNT;
        if (a.dput != nullptr) {
            double v;
            TRY(c.In(0, v));
            return (o->*a.dput)(v);
        }
        if (a.lput != nullptr) {
            LONG v;
            TRY(c.In(0, v));
            return (o->*a.lput)(v);
        }
        return DISP_E_MEMBERNOTFOUND;
    }
    if (!(flags & DISPATCH_PROPERTYGET)) return DISP_E_MEMBERNOTFOUND;
    if (p->cArgs != 0) return DISP_E_BADPARAMCOUNT;
    if (a.dget != nullptr) {
        double v = 0;
        TRY((o->*a.dget)(&v));
        SetResult(result, v);
        return S_OK;
    }
    if (a.lget != nullptr) {
        LONG v = 0;
        TRY((o->*a.lget)(&v));
        SetResult(result, v);
        return S_OK;
    }
    return DISP_E_MEMBERNOTFOUND;
}

UINT ParamCount(const Member& m) {
    UINT n = 0;
    while (n < 6 && m.params[n] != nullptr) ++n;
    return n;
}

HRESULT InvokeMethod(ISVD* o, DISPID id, const Call& c, VARIANT* result) {
    switch (id) {
        case 13: return o->Reset();
        case 14: return o->Calibrate();
        case 15: {
            LONG fixed;
            TRY(c.In(0, fixed));
            return o->Recalibrate(fixed);
        }
        case 16: {
            double v[4];
            for (UINT i = 0; i < 4; ++i) TRY(c.In(i, v[i]));
            return o->AddObservation(v[0], v[1], v[2], v[3]);
        }
        case 17: return TwoInTwoOut(o, &ISVD::GetCorrectedHADec, c);
        case 18: return TwoInTwoOut(o, &ISVD::GetScopeHADec, c);
        case 19: return TwoInTwoOut(o, &ISVD::GetCorrectedAltAz, c);
        case 23: {
            double longitude, lst = 0;
            TRY(c.In(0, longitude));
            TRY(o->get_LocalSiderialTime(longitude, &lst));
            SetResult(result, lst);
            return S_OK;
        }
        case 25: return TwoInTwoOut(o, &ISVD::J2kToApparent, c);
        case 26: return o->CalculateErrors();
        case 27: {
            LONG index;
            double ra = 0, dec = 0;
            TRY(c.In(0, index));
            TRY(o->GetObservationError(index, &ra, &dec));
            TRY(c.Out(1, ra));
            return c.Out(2, dec);
        }
        case 28: {
            double dra, ddec, ra, dec;
            TRY(c.In(0, dra));
            TRY(c.In(1, ddec));
            TRY(c.In(2, ra));
            TRY(c.In(3, dec));
            TRY(o->AddProperMotion(dra, ddec, &ra, &dec));
            TRY(c.Out(2, ra));
            return c.Out(3, dec);
        }
        case 29: {
            // The image may come by value or through a variant reference.
            VARIANT* bm = Arg(c.params, 0);
            while (bm->vt == (VT_BYREF | VT_VARIANT) && bm->pvarVal != nullptr) bm = bm->pvarVal;
            double x = -1, y = -1;
            const HRESULT hr = o->FindBrightestStar(bm, &x, &y);
            TRY(c.Out(1, x));
            TRY(c.Out(2, y));
            return hr;
        }
        case 30: return TwoInTwoOut(o, &ISVD::ApparentToJ2k, c);
        case 31: {
            LONG t[6] = {};
            TRY(o->UTCNow(&t[0], &t[1], &t[2], &t[3], &t[4], &t[5]));
            for (UINT i = 0; i < 6; ++i) TRY(c.Out(i, t[i]));
            return S_OK;
        }
        default: return DISP_E_MEMBERNOTFOUND;
    }
}

std::u16string HelpString(const Member& m) {
    if (m.help != nullptr) return celaris::com::Utf8ToUtf16(m.help);
    return celaris::com::Utf8ToUtf16(std::string(m.isProperty ? "property " : "method ") + m.name);
}

class ISVDTypeInfo final : public ITypeInfo {
public:
    HRESULT QueryInterface(REFIID riid, void** ppv) override {
        if (ppv == nullptr) return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_ITypeInfo) {
            *ppv = static_cast<ITypeInfo*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return ++refs_; }
    ULONG Release() override {
        const ULONG n = --refs_;
        if (n == 0) delete this;
        return n;
    }
    HRESULT GetDocumentation(MEMBERID memid, BSTR* name, BSTR* doc, DWORD* helpContext,
                             BSTR* helpFile) override {
        std::u16string n, d;
        if (memid == MEMBERID_NIL) {
            n = u"ISVD";
            d = u"ISVD Interface";
        } else {
            const Member* m = FindMember(memid);
            if (m == nullptr) return TYPE_E_ELEMENTNOTFOUND;
            n = celaris::com::Utf8ToUtf16(m->name);
            d = HelpString(*m);
        }
        if (name != nullptr) *name = celaris::com::AllocBstr(n);
        if (doc != nullptr) *doc = celaris::com::AllocBstr(d);
        if (helpContext != nullptr) *helpContext = 0;
        if (helpFile != nullptr) *helpFile = nullptr;
        return S_OK;
    }
    HRESULT GetNames(MEMBERID memid, BSTR* names, UINT maxNames, UINT* count) override {
        if (count == nullptr || (names == nullptr && maxNames > 0)) return E_INVALIDARG;
        const Member* m = FindMember(memid);
        if (m == nullptr) return TYPE_E_ELEMENTNOTFOUND;
        UINT n = 0;
        if (n < maxNames) names[n++] = celaris::com::AllocBstr(celaris::com::Utf8ToUtf16(m->name));
        for (UINT i = 0; i < ParamCount(*m) && n < maxNames; ++i)
            names[n++] = celaris::com::AllocBstr(celaris::com::Utf8ToUtf16(m->params[i]));
        *count = n;
        return S_OK;
    }
    HRESULT GetIDsOfNames(LPOLESTR* names, UINT count, MEMBERID* ids) override {
        return ISVDGetIDsOfNames(names, count, ids);
    }
    HRESULT Invoke(void* instance, MEMBERID memid, WORD flags, DISPPARAMS* params,
                   VARIANT* result, EXCEPINFO*, UINT* argErr) override {
        return ISVDInvoke(static_cast<ISVD*>(instance), memid, flags, params, result, argErr);
    }
    HRESULT GetTypeAttr(void**) override { return E_NOTIMPL; }
    HRESULT GetTypeComp(void**) override { return E_NOTIMPL; }
    HRESULT GetFuncDesc(UINT, void**) override { return E_NOTIMPL; }
    HRESULT GetVarDesc(UINT, void**) override { return E_NOTIMPL; }
    HRESULT GetRefTypeOfImplType(UINT, DWORD*) override { return E_NOTIMPL; }
    HRESULT GetImplTypeFlags(UINT, int32_t*) override { return E_NOTIMPL; }
    HRESULT GetDllEntry(MEMBERID, int32_t, BSTR*, BSTR*, WORD*) override { return E_NOTIMPL; }
    HRESULT GetRefTypeInfo(DWORD, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT AddressOfMember(MEMBERID, int32_t, void**) override { return E_NOTIMPL; }
    HRESULT CreateInstance(IUnknown*, REFIID, void**) override { return E_NOTIMPL; }
    HRESULT GetMops(MEMBERID, BSTR*) override { return E_NOTIMPL; }
    HRESULT GetContainingTypeLib(void**, UINT*) override { return E_NOTIMPL; }
    void ReleaseTypeAttr(void*) override {}
    void ReleaseFuncDesc(void*) override {}
    void ReleaseVarDesc(void*) override {}

private:
    std::atomic<ULONG> refs_{1};
};

}  // namespace

HRESULT ISVDGetIDsOfNames(LPOLESTR* names, UINT count, DISPID* ids) {
    if (names == nullptr || ids == nullptr || count == 0) return E_INVALIDARG;
    for (UINT i = 0; i < count; ++i) ids[i] = DISPID_UNKNOWN;
    if (names[0] == nullptr) return DISP_E_UNKNOWNNAME;
    const Member* member = nullptr;
    for (const auto& m : kMembers)
        if (EqualsIgnoreCase(names[0], m.name)) member = &m;
    if (member == nullptr) return DISP_E_UNKNOWNNAME;
    ids[0] = member->id;
    HRESULT hr = S_OK;
    // Named arguments take their position as their dispatch id.
    for (UINT i = 1; i < count; ++i) {
        for (UINT k = 0; k < ParamCount(*member); ++k)
            if (names[i] != nullptr && EqualsIgnoreCase(names[i], member->params[k]))
                ids[i] = static_cast<DISPID>(k);
        if (ids[i] == DISPID_UNKNOWN) hr = DISP_E_UNKNOWNNAME;
    }
    return hr;
}

HRESULT ISVDInvoke(ISVD* object, DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result,
                   UINT* argErr) {
    if (object == nullptr) return E_POINTER;
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    if (params == nullptr) params = &none;
    if (params->cArgs > 0 && params->rgvarg == nullptr) return E_INVALIDARG;
    const Member* m = FindMember(id);
    if (m == nullptr) return DISP_E_MEMBERNOTFOUND;
    const Call call{params, argErr};

    for (const auto& a : kProperties) {
        if (a.id != id) continue;
        if ((flags & DISPATCH_PROPERTYPUT) &&
            (params->cNamedArgs != 1 || params->rgdispidNamedArgs == nullptr ||
             params->rgdispidNamedArgs[0] != DISPID_PROPERTYPUT))
            return DISP_E_PARAMNOTOPTIONAL;
        return InvokeProperty(object, a, flags, params, result, call);
    }

    // Methods, and LocalSiderialTime, a property get with one parameter.
    const bool propertyGet = m->isProperty;
    if (propertyGet ? !(flags & DISPATCH_PROPERTYGET)
                    : !(flags & (DISPATCH_METHOD | DISPATCH_PROPERTYGET)))
        return DISP_E_MEMBERNOTFOUND;
    if (params->cNamedArgs != 0) return DISP_E_PARAMNOTFOUND;
    if (params->cArgs != ParamCount(*m)) return DISP_E_BADPARAMCOUNT;
    return InvokeMethod(object, id, call, result);
}

ITypeInfo* NewISVDTypeInfo() { return new ISVDTypeInfo(); }

}  // namespace trimcore
