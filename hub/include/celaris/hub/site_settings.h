// The settings the hub reads (site, mount, limits, slews): the program's
// settings record.
#pragma once

#include "celaris/profile/settings.h"

namespace celaris::hub {
using Settings = profile::Settings;
}  // namespace celaris::hub
