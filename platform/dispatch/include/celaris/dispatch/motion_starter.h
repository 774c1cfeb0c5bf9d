// What Celaris's own drivers offer beyond the ASCOM members: Park and
// FindHome started without waiting for their end, so that the hub can wait
// for it off its own thread. The end shows in Slewing, AtPark and AtHome, as
// after an asynchronous slew; AbortSlew stops them. The hub finds this by
// dynamic_cast on the driver it made; any other driver's Park waits.
#pragma once

namespace celaris {

class MotionStarter {
  public:
    virtual ~MotionStarter() = default;
    // The same guards and errors as Park and FindHome.
    virtual void StartPark() = 0;
    virtual void StartFindHome() = 0;
};

}  // namespace celaris
