// The program's one engine object, created by its class id through the
// platform loader and called through the ISVD v-table. Failing results
// become ComErrors with the engine's source.
#pragma once

#include "trimcore/isvd.h"

namespace celaris::hub {

struct HADec {
    double ha;   // radians
    double dec;  // radians
};

class EngineRef {
  public:
    // Creates Trimcore.SVD; raises the loader's error when it cannot.
    EngineRef();
    ~EngineRef();
    EngineRef(const EngineRef&) = delete;
    EngineRef& operator=(const EngineRef&) = delete;

    ISVD* get() const { return svd_; }
    ISVD* operator->() const { return svd_; }

    // The members the hub uses most, with failures raised.
    HADec GetCorrectedHADec(double ha, double dec) const;
    HADec GetScopeHADec(double ha, double dec) const;
    void GetCorrectedAltAz(double az, double alt, double& azOut, double& altOut) const;
    double LocalSiderialTime(double longitudeRad) const;
    void SetInverted(bool inverted) const;
    bool Inverted() const;

  private:
    ISVD* svd_ = nullptr;
};

// Raises a failing engine result as a ComError.
void Check(HRESULT hr, const char* member);

}  // namespace celaris::hub
