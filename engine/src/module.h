// The in-process server module: object and lock counts, the class factory,
// registration.
#pragma once

#include "celaris/com/types.h"

namespace trimcore {

void ModuleObjectCreated();
void ModuleObjectDestroyed();

}  // namespace trimcore
