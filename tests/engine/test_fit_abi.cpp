// A calibration through the v-table of an engine created by the loader, the
// no-convergence message reaching the handler installed in the library, and
// the fit's statistics on the same object.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "celaris/com/loader.h"
#include "trimcore/ifit_statistics.h"
#include "trimcore/isvd.h"

using namespace celaris::com;

namespace {

constexpr double kDeg = 0.017453292519943278;
constexpr double kArcsec = kDeg / 3600.0;
constexpr double kLatitude = 40.0 * kDeg;

// Without a registry the loader finds the library beside the test.
ISVD* Create() {
    ISVD* svd = nullptr;
    EXPECT_EQ(CreateInstanceFrom("/nonexistent/classes.reg", "Trimcore.SVD", IID_ISVD,
                                 reinterpret_cast<void**>(&svd)),
              S_OK);
    return svd;
}

void SetSite(ISVD* svd) {
    svd->put_German(-1);
    svd->put_Latitude(kLatitude);
    svd->put_Pressure(101.325);
    svd->put_Temperature(10);
}

}  // namespace

TEST(FitThroughTheVtable, CalibrationRecoversTheTermsAndReportsResiduals) {
    ISVD* svd = Create();
    ASSERT_NE(svd, nullptr);
    SetSite(svd);
    // The eight terms of a German mount, 0.5' to 4'.
    using Put = HRESULT (ISVD::*)(double);
    using Get = HRESULT (ISVD::*)(double*);
    const std::array<std::pair<Put, Get>, 8> terms{{
        {&ISVD::put_HOffset, &ISVD::get_HOffset},
        {&ISVD::put_DecOffset, &ISVD::get_DecOffset},
        {&ISVD::put_PolarLeftRight, &ISVD::get_PolarLeftRight},
        {&ISVD::put_PolarVertical, &ISVD::get_PolarVertical},
        {&ISVD::put_Collimation, &ISVD::get_Collimation},
        {&ISVD::put_AxisNonPerp, &ISVD::get_AxisNonPerp},
        {&ISVD::put_TubeFlex, &ISVD::get_TubeFlex},
        {&ISVD::put_DecFlex, &ISVD::get_DecFlex},
    }};
    const std::array<double, 8> known{2.5, -1.5, 3.0, -2.0, 1.0, -0.5, 4.0, 1.2};
    for (int k = 0; k < 8; ++k) (svd->*terms[k].first)(known[k] * kDeg / 60);

    // Thirty stars above 20 degrees altitude, alternately on either side of
    // the pier, with the scope readings the corrections predict.
    std::vector<std::array<double, 4>> obs;
    for (double dec = -15; dec <= 80 && obs.size() < 30; dec += 9.5)
        for (double ha = -80; ha <= 80 && obs.size() < 30; ha += 32) {
            const double h = ha * kDeg, d = dec * kDeg;
            if (std::sin(kLatitude) * std::sin(d) +
                    std::cos(kLatitude) * std::cos(d) * std::cos(h) <
                std::sin(20 * kDeg))
                continue;
            double hs, ds;
            svd->put_Inverted(obs.size() % 2 ? -1 : 0);
            svd->GetScopeHADec(h, d, &hs, &ds);
            obs.push_back({h, d, hs, ds});
        }
    ASSERT_EQ(obs.size(), 30u);

    svd->Calibrate();
    svd->put_ForkFlex(0.01);
    for (size_t i = 0; i < obs.size(); ++i) {
        svd->put_Inverted(i % 2 ? -1 : 0);
        EXPECT_EQ(svd->AddObservation(obs[i][0], obs[i][1], obs[i][2], obs[i][3]), S_OK);
    }
    EXPECT_EQ(svd->CalculateErrors(), S_OK);

    double t = 1;
    for (int k = 0; k < 8; ++k) {
        (svd->*terms[k].second)(&t);
        EXPECT_NEAR(t, known[k] * kDeg / 60, 0.2 * kArcsec) << "term " << k + 1;
    }
    svd->get_ForkFlex(&t);
    EXPECT_EQ(t, 0.0);
    double ra = 1, dec = 1;
    for (LONG i = 1; i <= 30; ++i) {
        EXPECT_EQ(svd->GetObservationError(i, &ra, &dec), S_OK);
        EXPECT_LT(std::hypot(ra, dec), 0.2 * kArcsec) << i;
        EXPECT_NE(std::hypot(ra, dec), 0.0) << i;  // a residual, not an empty slot
    }
    svd->GetObservationError(31, &ra, &dec);
    EXPECT_TRUE(ra == 0.0 && dec == 0.0);
    svd->Release();
}

TEST(FitThroughTheVtable, NoConvergenceReachesTheInstalledHandler) {
    ISVD* svd = Create();
    ASSERT_NE(svd, nullptr);
    // dlopen hands back the copy the loader opened.
    void* lib = nullptr;
    for (const auto& d : ShippedLibraryDirs())
        if (::access((d + "/libtrimcore.so").c_str(), R_OK) == 0 &&
            (lib = ::dlopen((d + "/libtrimcore.so").c_str(), RTLD_NOW)))
            break;
    ASSERT_NE(lib, nullptr);
    auto install = reinterpret_cast<decltype(&TrimcoreSetMessageHandler)>(
        ::dlsym(lib, "TrimcoreSetMessageHandler"));
    ASSERT_NE(install, nullptr);
    std::vector<std::string> shown;
    install([](const char* text,
               void* c) { static_cast<std::vector<std::string>*>(c)->push_back(text); },
            &shown);

    SetSite(svd);
    svd->Calibrate();
    svd->AddObservation(0.3, 0.5, 0.31, 0.49);
    svd->AddObservation(0.1, 0.2, std::numeric_limits<double>::quiet_NaN(), 0.2);
    EXPECT_EQ(svd->CalculateErrors(), S_OK);  // the caller is not told
    EXPECT_EQ(shown, std::vector<std::string>{"no convergence in 30 svdcmp iterations"});

    install(nullptr, nullptr);
    svd->Release();
    ::dlclose(lib);
}

TEST(FitStatisticsThroughTheVtable, OneObjectWithISVDAndClearedWithEachNewList) {
    ISVD* svd = Create();
    ASSERT_NE(svd, nullptr);
    IFitStatistics* stats = nullptr;
    ASSERT_EQ(svd->QueryInterface(IID_IFitStatistics, reinterpret_cast<void**>(&stats)), S_OK);
    // The same identity and one reference count from either interface.
    IUnknown *fromSvd = nullptr, *fromStats = nullptr;
    ISVD* back = nullptr;
    svd->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&fromSvd));
    stats->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&fromStats));
    EXPECT_EQ(fromSvd, fromStats);
    EXPECT_EQ(stats->QueryInterface(IID_ISVD, reinterpret_cast<void**>(&back)), S_OK);
    EXPECT_EQ(back, svd);
    EXPECT_EQ(fromSvd->Release(), 4u);
    EXPECT_EQ(fromStats->Release(), 3u);
    EXPECT_EQ(back->Release(), 2u);

    LONG n = -1;
    double x = -1;
    EXPECT_EQ(stats->get_FitObservationCount(nullptr), E_POINTER);
    EXPECT_EQ(stats->get_FittedTermCount(nullptr), E_POINTER);
    EXPECT_EQ(stats->get_TermFitted(1, nullptr), E_POINTER);
    EXPECT_EQ(stats->get_ResidualSigma(nullptr), E_POINTER);
    EXPECT_EQ(stats->GetTermCovariance(1, 1, nullptr), E_POINTER);
    for (LONG bad : {0, 10, -1}) {
        EXPECT_EQ(stats->get_TermFitted(bad, &n), E_INVALIDARG);
        EXPECT_EQ(stats->GetTermCovariance(bad, 1, &x), E_INVALIDARG);
        EXPECT_EQ(stats->GetTermCovariance(1, bad, &x), E_INVALIDARG);
    }

    auto expectCleared = [&](const char* when) {
        LONG k = -1, flag = 0, fitted = 0;
        double sigma = -1, sum = 0;
        stats->get_FitObservationCount(&n);
        stats->get_FittedTermCount(&k);
        stats->get_ResidualSigma(&sigma);
        for (LONG t = 1; t <= kTrimcoreTermCount; ++t) {
            stats->get_TermFitted(t, &flag);
            fitted += flag;
            EXPECT_EQ(stats->GetTermCovariance(t, t, &x), S_OK);
            sum += std::fabs(x);
        }
        EXPECT_TRUE(n == 0 && k == 0 && fitted == 0 && sigma == 0.0 && sum == 0.0) << when;
    };
    expectCleared("before any fit");
    // Fits on either mount type, each followed by one way of starting a new
    // list; the mount type decides which flexure term was fitted.
    const char* clears[] = {"Reset", "Calibrate", "Recalibrate"};
    for (int clear = 0; clear < 3; ++clear) {
        SetSite(svd);
        svd->put_German(clear != 1);
        for (int i = 0; i < 12; ++i)
            svd->AddObservation(-1.2 + 0.2 * i + 0.001 * std::sin(3.0 * i), -0.3 + 0.1 * i,
                                -1.2 + 0.2 * i, -0.3 + 0.1 * i + 0.001 * std::cos(5.0 * i));
        EXPECT_EQ(svd->CalculateErrors(), S_OK);
        stats->get_FitObservationCount(&n);
        EXPECT_EQ(n, 12);
        stats->get_FittedTermCount(&n);
        EXPECT_EQ(n, 8);
        stats->get_ResidualSigma(&x);
        EXPECT_GT(x, 0.0);
        stats->get_TermFitted(kTrimcoreTermForkFlex, &n);
        EXPECT_EQ(n, clear == 1);
        stats->get_TermFitted(kTrimcoreTermDecFlex, &n);
        EXPECT_EQ(n, clear != 1);
        if (clear == 0) svd->Reset();
        if (clear == 1) svd->Calibrate();
        if (clear == 2) svd->Recalibrate(0);
        expectCleared(clears[clear]);
    }
    EXPECT_EQ(stats->Release(), 1u);
    EXPECT_EQ(svd->Release(), 0u);
}
