#include "celaris_telescope.h"

#include <utility>

#include <libindi/indicom.h>
#include <libindi/libastro.h>
#include <libnova/julian_day.h>

#include <QDateTime>

#include <cmath>
#include <cstring>

#include "celaris/dispatch/telescope_types.h"
#include "celaris/version.h"
#include "slew_steps.h"

namespace celaris::indi_driver {

namespace {

constexpr auto kRetryInterval = std::chrono::seconds(2);
// INDI's TRACK_* modes in the order they are added, and the ASCOM drive
// rate each stands for (custom: sidereal plus the offsets).
enum TrackModeIndex { kTrackSidereal, kTrackSolar, kTrackLunar, kTrackCustom };

int DriveRateOf(uint8_t mode) {
    switch (mode) {
        case kTrackSolar:
            return static_cast<int>(DriveRates::driveSolar);
        case kTrackLunar:
            return static_cast<int>(DriveRates::driveLunar);
        default:
            return static_cast<int>(DriveRates::driveSidereal);
    }
}

QByteArray Text(const QString& s) {
    return s.toUtf8();
}

}  // namespace

CelarisTelescope::CelarisTelescope() : GuiderInterface() {
    setVersion(celaris::version::kMajor, celaris::version::kMinor);
    setTelescopeConnection(CONNECTION_NONE);
    // Until a hub says what it offers, everything a hub may offer; the real
    // set replaces this when the connection is made.
    SetTelescopeCapability(TELESCOPE_CAN_GOTO | TELESCOPE_CAN_SYNC | TELESCOPE_CAN_PARK |
                               TELESCOPE_CAN_ABORT | TELESCOPE_HAS_TIME | TELESCOPE_HAS_LOCATION |
                               TELESCOPE_HAS_PIER_SIDE | TELESCOPE_HAS_TRACK_MODE |
                               TELESCOPE_CAN_CONTROL_TRACK | TELESCOPE_HAS_TRACK_RATE,
                           4);
    SetParkDataType(PARK_NONE);
}

CelarisTelescope::~CelarisTelescope() = default;

bool CelarisTelescope::initProperties() {
    INDI::Telescope::initProperties();

    IUFillText(&HubAddressT[0], "ADDRESS", "Hub (host:port)", "127.0.0.1:11111");
    IUFillText(&HubAddressT[1], "DEVICE", "Alpaca device", "0");
    IUFillTextVector(&HubAddressTP, HubAddressT, 2, getDeviceName(), "CELARIS_HUB_ADDRESS",
                     "Celaris hub", CONNECTION_TAB, IP_RW, 60, IPS_IDLE);

    IUFillSwitch(&HubParkOptionS[0], "PARK_CURRENT", "Set park here", ISS_OFF);
    IUFillSwitch(&HubParkOptionS[1], "PARK_WRITE_DATA", "Write Data", ISS_OFF);
    IUFillSwitchVector(&HubParkOptionSP, HubParkOptionS, 2, getDeviceName(),
                       "TELESCOPE_PARK_OPTION", "Park Options", SITE_TAB, IP_RW, ISR_ATMOST1, 60,
                       IPS_IDLE);

    AddTrackMode("TRACK_SIDEREAL", "Sidereal", true);
    AddTrackMode("TRACK_SOLAR", "Solar");
    AddTrackMode("TRACK_LUNAR", "Lunar");
    AddTrackMode("TRACK_CUSTOM", "Custom");

    initGuiderProperties(getDeviceName(), GUIDE_TAB);
    InitCelarisGroup();

    setDriverInterface(getDriverInterface() | GUIDER_INTERFACE);
    setDefaultPollingPeriod(500);
    addAuxControls();
    return true;
}

void CelarisTelescope::ISGetProperties(const char* dev) {
    INDI::Telescope::ISGetProperties(dev);
    defineProperty(&HubAddressTP);
    loadConfig(true, HubAddressTP.name);
}

bool CelarisTelescope::updateProperties() {
    INDI::Telescope::updateProperties();
    if (isConnected()) {
        if (offer_.canPulseGuide) {
            defineProperty(&GuideNSNP);
            defineProperty(&GuideWENP);
        }
        if (offer_.canSetPark) defineProperty(&HubParkOptionSP);
        DefineCelarisGroup(true);
    } else {
        deleteProperty(GuideNSNP.name);
        deleteProperty(GuideWENP.name);
        deleteProperty(HubParkOptionSP.name);
        DefineCelarisGroup(false);
    }
    return true;
}

bool CelarisTelescope::saveConfigItems(FILE* fp) {
    INDI::Telescope::saveConfigItems(fp);
    IUSaveConfigText(fp, &HubAddressTP);
    return true;
}

bool CelarisTelescope::ISNewText(const char* dev, const char* name, char* texts[], char* names[],
                                 int n) {
    if (dev != nullptr && std::strcmp(dev, getDeviceName()) == 0 &&
        std::strcmp(name, HubAddressTP.name) == 0) {
        if (isConnected()) {
            HubAddressTP.s = IPS_ALERT;
            IDSetText(&HubAddressTP, "Disconnect before choosing another hub.");
            return false;
        }
        ITextVectorProperty trial = HubAddressTP;
        IText copy[2];
        for (int i = 0; i < 2; ++i) {
            copy[i] = HubAddressT[i];
            copy[i].text = nullptr;
            IUSaveText(&copy[i], HubAddressT[i].text);
        }
        trial.tp = copy;
        IUUpdateText(&trial, texts, names, n);
        const bool ok =
            ParseHubAddress(QString::fromUtf8(copy[0].text), QString::fromUtf8(copy[1].text))
                .has_value();
        if (ok) IUUpdateText(&HubAddressTP, texts, names, n);
        for (auto& c : copy) free(c.text);
        HubAddressTP.s = ok ? IPS_OK : IPS_ALERT;
        IDSetText(&HubAddressTP, ok ? nullptr
                                    : "Not a hub address: write HOST:PORT (for example "
                                      "127.0.0.1:11111) and a device number from 0.");
        if (ok) saveConfig(true, HubAddressTP.name);
        return ok;
    }
    return INDI::Telescope::ISNewText(dev, name, texts, names, n);
}

bool CelarisTelescope::ISNewNumber(const char* dev, const char* name, double values[],
                                   char* names[], int n) {
    if (dev != nullptr && std::strcmp(dev, getDeviceName()) == 0 &&
        (std::strcmp(name, GuideNSNP.name) == 0 || std::strcmp(name, GuideWENP.name) == 0)) {
        processGuiderProperties(name, values, names, n);
        return true;
    }
    return INDI::Telescope::ISNewNumber(dev, name, values, names, n);
}

bool CelarisTelescope::ISNewSwitch(const char* dev, const char* name, ISState* states,
                                   char* names[], int n) {
    if (dev != nullptr && std::strcmp(dev, getDeviceName()) == 0 &&
        std::strcmp(name, HubParkOptionSP.name) == 0) {
        IUUpdateSwitch(&HubParkOptionSP, states, names, n);
        const bool setHere = HubParkOptionS[0].s == ISS_ON;
        IUResetSwitch(&HubParkOptionSP);
        // The hub stores its park position itself; writing it is done.
        HubParkOptionSP.s = !setHere || SetCurrentPark() ? IPS_OK : IPS_ALERT;
        IDSetSwitch(&HubParkOptionSP, nullptr);
        return true;
    }
    return INDI::Telescope::ISNewSwitch(dev, name, states, names, n);
}

// ---------------------------------------------------------------- connection

bool CelarisTelescope::Connect() {
    const auto address = ParseHubAddress(QString::fromUtf8(HubAddressT[0].text),
                                         QString::fromUtf8(HubAddressT[1].text));
    if (!address) {
        LOGF_ERROR("Not a hub address: \"%s\" device \"%s\". Write HOST:PORT and a device number.",
                   HubAddressT[0].text, HubAddressT[1].text);
        return false;
    }
    auto link = std::make_unique<HubLink>(*address);
    try {
        link->Put(QStringLiteral("Connected"), true);
    } catch (const dispatch::ComError& e) {
        if (link->IsLost(e))
            LOGF_ERROR("Cannot reach the Celaris hub at %s: %s Is Celaris running there?",
                       Text(link->where()).constData(), e.what());
        else
            LOGF_ERROR("The Celaris hub at %s cannot connect its mount: %s",
                       Text(link->where()).constData(), e.what());
        return false;
    }
    hub_ = std::move(link);
    lost_ = false;
    try {
        ReadOffer();
        SetTelescopeCapability(Capabilities(), 4);
        NameSlewRates();
        ReadSiteAndClock();
        PublishScopeInfo();
        const bool parked = offer_.canPark && hub_->GetBool("AtPark");
        SyncParkStatus(parked);
        if (!parked) TrackState = hub_->GetBool("Tracking") ? SCOPE_TRACKING : SCOPE_IDLE;
    } catch (const dispatch::ComError& e) {
        Report("Reading what the hub offers", e);
        hub_.reset();
        return false;
    }
    LOGF_INFO("Connected to the Celaris hub at %s.", Text(hub_->where()).constData());
    lastGroupRefresh_ = {};
    SetTimer(getCurrentPollingPeriod());
    return true;
}

bool CelarisTelescope::Disconnect() {
    CancelPulses();
    if (hub_) {
        try {
            // Gives back this driver's connection only; the hub decides
            // whether the mount itself goes.
            hub_->Put(QStringLiteral("Connected"), false);
        } catch (const dispatch::ComError&) {
        }
    }
    hub_.reset();
    lost_ = false;
    return true;
}

void CelarisTelescope::ReadOffer() {
    Offer o;
    o.german = hub_->GetInt("AlignmentMode") == static_cast<int>(AlignmentModes::algGermanPolar);
    o.j2000 =
        hub_->GetInt("EquatorialSystem") == static_cast<int>(EquatorialCoordinateType::equJ2000);
    o.canPark = hub_->GetBool("CanPark");
    o.canUnpark = hub_->GetBool("CanUnpark");
    o.canSetPark = hub_->GetBool("CanSetPark");
    o.canSync = hub_->GetBool("CanSync");
    o.canSlewAsync = hub_->GetBool("CanSlewAsync");
    o.canSetTracking = hub_->GetBool("CanSetTracking");
    o.canPulseGuide = hub_->GetBool("CanPulseGuide");
    o.canRaRate = hub_->GetBool("CanSetRightAscensionRate");
    o.canDecRate = hub_->GetBool("CanSetDeclinationRate");
    o.trackingRates = hub_->Get(QStringLiteral("TrackingRates")).value<TrackingRates>();
    const auto steps = [this](TelescopeAxes axis) -> QList<double> {
        const QVariantList arg{static_cast<int>(axis)};
        if (!hub_->Call(QStringLiteral("CanMoveAxis"), arg).toBool()) return {};
        return SlewSteps(hub_->Call(QStringLiteral("AxisRates"), arg).value<AxisRates>());
    };
    o.stepsWE = steps(TelescopeAxes::axisPrimary);
    o.stepsNS = steps(TelescopeAxes::axisSecondary);
    offer_ = o;
}

void CelarisTelescope::NameSlewRates() {
    // Name the slew rates by what they are on this hub.
    const QList<double>& named = !offer_.stepsWE.isEmpty() ? offer_.stepsWE : offer_.stepsNS;
    static const char* const kLabels[] = {"Guide", "Centering", "Find", "Max"};
    for (int i = 0; i < 4 && i < named.size(); ++i)
        snprintf(SlewRateS[i].label, MAXINDILABEL, "%s (%.3g deg/s)", kLabels[i], named[i]);
}

uint32_t CelarisTelescope::Capabilities() const {
    uint32_t cap = TELESCOPE_CAN_ABORT | TELESCOPE_HAS_TIME | TELESCOPE_HAS_LOCATION;
    if (offer_.canSlewAsync) cap |= TELESCOPE_CAN_GOTO;
    if (offer_.canSync) cap |= TELESCOPE_CAN_SYNC;
    if (offer_.canPark) cap |= TELESCOPE_CAN_PARK;
    if (offer_.german) cap |= TELESCOPE_HAS_PIER_SIDE;
    if (!offer_.trackingRates.isEmpty()) cap |= TELESCOPE_HAS_TRACK_MODE;
    if (offer_.canSetTracking) cap |= TELESCOPE_CAN_CONTROL_TRACK;
    if (offer_.canRaRate && offer_.canDecRate) cap |= TELESCOPE_HAS_TRACK_RATE;
    return cap;
}

void CelarisTelescope::ReadSiteAndClock() {
    const double lat = hub_->GetDouble("SiteLatitude");
    const double lonEast = hub_->GetDouble("SiteLongitude");
    LocationN[LOCATION_LATITUDE].value = lat;
    LocationN[LOCATION_LONGITUDE].value = lonEast < 0.0 ? lonEast + 360.0 : lonEast;
    LocationN[LOCATION_ELEVATION].value = hub_->GetDouble("SiteElevation");
    LocationNP.s = IPS_OK;
    updateObserverLocation(lat, LocationN[LOCATION_LONGITUDE].value,
                           LocationN[LOCATION_ELEVATION].value);

    const QDateTime utc = hub_->Get(QStringLiteral("UTCDate")).toDateTime().toUTC();
    IUSaveText(&TimeT[0], Text(utc.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss"))).constData());
    IUSaveText(&TimeT[1], "0");
    TimeTP.s = IPS_OK;
}

void CelarisTelescope::PublishScopeInfo() {
    const double apertureMm = hub_->GetDouble("ApertureDiameter") * 1000.0;
    const double focalMm = hub_->GetDouble("FocalLength") * 1000.0;
    if (apertureMm > 0.0) ScopeParametersN[0].value = apertureMm;
    if (focalMm > 0.0) ScopeParametersN[1].value = focalMm;
    ScopeParametersNP.s = IPS_OK;
    IDSetNumber(&ScopeParametersNP, nullptr);
}

bool CelarisTelescope::Reconnect() {
    const auto now = std::chrono::steady_clock::now();
    if (now - lastRetry_ < kRetryInterval) return false;
    lastRetry_ = now;
    try {
        hub_->Put(QStringLiteral("Connected"), true);
    } catch (const dispatch::ComError& e) {
        LOGF_DEBUG("The Celaris hub at %s is still out of reach: %s",
                   Text(hub_->where()).constData(), e.what());
        return false;
    }
    lost_ = false;
    LOGF_INFO("The Celaris hub at %s answers again.", Text(hub_->where()).constData());
    return true;
}

void CelarisTelescope::Report(const char* what, const dispatch::ComError& e) {
    if (hub_ && hub_->IsLost(e)) {
        if (!lost_)
            LOGF_ERROR("Lost the Celaris hub at %s: %s Trying again every %d s.",
                       Text(hub_->where()).constData(), e.what(),
                       static_cast<int>(kRetryInterval.count()));
        lost_ = true;
        lastRetry_ = std::chrono::steady_clock::now();
        return;
    }
    LOGF_ERROR("%s: %s", what, e.what());
}

// ---------------------------------------------------------------- status

void CelarisTelescope::FollowMotionState(bool slewing, bool atPark, bool tracking) {
    if (TrackState == SCOPE_PARKING) {
        if (hub_->LongCallRunning()) return;
        if (auto failure = hub_->TakeLongCallFailure(); failure && !parkFailureExpected_) {
            Report("Park", *failure);
            ParkSP.s = IPS_ALERT;
            IDSetSwitch(&ParkSP, nullptr);
        }
        parkFailureExpected_ = false;
        if (atPark) {
            SetParked(true);
            return;
        }
        TrackState = tracking ? SCOPE_TRACKING : SCOPE_IDLE;
        return;
    }
    // Another client of the hub may park, unpark or slew the mount.
    if (atPark != isParked()) {
        SyncParkStatus(atPark);
        if (atPark) return;
    }
    if (atPark) {
        TrackState = SCOPE_PARKED;
    } else if (slewing) {
        TrackState = SCOPE_SLEWING;
    } else {
        if (TrackState == SCOPE_SLEWING) LOG_INFO("Slew complete.");
        TrackState = tracking ? SCOPE_TRACKING : SCOPE_IDLE;
    }
}

bool CelarisTelescope::ReadScopeStatus() {
    if (!hub_) return false;
    if (lost_ && !Reconnect()) return false;
    try {
        const double raHub = hub_->GetDouble("RightAscension");
        const double decHub = hub_->GetDouble("Declination");
        const bool slewing = hub_->GetBool("Slewing");
        const bool atPark = offer_.canPark && hub_->GetBool("AtPark");
        const bool tracking = hub_->GetBool("Tracking");
        if (HasPierSide()) {
            const int side = hub_->GetInt("SideOfPier");
            setPierSide(side == static_cast<int>(PierSide::pierEast)   ? PIER_EAST
                        : side == static_cast<int>(PierSide::pierWest) ? PIER_WEST
                                                                       : PIER_UNKNOWN);
        }
        FollowMotionState(slewing, atPark, tracking);

        double ra = raHub, dec = decHub;
        if (offer_.j2000) {
            // INDI clients read EQUATORIAL_EOD_COORD as of date.
            INDI::IEquatorialCoordinates j2000{raHub, decHub}, now{};
            INDI::J2000toObserved(&j2000, ln_get_julian_from_sys(), &now);
            ra = now.rightascension;
            dec = now.declination;
        }
        NewRaDec(ra, dec);
    } catch (const dispatch::ComError& e) {
        Report("Reading the position", e);
        return false;
    }
    if (std::chrono::steady_clock::now() - lastGroupRefresh_ > std::chrono::seconds(5))
        RefreshCelarisGroup();
    return true;
}

// ---------------------------------------------------------------- slews

// INDI clients speak JNow; the hub may want J2000.
std::pair<double, double> CelarisTelescope::ToHubFrame(double ra, double dec) const {
    if (!offer_.j2000) return {ra, dec};
    INDI::IEquatorialCoordinates now{ra, dec}, j2000{};
    INDI::ObservedToJ2000(&now, ln_get_julian_from_sys(), &j2000);
    return {j2000.rightascension, j2000.declination};
}

bool CelarisTelescope::Goto(double ra, double dec) {
    if (!hub_) return false;
    const auto [raHub, decHub] = ToHubFrame(ra, dec);
    try {
        // INDI mounts track once a goto ends; ON_COORD_SET SLEW leaves
        // tracking as it is.
        if (offer_.canSetTracking && IUFindOnSwitchIndex(&CoordSP) == 0 &&
            !hub_->GetBool("Tracking"))
            hub_->Put(QStringLiteral("Tracking"), true);
        hub_->Call(QStringLiteral("SlewToCoordinatesAsync"), {raHub, decHub});
    } catch (const dispatch::ComError& e) {
        Report("Goto", e);
        return false;
    }
    TrackState = SCOPE_SLEWING;
    char raText[32], decText[32];
    fs_sexa(raText, ra, 2, 3600);
    fs_sexa(decText, dec, 2, 3600);
    LOGF_INFO("Slewing to RA %s Dec %s.", raText, decText);
    return true;
}

bool CelarisTelescope::Sync(double ra, double dec) {
    if (!hub_) return false;
    const auto [raHub, decHub] = ToHubFrame(ra, dec);
    try {
        hub_->Call(QStringLiteral("SyncToCoordinates"), {raHub, decHub});
    } catch (const dispatch::ComError& e) {
        Report("Sync", e);
        return false;
    }
    // The position follows at the next poll, once the hub has read the mount.
    LOG_INFO("Synced.");
    return true;
}

bool CelarisTelescope::Abort() {
    if (!hub_) return false;
    try {
        hub_->Call(QStringLiteral("AbortSlew"));
    } catch (const dispatch::ComError& e) {
        Report("Abort", e);
        return false;
    }
    if (TrackState == SCOPE_PARKING) {
        // The waiting Park call ends with the hub's complaint about the
        // abort, which is no news to the user.
        parkFailureExpected_ = true;
        TrackState = SCOPE_IDLE;
    }
    if (TrackState == SCOPE_SLEWING) TrackState = SCOPE_IDLE;
    return true;
}

bool CelarisTelescope::Park() {
    if (!hub_) return false;
    if (!hub_->StartLongCall(QStringLiteral("Park"))) {
        LOG_ERROR("Park: the previous park has not ended yet.");
        return false;
    }
    parkFailureExpected_ = false;
    TrackState = SCOPE_PARKING;
    LOG_INFO("Parking.");
    return true;
}

bool CelarisTelescope::UnPark() {
    if (!hub_) return false;
    try {
        hub_->Call(QStringLiteral("Unpark"));
    } catch (const dispatch::ComError& e) {
        Report("Unpark", e);
        return false;
    }
    SetParked(false);
    return true;
}

bool CelarisTelescope::SetCurrentPark() {
    if (!hub_) return false;
    try {
        hub_->Call(QStringLiteral("SetPark"));
    } catch (const dispatch::ComError& e) {
        Report("Set park position", e);
        return false;
    }
    LOG_INFO("The hub parks here from now on.");
    return true;
}

// ---------------------------------------------------------------- tracking

bool CelarisTelescope::SetTrackEnabled(bool enabled) {
    if (!hub_) return false;
    try {
        hub_->Put(QStringLiteral("Tracking"), enabled);
    } catch (const dispatch::ComError& e) {
        Report("Tracking", e);
        return false;
    }
    if (TrackState != SCOPE_SLEWING && TrackState != SCOPE_PARKING && TrackState != SCOPE_PARKED)
        TrackState = enabled ? SCOPE_TRACKING : SCOPE_IDLE;
    return true;
}

bool CelarisTelescope::SetTrackMode(uint8_t mode) {
    if (!hub_) return false;
    const int rate = DriveRateOf(mode);
    if (!offer_.trackingRates.contains(rate)) {
        LOGF_ERROR("Track mode: the hub's mount does not offer %s.", TrackModeS[mode].label);
        return false;
    }
    try {
        hub_->Put(QStringLiteral("TrackingRate"), rate);
        if (HasTrackRate()) {
            if (mode == kTrackCustom)
                return SetTrackRate(TrackRateN[AXIS_RA].value, TrackRateN[AXIS_DE].value);
            hub_->Put(QStringLiteral("RightAscensionRate"), 0.0);
            hub_->Put(QStringLiteral("DeclinationRate"), 0.0);
        }
    } catch (const dispatch::ComError& e) {
        Report("Track mode", e);
        return false;
    }
    return true;
}

bool CelarisTelescope::SetTrackRate(double raRate, double deRate) {
    if (!hub_) return false;
    // INDI gives the whole rate in arc seconds per second; ASCOM the offset
    // from sidereal, right ascension in seconds of time per sidereal second.
    constexpr double kSiderealArcsecPerSec = 15.0410686;
    constexpr double kSiderealSecondPerSecond = 0.99726956633;
    try {
        hub_->Put(QStringLiteral("RightAscensionRate"),
                  (raRate - kSiderealArcsecPerSec) / 15.0 * kSiderealSecondPerSecond);
        hub_->Put(QStringLiteral("DeclinationRate"), deRate);
    } catch (const dispatch::ComError& e) {
        Report("Track rate", e);
        return false;
    }
    return true;
}

// ---------------------------------------------------------------- site, clock

bool CelarisTelescope::updateTime(ln_date* utc, double utc_offset) {
    if (!hub_) return false;
    (void)utc_offset;  // the hub keeps UTC
    const double whole = std::floor(utc->seconds);
    const QDateTime when(
        QDate(utc->years, utc->months, utc->days),
        QTime(utc->hours, utc->minutes, static_cast<int>(whole),
              static_cast<int>(std::lround((utc->seconds - whole) * 1000.0)) % 1000),
        Qt::UTC);
    if (!when.isValid()) {
        LOG_ERROR("Time: not a valid date and time.");
        return false;
    }
    try {
        hub_->Put(QStringLiteral("UTCDate"), when);
    } catch (const dispatch::ComError& e) {
        Report("Time", e);
        return false;
    }
    return true;
}

bool CelarisTelescope::updateLocation(double latitude, double longitude, double elevation) {
    if (!hub_) return false;
    // INDI counts longitude 0..360 east, ASCOM -180..180 east.
    const double lonEast = longitude > 180.0 ? longitude - 360.0 : longitude;
    try {
        hub_->Put(QStringLiteral("SiteLatitude"), latitude);
        hub_->Put(QStringLiteral("SiteLongitude"), lonEast);
        hub_->Put(QStringLiteral("SiteElevation"), elevation);
    } catch (const dispatch::ComError& e) {
        Report("Site", e);
        return false;
    }
    return true;
}

}  // namespace celaris::indi_driver
