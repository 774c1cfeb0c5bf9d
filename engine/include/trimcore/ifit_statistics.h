// How well the last fit (ISVD::CalculateErrors) determined the model terms:
// a second interface on the engine object, reached from ISVD by
// QueryInterface, so ISVD itself keeps its v-table. Angles in radians.
#pragma once

#include "celaris/com/types.h"

inline constexpr IID IID_IFitStatistics = {
    0x6B8A8089, 0x392A, 0x418E, {0x82, 0x4E, 0x1A, 0xD3, 0x95, 0x72, 0x2E, 0xAD}};

// Term numbers, in the order the program lists and sets the terms.
inline constexpr LONG kTrimcoreTermHOffset = 1;
inline constexpr LONG kTrimcoreTermDecOffset = 2;
inline constexpr LONG kTrimcoreTermCollimation = 3;
inline constexpr LONG kTrimcoreTermAxisNonPerp = 4;
inline constexpr LONG kTrimcoreTermPolarLeftRight = 5;
inline constexpr LONG kTrimcoreTermPolarVertical = 6;
inline constexpr LONG kTrimcoreTermTubeFlex = 7;
inline constexpr LONG kTrimcoreTermForkFlex = 8;
inline constexpr LONG kTrimcoreTermDecFlex = 9;
inline constexpr LONG kTrimcoreTermCount = 9;

// Everything reads as zero until a fit has run, and again after Reset,
// Calibrate or Recalibrate. A term number outside 1 ... 9 gives E_INVALIDARG,
// a null out-pointer E_POINTER.
struct IFitStatistics : IUnknown {
    // Observations in the last fit (two equations each) and terms it solved
    // for: 8 for a full model, 4 or 2 for a recalibration.
    virtual HRESULT get_FitObservationCount(LONG* n) = 0;
    virtual HRESULT get_FittedTermCount(LONG* k) = 0;
    // 1 if the last fit solved for the term, 0 if it held or skipped it.
    virtual HRESULT get_TermFitted(LONG term, LONG* fitted) = 0;
    // sqrt(sum of squared residuals / (2n - k)); 0 when 2n <= k.
    virtual HRESULT get_ResidualSigma(double* sigma) = 0;
    // sigma^2 (A^T A)^-1 for two terms, radians^2; 0 when either was not
    // fitted. Where the observations leave a combination of terms
    // undetermined (a singular value the fit cut), the entries that
    // combination touches are +-infinity and the result is S_FALSE: the
    // standard error is unbounded and the fit poorly constrained.
    virtual HRESULT GetTermCovariance(LONG term1, LONG term2, double* value) = 0;
};
