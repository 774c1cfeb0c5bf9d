// TelescopeBase's guards on a tiny driver: every late-bound member passes
// the capability flag, the connection, the park and the argument ranges, in
// that order, before the driver's typed member runs; members the driver
// leaves out answer as ASCOM prescribes.
#include <gtest/gtest.h>

#include "celaris/dispatch/ascom_errors.h"
#include "celaris/drivers/telescope_base.h"
#include "error_of.h"

using namespace celaris;
namespace err = celaris::ascom_error;

namespace {

// Answers only its own questions and counts what reaches it.
class TinyMount : public TelescopeBase {
  public:
    TinyMount() : TelescopeBase(QStringLiteral("Tiny")) {}

    bool canSlew = true;
    bool canPark = true;
    bool connected = true;
    bool parked = false;
    QString lostReason;  // set: the connection guard says why
    int slews = 0;
    double lastRa = 0.0;
    QList<int> axesAsked;
    int moves = 0;

    bool CanSlew() override { return canSlew; }
    bool CanPark() override { return canPark; }
    bool Connected() override { return connected; }
    bool AtPark() override { return parked; }
    void SlewToCoordinates(double ra, double) override {
        ++slews;
        lastRa = ra;
    }
    bool CanMoveAxis(TelescopeAxes axis) override {
        axesAsked.append(static_cast<int>(axis));
        return axis == TelescopeAxes::axisPrimary;
    }
    void MoveAxis(TelescopeAxes, double) override { ++moves; }

  protected:
    void EnsureConnected() override {
        if (!lostReason.isEmpty()) Raise(err::kNotConnected, source(), lostReason);
        TelescopeBase::EnsureConnected();
    }
};

using test::ErrorOf;

int32_t NumberOf(const std::function<void()>& f) {
    return ErrorOf(f).number();
}

}  // namespace

TEST(TelescopeBaseGuards, CapabilityThenConnectionThenParkThenRange) {
    TinyMount m;
    Driver& d = m;
    // Every guard would refuse; the first in the order answers.
    m.canSlew = false;
    m.connected = false;
    m.parked = true;
    const QVariantList bad = {25.0, 10.0};
    EXPECT_EQ(NumberOf([&] { d.Call("SlewToCoordinates", bad); }), err::kNotImplemented);
    m.canSlew = true;
    EXPECT_EQ(NumberOf([&] { d.Call("SlewToCoordinates", bad); }), err::kNotConnected);
    m.connected = true;
    const ComError parked = ErrorOf([&] { d.Call("SlewToCoordinates", bad); });
    EXPECT_EQ(parked.number(), err::kInvalidWhileParked);
    EXPECT_EQ(parked.source(), "Tiny");
    EXPECT_TRUE(parked.description().startsWith("SlewToCoordinates"))
        << parked.description().toStdString();
    m.parked = false;
    const ComError range = ErrorOf([&] { d.Call("SlewToCoordinates", bad); });
    EXPECT_EQ(range.number(), err::kInvalidValue);
    EXPECT_EQ(range.description(), "RightAscension 25 is outside the range [0, 24) hours.");
    EXPECT_EQ(m.slews, 0);  // nothing refused reached the driver

    d.Call("SlewToCoordinates", {23.5, -90.0});
    EXPECT_EQ(m.slews, 1);
    EXPECT_EQ(m.lastRa, 23.5);
    // Out-of-range declination, and a non-number, never reach it either.
    EXPECT_EQ(NumberOf([&] { d.Call("SlewToCoordinates", {1.0, -90.5}); }), err::kInvalidValue);
    EXPECT_EQ(NumberOf([&] {
                  d.Call("SlewToCoordinates", {1.0, std::nan("")});
              }),
              err::kInvalidValue);
    EXPECT_EQ(NumberOf([&] {
                  d.Call("SlewToCoordinates", {QString("x"), 1.0});
              }),
              err::kTypeMismatch);
    EXPECT_EQ(m.slews, 1);
}

TEST(TelescopeBaseGuards, ParkOnlyStopsMotionAndOnlyOnAMountThatParks) {
    TinyMount m;
    Driver& d = m;
    m.parked = true;
    EXPECT_EQ(NumberOf([&] { d.Call("MoveAxis", {0, 0.0}); }), err::kInvalidWhileParked);
    // Reading is not motion.
    EXPECT_EQ(NumberOf([&] { d.Get("CanSlew"); }), 0);
    // A mount that cannot park is never parked.
    m.canPark = false;
    d.Call("MoveAxis", {0, 0.0});
    EXPECT_EQ(m.moves, 1);
}

TEST(TelescopeBaseGuards, AnAxisCapabilityIsAskedForTheAxisInQuestion) {
    TinyMount m;
    Driver& d = m;
    EXPECT_EQ(NumberOf([&] { d.Call("MoveAxis", {1, 2.0}); }), err::kNotImplemented);
    d.Call("MoveAxis", {0, 2.0});
    EXPECT_EQ(m.axesAsked, (QList<int>{1, 0}));
    // An axis that does not exist is a bad value before anyone is asked.
    EXPECT_EQ(NumberOf([&] { d.Call("MoveAxis", {3, 2.0}); }), err::kInvalidValue);
    EXPECT_EQ(m.axesAsked.size(), 2);
    EXPECT_EQ(m.moves, 1);
}

TEST(TelescopeBaseGuards, ADriverSaysWhyItIsNotConnected) {
    TinyMount m;
    m.lostReason = QStringLiteral("Lost the connection to the mount.");
    const ComError e = ErrorOf([&] { static_cast<Driver&>(m).Get("RightAscension"); });
    EXPECT_EQ(e.number(), err::kNotConnected);
    EXPECT_EQ(e.description(), "Lost the connection to the mount.");
    // Members that need no connection still answer.
    EXPECT_EQ(static_cast<Driver&>(m).Get("CanSlew").toBool(), true);
}

TEST(TelescopeBaseGuards, MembersLeftOutAnswerAsAscomPrescribes) {
    TinyMount m;
    Driver& d = m;
    EXPECT_FALSE(d.Get("CanFindHome").toBool());
    EXPECT_FALSE(d.Call("CanSetPierSide").toBool());
    EXPECT_EQ(d.Get("InterfaceVersion").toInt(), 3);
    EXPECT_TRUE(d.Get("SupportedActions").toStringList().isEmpty());
    EXPECT_EQ(NumberOf([&] {
                  d.Call("Action", {QString("Dance"), QString()});
              }),
              err::kActionNotImplemented);
    EXPECT_EQ(NumberOf([&] { d.Call("SetupDialog"); }), 0);
    const ComError e = ErrorOf([&] { d.Get("Altitude"); });
    EXPECT_EQ(e.number(), err::kNotImplemented);
    EXPECT_EQ(e.description(), "Altitude is not implemented.");
    EXPECT_EQ(e.source(), "Tiny");
    // A member whose capability is false is not implemented, whatever the
    // driver would do.
    EXPECT_EQ(NumberOf([&] { d.Call("Park"); }), err::kNotImplemented);
}
