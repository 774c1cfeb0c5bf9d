#include "axis_motion.h"

#include <algorithm>
#include <cmath>

namespace celaris::sim {

namespace {

Axes Normalised(Axes a) {
    a.primary = WrapPi(a.primary);
    a.secondary = WrapTwoPi(a.secondary + kHalfPi) - kHalfPi;
    return a;
}

// How far an axis with `remaining` to go gets when it may cover `reach`.
double Step(double remaining, double reach) {
    return std::copysign(std::min(std::fabs(remaining), reach), remaining);
}

}  // namespace

Axes AxesOf(HaDec mechanical, bool flipped) {
    if (flipped) return Normalised({mechanical.ha + kPi, kPi - mechanical.dec});
    return Normalised({mechanical.ha, mechanical.dec});
}

bool IsFlipped(Axes a) {
    return Normalised(a).secondary > kHalfPi;
}

HaDec PositionOf(Axes a, bool flippedAtPole) {
    a = Normalised(a);
    // Rounding noise must not decide the side at the pole.
    const bool atPole = std::fabs(a.secondary - kHalfPi) < 1e-12;
    if (atPole ? flippedAtPole : a.secondary > kHalfPi)
        return {WrapPi(a.primary - kPi), kPi - a.secondary};
    return {a.primary, a.secondary};
}

AxisMotion::AxisMotion(Axes start, double t) : anchor_(Normalised(start)), anchorTime_(t) {}

Axes AxisMotion::At(double t) const {
    const double dt = std::max(0.0, t - anchorTime_);
    Axes a = anchor_;
    a.primary += tracking_ * dt;
    double free = dt;
    if (slew_) {
        a.primary += Step(slew_->remaining[kPrimary], slew_->rate * dt);
        a.secondary += Step(slew_->remaining[kSecondary], slew_->rate * dt);
        free = std::max(0.0, t - std::max(anchorTime_, slew_->moveEnd));
    }
    a.primary += drift_[kPrimary] * free;
    a.secondary += drift_[kSecondary] * free;
    for (int axis : {kPrimary, kSecondary}) {
        const Pulse& p = pulse_[axis];
        const double guided = std::max(0.0, std::min(t, p.end) - anchorTime_);
        (axis == kPrimary ? a.primary : a.secondary) += p.rate * guided;
    }
    return Normalised(a);
}

void AxisMotion::Rebase(double t) {
    if (t <= anchorTime_) return;
    const Axes now = At(t);
    if (slew_) {
        const double reach = slew_->rate * (t - anchorTime_);
        for (double& r : slew_->remaining) r -= Step(r, reach);
        if (t >= slew_->end) slew_.reset();
    }
    anchor_ = now;
    anchorTime_ = t;
}

void AxisMotion::SetRates(double t, double tracking, double driftPrimary, double driftSecondary) {
    Rebase(t);
    tracking_ = tracking;
    drift_[kPrimary] = driftPrimary;
    drift_[kSecondary] = driftSecondary;
}

void AxisMotion::StartPulse(double t, Axis axis, double rate, double end) {
    Rebase(t);
    pulse_[axis] = {rate, end};
}

bool AxisMotion::PulseActive(double t) const {
    return t < pulse_[kPrimary].end || t < pulse_[kSecondary].end;
}

void AxisMotion::StopPulses(double t) {
    Rebase(t);
    for (Pulse& p : pulse_) p = {};
}

void AxisMotion::StartSlew(double t, Axes target, double rate, double settle) {
    Rebase(t);
    target = Normalised(target);
    Slew s;
    s.remaining[kPrimary] = WrapPi(target.primary - anchor_.primary);
    s.remaining[kSecondary] = WrapPi(target.secondary - anchor_.secondary);
    s.rate = rate;
    const double longest = std::max(std::fabs(s.remaining[0]), std::fabs(s.remaining[1]));
    s.moveEnd = t + longest / rate;
    s.end = s.moveEnd + std::max(0.0, settle);
    slew_ = s;
}

void AxisMotion::StopSlew(double t) {
    Rebase(t);
    slew_.reset();
}

bool AxisMotion::SlewActive(double t) const {
    return slew_ && t < slew_->end;
}

double AxisMotion::SlewEnd() const {
    return slew_ ? slew_->end : anchorTime_;
}

}  // namespace celaris::sim
