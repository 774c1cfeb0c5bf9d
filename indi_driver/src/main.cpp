// indi_celaris_telescope: started by indiserver, which talks INDI with it
// over its standard input and output. libindidriver supplies main() and
// the event loop and dispatches to every device object alive.
#include <memory>

#include "celaris_telescope.h"

static std::unique_ptr<celaris::indi_driver::CelarisTelescope> g_telescope(
    new celaris::indi_driver::CelarisTelescope());
