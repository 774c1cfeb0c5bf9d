// Class SVD: one engine object behind the dual interface ISVD, with the last
// fit's statistics behind IFitStatistics.
#pragma once

#include <atomic>

#include "engine_state.h"
#include "trimcore/ifit_statistics.h"
#include "trimcore/isvd.h"

namespace trimcore {

class SVDObject final : public ISVD, public ISupportErrorInfo, public IFitStatistics {
  public:
    SVDObject();
    SVDObject(const SVDObject&) = delete;
    SVDObject& operator=(const SVDObject&) = delete;

    // IUnknown
    HRESULT QueryInterface(REFIID riid, void** ppv) override;
    ULONG AddRef() override;
    ULONG Release() override;

    // IDispatch
    HRESULT GetTypeInfoCount(UINT* pctinfo) override;
    HRESULT GetTypeInfo(UINT iTInfo, LCID lcid, ITypeInfo** ppTInfo) override;
    HRESULT GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID lcid,
                          DISPID* rgDispId) override;
    HRESULT Invoke(DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags,
                   DISPPARAMS* pDispParams, VARIANT* pVarResult, EXCEPINFO* pExcepInfo,
                   UINT* puArgErr) override;

    // ISupportErrorInfo
    HRESULT InterfaceSupportsErrorInfo(REFIID riid) override;

    // ISVD
    HRESULT get_German(LONG* pVal) override;
    HRESULT put_German(LONG newVal) override;
    HRESULT put_Latitude(double newVal) override;
    HRESULT get_AxisNonPerp(double* pVal) override;
    HRESULT put_AxisNonPerp(double newVal) override;
    HRESULT get_Collimation(double* pVal) override;
    HRESULT put_Collimation(double newVal) override;
    HRESULT get_DecFlex(double* pVal) override;
    HRESULT put_DecFlex(double newVal) override;
    HRESULT get_DecOffset(double* pVal) override;
    HRESULT put_DecOffset(double newVal) override;
    HRESULT get_ForkFlex(double* pVal) override;
    HRESULT put_ForkFlex(double newVal) override;
    HRESULT get_HOffset(double* pVal) override;
    HRESULT put_HOffset(double newVal) override;
    HRESULT get_PolarLeftRight(double* pVal) override;
    HRESULT put_PolarLeftRight(double newVal) override;
    HRESULT get_PolarVertical(double* pVal) override;
    HRESULT put_PolarVertical(double newVal) override;
    HRESULT get_TubeFlex(double* pVal) override;
    HRESULT put_TubeFlex(double newVal) override;
    HRESULT Reset() override;
    HRESULT Calibrate() override;
    HRESULT Recalibrate(LONG FixedInstallation) override;
    HRESULT AddObservation(double HATrue, double DecTrue, double HAScope, double DecScope) override;
    HRESULT GetCorrectedHADec(double HAScope, double DecScope, double* HACorr,
                              double* DecCorr) override;
    HRESULT GetScopeHADec(double HATrue, double DecTrue, double* HAScope,
                          double* DecScope) override;
    HRESULT GetCorrectedAltAz(double AzScope, double AltScope, double* AzCorr,
                              double* AltCorr) override;
    HRESULT get_Pressure(double* pVal) override;
    HRESULT put_Pressure(double newVal) override;
    HRESULT get_Temperature(double* pVal) override;
    HRESULT put_Temperature(double newVal) override;
    HRESULT get_Inverted(LONG* pVal) override;
    HRESULT put_Inverted(LONG newVal) override;
    HRESULT get_LocalSiderialTime(double Longitude, double* pVal) override;
    HRESULT get_ApplyCorrections(LONG* pVal) override;
    HRESULT put_ApplyCorrections(LONG newVal) override;
    HRESULT J2kToApparent(double RA2k, double Dec2k, double* RA, double* Dec) override;
    HRESULT CalculateErrors() override;
    HRESULT GetObservationError(LONG index, double* RAError, double* DecError) override;
    HRESULT AddProperMotion(double DRA, double DDec, double* RA, double* Dec) override;
    HRESULT FindBrightestStar(VARIANT* bm, double* x, double* y) override;
    HRESULT ApparentToJ2k(double RA, double Dec, double* RA2k, double* Dec2k) override;
    HRESULT UTCNow(LONG* yr, LONG* mon, LONG* day, LONG* hr, LONG* min, LONG* sec) override;

    // IFitStatistics
    HRESULT get_FitObservationCount(LONG* n) override;
    HRESULT get_FittedTermCount(LONG* k) override;
    HRESULT get_TermFitted(LONG term, LONG* fitted) override;
    HRESULT get_ResidualSigma(double* sigma) override;
    HRESULT GetTermCovariance(LONG term1, LONG term2, double* value) override;

  private:
    ~SVDObject();
    std::atomic<ULONG> refs_{1};
    EngineState state_;
};

}  // namespace trimcore
