// The read-only "Celaris" group: what the hub says about itself and its
// pointing model. The hub publishes both only on its setup page so far;
// the group reads it from there.
#include "celaris_telescope.h"

#include "setup_page.h"

namespace celaris::indi_driver {

namespace {

const char kGroup[] = "Celaris";

struct Term {
    const char* name;   // INDI element
    const char* label;  // the row of the setup page, and the element's label
};
// The nine terms of the hub's mount model.
constexpr Term kTerms[9] = {
    {"HOUR_OFFSET", "Hour angle offset"}, {"DEC_OFFSET", "Declination offset"},
    {"COLLIMATION", "Collimation"},       {"AXIS_NONPERP", "Axis non-perpendicularity"},
    {"POLAR_LR", "Polar left-right"},     {"POLAR_VERT", "Polar vertical"},
    {"TUBE_FLEX", "Tube flexure"},        {"FORK_FLEX", "Fork flexure"},
    {"DEC_FLEX", "Declination flexure"},
};

const char kNoCalibration[] =
    "Model terms as the hub's setup page shows them; this hub serves no calibration "
    "interface, so whether corrections are on is not published.";

}  // namespace

void CelarisTelescope::InitCelarisGroup() {
    IUFillText(&CelarisHubT[0], "DRIVER", "Mount driver", "");
    IUFillText(&CelarisHubT[1], "CONNECTION", "Mount connection", "");
    IUFillText(&CelarisHubT[2], "STATUS", "Hub status", "");
    IUFillText(&CelarisHubT[3], "MODEL_SOURCE", "Model", kNoCalibration);
    IUFillTextVector(&CelarisHubTP, CelarisHubT, 4, getDeviceName(), "CELARIS_HUB", "Hub", kGroup,
                     IP_RO, 0, IPS_IDLE);
    for (int i = 0; i < 9; ++i)
        IUFillNumber(&CelarisModelN[i], kTerms[i].name, kTerms[i].label, "%.1f", -1e6, 1e6, 0, 0.0);
    IUFillNumberVector(&CelarisModelNP, CelarisModelN, 9, getDeviceName(), "CELARIS_MODEL",
                       "Model terms (arcsec)", kGroup, IP_RO, 0, IPS_IDLE);
}

void CelarisTelescope::DefineCelarisGroup(bool define) {
    if (define) {
        defineProperty(&CelarisHubTP);
        defineProperty(&CelarisModelNP);
        RefreshCelarisGroup();
    } else {
        deleteProperty(CelarisHubTP.name);
        deleteProperty(CelarisModelNP.name);
    }
}

void CelarisTelescope::RefreshCelarisGroup() {
    lastGroupRefresh_ = std::chrono::steady_clock::now();
    if (!hub_) return;
    const auto page = hub_->SetupPage();
    if (!page) {
        CelarisHubTP.s = CelarisModelNP.s = IPS_ALERT;
        IDSetText(&CelarisHubTP, nullptr);
        IDSetNumber(&CelarisModelNP, nullptr);
        return;
    }
    const QList<SetupRow> rows = ParseSetupRows(*page);
    const char* const hubRows[3] = {"Driver", "Connection", "Status"};
    for (int i = 0; i < 3; ++i)
        IUSaveText(&CelarisHubT[i], RowValue(rows, QString::fromLatin1(hubRows[i]))
                                        .value_or(QString())
                                        .toUtf8()
                                        .constData());
    CelarisHubTP.s = IPS_OK;
    IDSetText(&CelarisHubTP, nullptr);

    bool all = true;
    for (int i = 0; i < 9; ++i) {
        const auto value = RowValue(rows, QString::fromLatin1(kTerms[i].label));
        const auto arcsec = value ? ArcSeconds(*value) : std::nullopt;
        all = all && arcsec.has_value();
        CelarisModelN[i].value = arcsec.value_or(0.0);
    }
    CelarisModelNP.s = all ? IPS_OK : IPS_ALERT;
    IDSetNumber(&CelarisModelNP, nullptr);
}

}  // namespace celaris::indi_driver
