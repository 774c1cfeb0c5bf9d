// A second process for the settings store tests.
//   profile_helper copy FROM TO   reads every setting from the store file FROM
//                                 and writes them all to the store file TO
//   profile_helper write-loop PATH  rewrites the store file PATH with a new
//                                 value over and over until killed
#include <cstdio>
#include <cstring>

#include "celaris/profile/settings.h"

using namespace celaris::profile;

int main(int argc, char** argv) {
    if (argc == 4 && std::strcmp(argv[1], "copy") == 0) {
        Profile from(QString::fromLocal8Bit(argv[2]));
        Profile to(QString::fromLocal8Bit(argv[3]));
        WriteAllSettings(to, ReadAllSettings(from));
        return 0;
    }
    if (argc == 3 && std::strcmp(argv[1], "write-loop") == 0) {
        Profile p(QString::fromLocal8Bit(argv[2]));
        // A large value makes each write take long enough to be cut short.
        const QString filler(200000, QLatin1Char('x'));
        p.WriteValue(QString::fromLatin1(kHubDriverId), QStringLiteral("Filler"), filler);
        std::printf("ready\n");
        std::fflush(stdout);
        for (long i = 1;; ++i) {
            p.Batch([&] {
                p.WriteValue(QString::fromLatin1(kHubDriverId), QStringLiteral("Counter"),
                             QString::number(i));
                p.WriteValue(QString::fromLatin1(kHubDriverId), QStringLiteral("Check"),
                             QString::number(i * 7));
            });
        }
    }
    std::fprintf(stderr, "usage: profile_helper copy FROM TO | write-loop PATH\n");
    return 2;
}
