#include "celaris/hub/engine_ref.h"

#include <QString>

#include "celaris/com/loader.h"
#include "celaris/dispatch/com_error.h"

namespace celaris::hub {

namespace {
const QString kEngineSource = QStringLiteral("Trimcore.SVD");
}

void Check(HRESULT hr, const char* member) {
    if (FAILED(hr))
        dispatch::Raise(hr, kEngineSource,
                        QStringLiteral("The pointing engine failed in %1.").arg(member));
}

EngineRef::EngineRef() {
    const HRESULT hr =
        celaris::com::CreateInstance(CLSID_SVD, IID_ISVD, reinterpret_cast<void**>(&svd_));
    if (FAILED(hr) || svd_ == nullptr)
        dispatch::Raise(hr, kEngineSource,
                        QStringLiteral("The pointing engine (libtrimcore.so) could not be "
                                       "created; error 0x%1.")
                            .arg(static_cast<uint32_t>(hr), 8, 16, QLatin1Char('0')));
}

EngineRef::~EngineRef() {
    if (svd_ != nullptr) svd_->Release();
}

HADec EngineRef::GetCorrectedHADec(double ha, double dec) const {
    HADec r{};
    Check(svd_->GetCorrectedHADec(ha, dec, &r.ha, &r.dec), "GetCorrectedHADec");
    return r;
}

HADec EngineRef::GetScopeHADec(double ha, double dec) const {
    HADec r{};
    Check(svd_->GetScopeHADec(ha, dec, &r.ha, &r.dec), "GetScopeHADec");
    return r;
}

void EngineRef::GetCorrectedAltAz(double az, double alt, double& azOut, double& altOut) const {
    Check(svd_->GetCorrectedAltAz(az, alt, &azOut, &altOut), "GetCorrectedAltAz");
}

double EngineRef::LocalSiderialTime(double longitudeRad) const {
    double lst = 0.0;
    Check(svd_->get_LocalSiderialTime(longitudeRad, &lst), "LocalSiderialTime");
    return lst;
}

void EngineRef::SetInverted(bool inverted) const {
    Check(svd_->put_Inverted(inverted ? -1 : 0), "Inverted");
}

bool EngineRef::Inverted() const {
    LONG v = 0;
    Check(svd_->get_Inverted(&v), "Inverted");
    return v != 0;
}

}  // namespace celaris::hub
