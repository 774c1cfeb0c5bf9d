// The INDI client's XML reader on arbitrary server streams, fed in two
// pieces split where the first byte says, as a socket may cut them.
#include <QByteArray>
#include <QList>
#include <QString>

#include <cstddef>
#include <cstdint>

#include "celaris/drivers/indi/indi_client.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const QByteArray bytes(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1));
    const qsizetype cut = bytes.isEmpty() ? 0 : data[0] % (bytes.size() + 1);
    celaris::indi::IndiClient client(QStringLiteral("localhost"), 0);
    QString error;
    (void)client.ReadForTesting({bytes.left(cut), bytes.mid(cut)}, &error);
    (void)client.Devices();
    return 0;
}
