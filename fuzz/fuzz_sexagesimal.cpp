// ParseSexagesimal on arbitrary text: no crash, and a value it accepts is
// finite.
#include <QString>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "celaris/ascom/sexagesimal.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    const auto value = celaris::ascom::ParseSexagesimal(text);
    if (value && !std::isfinite(*value)) std::abort();
    return 0;
}
