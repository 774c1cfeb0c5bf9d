#include "svd_object.h"

#include <cmath>

#include "astrometry.h"
#include "dispatch.h"
#include "fit.h"
#include "model.h"
#include "module.h"
#include "star_search.h"

namespace trimcore {

SVDObject::SVDObject() {
    ModuleObjectCreated();
}
SVDObject::~SVDObject() {
    ModuleObjectDestroyed();
}

HRESULT SVDObject::QueryInterface(REFIID riid, void** ppv) {
    if (ppv == nullptr) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IDispatch || riid == IID_ISVD) {
        *ppv = static_cast<ISVD*>(this);
    } else if (riid == IID_ISupportErrorInfo) {
        *ppv = static_cast<ISupportErrorInfo*>(this);
    } else if (riid == IID_IFitStatistics) {
        *ppv = static_cast<IFitStatistics*>(this);
    } else {
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

ULONG SVDObject::AddRef() {
    return ++refs_;
}

ULONG SVDObject::Release() {
    const ULONG n = --refs_;
    if (n == 0) delete this;
    return n;
}

HRESULT SVDObject::GetTypeInfoCount(UINT* pctinfo) {
    if (pctinfo == nullptr) return E_POINTER;
    *pctinfo = 1;
    return S_OK;
}

HRESULT SVDObject::GetTypeInfo(UINT iTInfo, LCID, ITypeInfo** ppTInfo) {
    if (ppTInfo == nullptr) return E_POINTER;
    *ppTInfo = nullptr;
    if (iTInfo != 0) return DISP_E_BADINDEX;
    *ppTInfo = NewISVDTypeInfo();
    return S_OK;
}

HRESULT SVDObject::GetIDsOfNames(REFIID, LPOLESTR* rgszNames, UINT cNames, LCID, DISPID* rgDispId) {
    return ISVDGetIDsOfNames(rgszNames, cNames, rgDispId);
}

HRESULT SVDObject::Invoke(DISPID dispIdMember, REFIID riid, LCID, WORD wFlags,
                          DISPPARAMS* pDispParams, VARIANT* pVarResult, EXCEPINFO*,
                          UINT* puArgErr) {
    if (!(riid == IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
    return ISVDInvoke(this, dispIdMember, wFlags, pDispParams, pVarResult, puArgErr);
}

HRESULT SVDObject::InterfaceSupportsErrorInfo(REFIID riid) {
    return riid == IID_ISVD ? S_OK : S_FALSE;
}

namespace {
HRESULT GetFlag(bool v, LONG* p) {
    if (p == nullptr) return E_POINTER;
    *p = v ? 1 : 0;
    return S_OK;
}
HRESULT GetDouble(double v, double* p) {
    if (p == nullptr) return E_POINTER;
    *p = v;
    return S_OK;
}
}  // namespace

HRESULT SVDObject::get_German(LONG* pVal) {
    return GetFlag(state_.german, pVal);
}
HRESULT SVDObject::put_German(LONG v) {
    state_.german = v != 0;
    return S_OK;
}
HRESULT SVDObject::put_Latitude(double v) {
    state_.latitude = v;
    return S_OK;
}

#define TRIMCORE_TERM(Name, field)                \
    HRESULT SVDObject::get_##Name(double* pVal) { \
        return GetDouble(state_.field, pVal);     \
    }                                             \
    HRESULT SVDObject::put_##Name(double v) {     \
        state_.field = v;                         \
        return S_OK;                              \
    }
TRIMCORE_TERM(AxisNonPerp, axisNonPerp)
TRIMCORE_TERM(Collimation, collimation)
TRIMCORE_TERM(DecFlex, decFlex)
TRIMCORE_TERM(DecOffset, decOffset)
TRIMCORE_TERM(ForkFlex, forkFlex)
TRIMCORE_TERM(HOffset, hOffset)
TRIMCORE_TERM(PolarLeftRight, polarLeftRight)
TRIMCORE_TERM(PolarVertical, polarVertical)
TRIMCORE_TERM(TubeFlex, tubeFlex)
TRIMCORE_TERM(Pressure, pressure)
TRIMCORE_TERM(Temperature, temperature)
#undef TRIMCORE_TERM

HRESULT SVDObject::Reset() {
    ResetState(state_);
    return S_OK;
}
HRESULT SVDObject::Calibrate() {
    CalibrateState(state_);
    return S_OK;
}
HRESULT SVDObject::Recalibrate(LONG FixedInstallation) {
    RecalibrateState(state_, FixedInstallation != 0);
    return S_OK;
}

HRESULT SVDObject::AddObservation(double HATrue, double DecTrue, double HAScope, double DecScope) {
    trimcore::AddObservation(state_, HATrue, DecTrue, HAScope, DecScope);
    return S_OK;
}

HRESULT SVDObject::GetCorrectedHADec(double HAScope, double DecScope, double* HACorr,
                                     double* DecCorr) {
    if (HACorr == nullptr || DecCorr == nullptr) return E_POINTER;
    const HADec r = trimcore::GetCorrectedHADec(state_, HAScope, DecScope);
    *HACorr = r.ha;
    *DecCorr = r.dec;
    return S_OK;
}

HRESULT SVDObject::GetScopeHADec(double HATrue, double DecTrue, double* HAScope, double* DecScope) {
    if (HAScope == nullptr || DecScope == nullptr) return E_POINTER;
    const HADec r = trimcore::GetScopeHADec(state_, HATrue, DecTrue);
    *HAScope = r.ha;
    *DecScope = r.dec;
    return S_OK;
}

HRESULT SVDObject::GetCorrectedAltAz(double AzScope, double AltScope, double* AzCorr,
                                     double* AltCorr) {
    if (AzCorr == nullptr || AltCorr == nullptr) return E_POINTER;
    const AzAlt r = trimcore::GetCorrectedAltAz(state_, AzScope, AltScope);
    *AzCorr = r.az;
    *AltCorr = r.alt;
    return S_OK;
}

HRESULT SVDObject::get_Inverted(LONG* pVal) {
    return GetFlag(state_.inverted != 0, pVal);
}
HRESULT SVDObject::put_Inverted(LONG v) {
    state_.inverted = v != 0;
    return S_OK;
}

HRESULT SVDObject::get_LocalSiderialTime(double Longitude, double* pVal) {
    if (pVal == nullptr) return E_POINTER;
    *pVal = trimcore::LocalSiderialTime(Longitude);
    return S_OK;
}

HRESULT SVDObject::get_ApplyCorrections(LONG* pVal) {
    return GetFlag(state_.applyCorrections != 0, pVal);
}
HRESULT SVDObject::put_ApplyCorrections(LONG v) {
    state_.applyCorrections = v != 0;
    return S_OK;
}

HRESULT SVDObject::J2kToApparent(double RA2k, double Dec2k, double* RA, double* Dec) {
    if (RA == nullptr || Dec == nullptr) return E_POINTER;
    trimcore::J2kToApparent(RA2k, Dec2k, *RA, *Dec);
    return S_OK;
}

HRESULT SVDObject::CalculateErrors() {
    FitTerms(state_);
    return S_OK;
}

HRESULT SVDObject::GetObservationError(LONG index, double* RAError, double* DecError) {
    if (RAError == nullptr || DecError == nullptr) return E_POINTER;
    trimcore::GetObservationError(state_, index, *RAError, *DecError);
    return S_OK;
}

HRESULT SVDObject::AddProperMotion(double DRA, double DDec, double* RA, double* Dec) {
    if (RA == nullptr || Dec == nullptr) return E_POINTER;
    trimcore::AddProperMotion(DRA, DDec, *RA, *Dec);
    return S_OK;
}

HRESULT SVDObject::FindBrightestStar(VARIANT* bm, double* x, double* y) {
    if (x == nullptr || y == nullptr) return E_POINTER;
    return trimcore::FindBrightestStar(bm, *x, *y);
}

HRESULT SVDObject::ApparentToJ2k(double RA, double Dec, double* RA2k, double* Dec2k) {
    if (RA2k == nullptr || Dec2k == nullptr) return E_POINTER;
    trimcore::ApparentToJ2k(RA, Dec, *RA2k, *Dec2k);
    return S_OK;
}

HRESULT SVDObject::UTCNow(LONG* yr, LONG* mon, LONG* day, LONG* hr, LONG* min, LONG* sec) {
    if (!yr || !mon || !day || !hr || !min || !sec) return E_POINTER;
    trimcore::UTCNow(*yr, *mon, *day, *hr, *min, *sec);
    return S_OK;
}

namespace {
bool IsTerm(LONG term) {
    return term >= 1 && term <= kTrimcoreTermCount;
}
}  // namespace

HRESULT SVDObject::get_FitObservationCount(LONG* n) {
    if (n == nullptr) return E_POINTER;
    *n = state_.statistics.observations;
    return S_OK;
}

HRESULT SVDObject::get_FittedTermCount(LONG* k) {
    if (k == nullptr) return E_POINTER;
    *k = state_.statistics.fittedTerms;
    return S_OK;
}

HRESULT SVDObject::get_TermFitted(LONG term, LONG* fitted) {
    if (fitted == nullptr) return E_POINTER;
    *fitted = 0;
    if (!IsTerm(term)) return E_INVALIDARG;
    *fitted = state_.statistics.fitted[term - 1];
    return S_OK;
}

HRESULT SVDObject::get_ResidualSigma(double* sigma) {
    return GetDouble(state_.statistics.sigma, sigma);
}

HRESULT SVDObject::GetTermCovariance(LONG term1, LONG term2, double* value) {
    if (value == nullptr) return E_POINTER;
    *value = 0.0;
    if (!IsTerm(term1) || !IsTerm(term2)) return E_INVALIDARG;
    *value = state_.statistics.covariance[term1 - 1][term2 - 1];
    return std::isinf(*value) ? S_FALSE : S_OK;
}

}  // namespace trimcore
