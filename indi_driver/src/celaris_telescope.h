// indi_celaris_telescope: a Celaris hub's corrected mount as an INDI
// telescope. libindi's INDI::Telescope owns the standard properties and
// their state machines; this class answers them by calling the hub's Alpaca
// Telescope device, so every position a client sees and every slew it
// commands goes through the hub's pointing model.
//
// Everything runs on INDI's one loop thread. Motions are started, never
// waited for: slews through SlewToCoordinatesAsync, Park on a helper
// thread; ReadScopeStatus polls the hub and moves the state machines on.
// A hub that stops answering turns the position Alert with a message, and
// every poll after that tries to reach it again.
#pragma once

#include <utility>

#include <libindi/indiguiderinterface.h>
#include <libindi/inditelescope.h>

#include <QList>

#include <chrono>
#include <memory>

#include "hub_link.h"

namespace celaris::indi_driver {

class CelarisTelescope : public INDI::Telescope, public INDI::GuiderInterface {
  public:
    CelarisTelescope();
    ~CelarisTelescope() override;

    const char* getDefaultName() override { return "Celaris"; }
    bool initProperties() override;
    void ISGetProperties(const char* dev) override;
    bool updateProperties() override;
    bool ISNewNumber(const char* dev, const char* name, double values[], char* names[],
                     int n) override;
    bool ISNewText(const char* dev, const char* name, char* texts[], char* names[], int n) override;
    bool ISNewSwitch(const char* dev, const char* name, ISState* states, char* names[],
                     int n) override;

  protected:
    bool Connect() override;
    bool Disconnect() override;
    bool ReadScopeStatus() override;
    bool saveConfigItems(FILE* fp) override;

    bool Goto(double ra, double dec) override;
    bool Sync(double ra, double dec) override;
    bool Abort() override;
    bool Park() override;
    bool UnPark() override;
    bool SetCurrentPark() override;
    bool SetTrackEnabled(bool enabled) override;
    bool SetTrackMode(uint8_t mode) override;
    bool SetTrackRate(double raRate, double deRate) override;
    bool updateTime(ln_date* utc, double utc_offset) override;
    bool updateLocation(double latitude, double longitude, double elevation) override;

    // celaris_motion.cpp
    bool MoveNS(INDI_DIR_NS dir, TelescopeMotionCommand command) override;
    bool MoveWE(INDI_DIR_WE dir, TelescopeMotionCommand command) override;
    bool SetSlewRate(int index) override;
    IPState GuideNorth(uint32_t ms) override;
    IPState GuideSouth(uint32_t ms) override;
    IPState GuideEast(uint32_t ms) override;
    IPState GuideWest(uint32_t ms) override;

  private:
    std::pair<double, double> ToHubFrame(double ra, double dec) const;
    // One guide pulse under way per axis (right ascension, declination).
    struct PulseSlot {
        CelarisTelescope* owner = nullptr;
        INDI_EQ_AXIS axis = AXIS_RA;
        int timer = -1;
        std::chrono::steady_clock::time_point end{};
    };

    // What the hub offers, read once per connection.
    struct Offer {
        bool german = false;
        bool j2000 = false;
        bool canPark = false, canUnpark = false, canSetPark = false;
        bool canSync = false, canSlewAsync = false, canSetTracking = false;
        bool canPulseGuide = false, canRaRate = false, canDecRate = false;
        QList<int> trackingRates;
        QList<double> stepsWE, stepsNS;  // degrees per second, per slew rate
    };

    // celaris_telescope.cpp
    uint32_t Capabilities() const;
    void ReadOffer();
    void NameSlewRates();
    void ReadSiteAndClock();
    void PublishScopeInfo();
    void FollowMotionState(bool slewing, bool atPark, bool tracking);
    bool Reconnect();
    // Reports a failed call: the hub's message as an error, or the lost hub.
    void Report(const char* what, const dispatch::ComError& e);

    // celaris_motion.cpp
    bool Move(int axis, double signedRate, TelescopeMotionCommand command, const char* what);
    IPState Pulse(int direction, uint32_t ms, INDI_EQ_AXIS axis);
    static void PulseTimer(void* slot);
    void FinishPulse(PulseSlot& slot);
    void CancelPulses();

    // celaris_group.cpp
    void InitCelarisGroup();
    void DefineCelarisGroup(bool define);
    void RefreshCelarisGroup();

    std::unique_ptr<HubLink> hub_;
    Offer offer_;
    bool lost_ = false;
    std::chrono::steady_clock::time_point lastRetry_{};
    std::chrono::steady_clock::time_point lastGroupRefresh_{};
    bool parkFailureExpected_ = false;

    // Connection tab: where the hub is.
    ITextVectorProperty HubAddressTP;
    IText HubAddressT[2]{};
    // Site tab: the hub keeps its park position; it can take the current one.
    ISwitchVectorProperty HubParkOptionSP;
    ISwitch HubParkOptionS[2];
    // The "Celaris" group.
    ITextVectorProperty CelarisHubTP;
    IText CelarisHubT[4]{};
    INumberVectorProperty CelarisModelNP;
    INumber CelarisModelN[9];

    PulseSlot pulses_[2];
};

}  // namespace celaris::indi_driver
