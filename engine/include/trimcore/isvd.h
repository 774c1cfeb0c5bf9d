// The pointing engine's interface as callers see it: class SVD, dual
// interface ISVD. Angles in radians, sidereal time in hours, pressure in kPa,
// temperature in degrees Celsius. Booleans come back as 1 or 0; any non-zero
// value put is true.
#pragma once

#include "celaris/com/types.h"

inline constexpr CLSID CLSID_SVD = {0xA86B00AC, 0xB533, 0x4864,
                                    {0xAE, 0x8A, 0x8D, 0x04, 0x3A, 0x4F, 0x74, 0xFC}};
inline constexpr IID IID_ISVD = {0xD5EEC300, 0xB283, 0x4B4E,
                                 {0xA5, 0xB7, 0x9C, 0x65, 0x19, 0xAE, 0x62, 0x73}};
inline constexpr GUID LIBID_TRIMCORELib = {0x34E6F34A, 0xDD64, 0x4D5D,
                                           {0xAF, 0xC2, 0xA3, 0x0A, 0xBF, 0x0F, 0xAD, 0x89}};

inline constexpr const char* kTrimcoreProgId = "Trimcore.SVD.1";
inline constexpr const char* kTrimcoreVersionIndependentProgId = "Trimcore.SVD";

struct ISVD : IDispatch {
    virtual HRESULT get_German(LONG* pVal) = 0;
    virtual HRESULT put_German(LONG newVal) = 0;
    virtual HRESULT put_Latitude(double newVal) = 0;
    virtual HRESULT get_AxisNonPerp(double* pVal) = 0;
    virtual HRESULT put_AxisNonPerp(double newVal) = 0;
    virtual HRESULT get_Collimation(double* pVal) = 0;
    virtual HRESULT put_Collimation(double newVal) = 0;
    virtual HRESULT get_DecFlex(double* pVal) = 0;
    virtual HRESULT put_DecFlex(double newVal) = 0;
    virtual HRESULT get_DecOffset(double* pVal) = 0;
    virtual HRESULT put_DecOffset(double newVal) = 0;
    virtual HRESULT get_ForkFlex(double* pVal) = 0;
    virtual HRESULT put_ForkFlex(double newVal) = 0;
    virtual HRESULT get_HOffset(double* pVal) = 0;
    virtual HRESULT put_HOffset(double newVal) = 0;
    virtual HRESULT get_PolarLeftRight(double* pVal) = 0;
    virtual HRESULT put_PolarLeftRight(double newVal) = 0;
    virtual HRESULT get_PolarVertical(double* pVal) = 0;
    virtual HRESULT put_PolarVertical(double newVal) = 0;
    virtual HRESULT get_TubeFlex(double* pVal) = 0;
    virtual HRESULT put_TubeFlex(double newVal) = 0;
    virtual HRESULT Reset() = 0;
    virtual HRESULT Calibrate() = 0;
    virtual HRESULT Recalibrate(LONG FixedInstallation) = 0;
    virtual HRESULT AddObservation(double HATrue, double DecTrue, double HAScope,
                                   double DecScope) = 0;
    virtual HRESULT GetCorrectedHADec(double HAScope, double DecScope, double* HACorr,
                                      double* DecCorr) = 0;
    virtual HRESULT GetScopeHADec(double HATrue, double DecTrue, double* HAScope,
                                  double* DecScope) = 0;
    virtual HRESULT GetCorrectedAltAz(double AzScope, double AltScope, double* AzCorr,
                                      double* AltCorr) = 0;
    virtual HRESULT get_Pressure(double* pVal) = 0;
    virtual HRESULT put_Pressure(double newVal) = 0;
    virtual HRESULT get_Temperature(double* pVal) = 0;
    virtual HRESULT put_Temperature(double newVal) = 0;
    virtual HRESULT get_Inverted(LONG* pVal) = 0;
    virtual HRESULT put_Inverted(LONG newVal) = 0;
    virtual HRESULT get_LocalSiderialTime(double Longitude, double* pVal) = 0;
    virtual HRESULT get_ApplyCorrections(LONG* pVal) = 0;
    virtual HRESULT put_ApplyCorrections(LONG newVal) = 0;
    virtual HRESULT J2kToApparent(double RA2k, double Dec2k, double* RA, double* Dec) = 0;
    virtual HRESULT CalculateErrors() = 0;
    virtual HRESULT GetObservationError(LONG index, double* RAError, double* DecError) = 0;
    virtual HRESULT AddProperMotion(double DRA, double DDec, double* RA, double* Dec) = 0;
    virtual HRESULT FindBrightestStar(VARIANT* bm, double* x, double* y) = 0;
    virtual HRESULT ApparentToJ2k(double RA, double Dec, double* RA2k, double* Dec2k) = 0;
    virtual HRESULT UTCNow(LONG* yr, LONG* mon, LONG* day, LONG* hr, LONG* min, LONG* sec) = 0;
};

// Installs the handler that shows the engine's messages (the fit's
// no-convergence notice). nullptr restores the default, standard error.
// The text is UTF-8; the handler runs on the calling thread and should block
// until the user has seen it, as a modal message box would.
extern "C" {
using TrimcoreMessageHandler = void (*)(const char* text, void* context);
void TrimcoreSetMessageHandler(TrimcoreMessageHandler handler, void* context);
}
