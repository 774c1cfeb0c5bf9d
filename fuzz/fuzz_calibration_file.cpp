// The calibration file reader on arbitrary bytes: it either raises its
// error or gives observations that write and read back the same.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "celaris/calibration/calibration_file.h"
#include "celaris/dispatch/com_error.h"

using namespace celaris;
using namespace celaris::calibration;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    QList<Observation> first;
    try {
        first = ParseCalibrationFile(bytes);
    } catch (const dispatch::ComError&) {
        return 0;
    }
    const QList<Observation> again = ParseCalibrationFile(FormatCalibrationFile(first));
    if (again.size() != first.size()) std::abort();
    for (qsizetype i = 0; i < first.size(); ++i)
        if (again[i].Use != first[i].Use || again[i].WestOfPier != first[i].WestOfPier)
            std::abort();
    return 0;
}
