// The settings store file: values, persistence across processes, corrupt
// files, and writes cut short at every point.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <chrono>
#include <random>
#include <thread>

#include "celaris/dispatch/errors.h"
#include "celaris/profile/profile.h"

using namespace celaris::profile;
using celaris::dispatch::ComError;

namespace {

const QString kId = QStringLiteral("Celaris.Telescope");

struct StopHere {};  // thrown from a write hook, like a crash at that step

QStringList FilesIn(const QString& dir) {
    return QDir(dir).entryList(QDir::Files | QDir::Hidden);
}

QByteArray ReadBytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

}  // namespace

TEST(Profile, ValuesAreStoredBySubKeyAndReadBackUnchanged) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("profile.json"));
    {
        Profile p(path);
        EXPECT_TRUE(p.loadWarning().isEmpty());
        EXPECT_EQ(p.GetValue(kId, QStringLiteral("Scope")), QString());  // never written
        EXPECT_FALSE(p.IsRegistered(kId));
        p.SetDeviceType(QStringLiteral("Telescope"));
        p.Register(kId, QStringLiteral("Celaris"));
        p.Register(kId, QStringLiteral("Celaris"));  // harmless
        p.WriteValue(kId, QStringLiteral("Scope"), QStringLiteral("Celaris.Simulator"));
        p.WriteValue(kId, QStringLiteral("PosMainX"), QStringLiteral("120"),
                     QStringLiteral("FormPositions"));
        // Any text survives: line breaks, quotes, blanks at the ends, non-Latin.
        p.WriteValue(kId, QStringLiteral("Odd"), QStringLiteral(" a \"b\"\r\n\tc\\ ÿ ° "));
        p.CreateSubKey(kId, QStringLiteral("Horizon"));
        p.CreateSubKey(kId, QStringLiteral("Horizon"));
    }
    Profile p(path);
    EXPECT_TRUE(p.IsRegistered(kId));
    EXPECT_EQ(p.DriverDescription(kId), QStringLiteral("Celaris"));
    EXPECT_EQ(p.GetValue(kId, QStringLiteral("Scope")), QStringLiteral("Celaris.Simulator"));
    EXPECT_EQ(p.GetValue(kId, QStringLiteral("PosMainX"), QStringLiteral("FormPositions")),
              QStringLiteral("120"));
    EXPECT_EQ(p.GetValue(kId, QStringLiteral("PosMainX")), QString());  // not at the root
    EXPECT_EQ(p.GetValue(kId, QStringLiteral("Odd")), QStringLiteral(" a \"b\"\r\n\tc\\ ÿ ° "));
    // Names compare as registry names do.
    EXPECT_EQ(p.GetValue(QStringLiteral("celaris.telescope"), QStringLiteral("SCOPE")),
              QStringLiteral("Celaris.Simulator"));
    EXPECT_EQ(p.GetValue(kId, QStringLiteral("posmainx"), QStringLiteral("formpositions")),
              QStringLiteral("120"));
    // Another device type is another set of drivers.
    p.SetDeviceType(QStringLiteral("Camera"));
    EXPECT_FALSE(p.IsRegistered(kId));
    p.SetDeviceType(QStringLiteral("Telescope"));
    p.Unregister(kId);
    EXPECT_EQ(Profile(path).GetValue(kId, QStringLiteral("Scope")), QString());
}

TEST(Profile, ACorruptFileIsKeptAsideAndTheStoreStartsEmpty) {
    for (const QByteArray& bad :
         {QByteArray("{\"celarisProfile\": 1, \"deviceTypes\": {\"Telescope\": "),  // cut short
          QByteArray("\x00\x01garbage", 9),
          QByteArray(R"({"celarisProfile": 1, "deviceTypes": {"Telescope": {"Celaris.Telescope":)"
                     R"( {"values": {"Latitude": [12]}}}}})"),  // a list where text belongs
          QByteArray(R"({"celarisProfile": "one", "deviceTypes": {}})"), QByteArray("[]")}) {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("profile.json"));
        {
            QFile f(path);
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
            f.write(bad);
        }
        Profile p(path);
        EXPECT_FALSE(p.loadWarning().isEmpty());
        EXPECT_EQ(p.GetValue(kId, QStringLiteral("Latitude")), QString());
        // The broken file is kept, byte for byte, under another name.
        const QStringList files = FilesIn(dir.path());
        ASSERT_EQ(files.size(), 1);
        EXPECT_TRUE(files.front().startsWith(QStringLiteral("profile.json.corrupt-")));
        EXPECT_EQ(ReadBytes(dir.filePath(files.front())), bad);
        EXPECT_TRUE(p.loadWarning().contains(files.front()));
        // The store goes on working.
        p.WriteValue(kId, QStringLiteral("Latitude"), QStringLiteral("52"));
        EXPECT_EQ(Profile(path).GetValue(kId, QStringLiteral("Latitude")), QStringLiteral("52"));
    }
}

TEST(Profile, HandEditedNumbersAndBooleansAreReadAsTheirText) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("profile.json"));
    const QByteArray edited =
        R"({"deviceTypes": {"Telescope": {"Celaris.Telescope": {"values": {)"
        R"("Latitude": 52, "Longitude": -1.25, "Backlash": 6e1, "AntiBacklash": true,)"
        R"("J2000": false, "Scope": "Celaris.Simulator", "Pressure": null},)"
        R"("subKeys": {"FormPositions": {"PosMainX": 120}}}}}})";
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(edited);  // no format number either, as a hand-written file may be
    }
    Profile p(path);
    EXPECT_TRUE(p.loadWarning().isEmpty()) << p.loadWarning().toStdString();
    EXPECT_EQ(p.GetValue(kId, QStringLiteral("Latitude")), QStringLiteral("52"));
    EXPECT_EQ(p.GetValue(kId, QStringLiteral("Longitude")), QStringLiteral("-1.25"));
    EXPECT_EQ(p.GetValue(kId, QStringLiteral("Backlash")), QStringLiteral("60"));
    EXPECT_EQ(p.GetValue(kId, QStringLiteral("AntiBacklash")), QStringLiteral("True"));
    EXPECT_EQ(p.GetValue(kId, QStringLiteral("J2000")), QStringLiteral("False"));
    EXPECT_EQ(p.GetValue(kId, QStringLiteral("Scope")), QStringLiteral("Celaris.Simulator"));
    EXPECT_EQ(p.GetValue(kId, QStringLiteral("Pressure")), QString());
    EXPECT_EQ(p.GetValue(kId, QStringLiteral("PosMainX"), QStringLiteral("FormPositions")),
              QStringLiteral("120"));
    EXPECT_EQ(FilesIn(dir.path()), QStringList{QStringLiteral("profile.json")});

    // The next write stores text and the format number.
    p.WriteValue(kId, QStringLiteral("Temperature"), QStringLiteral("10"));
    const QJsonObject root = QJsonDocument::fromJson(ReadBytes(path)).object();
    EXPECT_EQ(root.value(QStringLiteral("celarisProfile")).toInt(), 1);
    EXPECT_EQ(Profile(path).GetValue(kId, QStringLiteral("Latitude")), QStringLiteral("52"));
}

TEST(Profile, ANewerVersionsFileIsReadAndNeverOverwritten) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("profile.json"));
    const QByteArray newer =
        R"({"celarisProfile": 2, "somethingNew": {"x": 1}, "deviceTypes": {"Telescope": {)"
        R"("Celaris.Telescope": {"values": {"Latitude": "48.5"}}}}})";
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(newer);
    }
    Profile p(path);
    EXPECT_TRUE(p.loadWarning().contains(QStringLiteral("newer version")))
        << p.loadWarning().toStdString();
    EXPECT_TRUE(p.loadWarning().contains(QStringLiteral("format 2")));
    EXPECT_EQ(p.GetValue(kId, QStringLiteral("Latitude")), QStringLiteral("48.5"));
    EXPECT_FALSE(p.Writable());
    EXPECT_THROW(p.WriteValue(kId, QStringLiteral("Latitude"), QStringLiteral("1")), ComError);
    // In memory for this run; the file as the newer version wrote it.
    EXPECT_EQ(p.GetValue(kId, QStringLiteral("Latitude")), QStringLiteral("1"));
    EXPECT_EQ(ReadBytes(path), newer);
    EXPECT_EQ(FilesIn(dir.path()), QStringList{QStringLiteral("profile.json")});
}

TEST(Profile, AWriteStoppedAtAnyStepLeavesTheOldOrTheNewFile) {
    for (WriteStep stop : {WriteStep::TempWritten, WriteStep::TempSynced, WriteStep::Renamed,
                           WriteStep::DirectorySynced}) {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("profile.json"));
        Profile p(path);
        p.WriteValue(kId, QStringLiteral("Value"), QStringLiteral("old"));
        p.SetWriteStepHook([stop](WriteStep step) {
            if (step == stop) throw StopHere{};
        });
        EXPECT_THROW(p.WriteValue(kId, QStringLiteral("Value"), QStringLiteral("new")), StopHere);

        Profile after(path);
        EXPECT_TRUE(after.loadWarning().isEmpty());
        const QString expected = (stop == WriteStep::TempWritten || stop == WriteStep::TempSynced)
                                     ? QStringLiteral("old")
                                     : QStringLiteral("new");
        EXPECT_EQ(after.GetValue(kId, QStringLiteral("Value")), expected);
    }
}

TEST(Profile, AWriterKilledAtRandomMomentsNeverLeavesABrokenFile) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("profile.json"));
    const QByteArray pathBytes = QFile::encodeName(path);
    std::mt19937 rng(11);
    std::uniform_int_distribution<int> delayUs(0, 30000);
    long lastCounter = 0;
    int cutMidWrite = 0;  // kills that left a temporary file behind
    for (int round = 0; round < 40 && cutMidWrite < 4; ++round) {
        int ready[2];
        ASSERT_EQ(::pipe(ready), 0);
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            ::dup2(ready[1], STDOUT_FILENO);
            ::execl(PROFILE_HELPER, PROFILE_HELPER, "write-loop", pathBytes.constData(),
                    static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::close(ready[1]);
        char c = 0;
        ASSERT_EQ(::read(ready[0], &c, 1), 1);  // the first write is done
        ::close(ready[0]);
        std::this_thread::sleep_for(std::chrono::microseconds(delayUs(rng)));
        ::kill(child, SIGKILL);
        int status = 0;
        ::waitpid(child, &status, 0);
        ASSERT_TRUE(WIFSIGNALED(status));
        cutMidWrite += FilesIn(dir.path()).size() > 1;

        // The file parses, and the two values written together agree.
        Profile p(path);
        ASSERT_TRUE(p.loadWarning().isEmpty()) << p.loadWarning().toStdString();
        const long counter = p.GetValue(kId, QStringLiteral("Counter")).toLong();
        const long check = p.GetValue(kId, QStringLiteral("Check")).toLong();
        EXPECT_EQ(check, counter * 7);
        EXPECT_EQ(p.GetValue(kId, QStringLiteral("Filler")).size(), 200000);
        lastCounter = std::max(lastCounter, counter);
        // Temporary files of the dead writer are gone after loading.
        EXPECT_EQ(FilesIn(dir.path()), QStringList{QStringLiteral("profile.json")});
    }
    EXPECT_GT(lastCounter, 0);  // the writer did get through some writes
    EXPECT_GT(cutMidWrite, 0);  // and some kills did land in the middle of one
}

TEST(Profile, AFailedWriteRaisesAndKeepsTheValueInMemory) {
    QTemporaryDir dir;
    // The folder of the file is a plain file, so nothing can be written.
    QFile blocker(dir.filePath(QStringLiteral("blocker")));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    Profile p(dir.filePath(QStringLiteral("blocker/profile.json")));
    try {
        p.WriteValue(kId, QStringLiteral("Scope"), QStringLiteral("Celaris.Simulator"));
        FAIL() << "no error";
    } catch (const ComError& e) {
        EXPECT_EQ(uint32_t(e.number()), 0x80040406u);
        EXPECT_EQ(e.source(), QStringLiteral("Celaris Settings Store"));
        EXPECT_TRUE(e.description().contains(QStringLiteral("blocker")));
    }
    EXPECT_EQ(p.GetValue(kId, QStringLiteral("Scope")), QStringLiteral("Celaris.Simulator"));
    // Known before any write is tried, and nothing left behind by asking.
    QString why;
    EXPECT_FALSE(p.Writable(&why));
    EXPECT_TRUE(why.contains(QStringLiteral("blocker"))) << why.toStdString();
    Profile fresh(dir.filePath(QStringLiteral("ok/profile.json")));
    EXPECT_TRUE(fresh.Writable());
    EXPECT_TRUE(FilesIn(dir.filePath(QStringLiteral("ok"))).isEmpty());
}

TEST(Profile, ABatchIsWrittenOnceAndWhole) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("profile.json"));
    Profile p(path);
    int renames = 0;
    p.SetWriteStepHook([&](WriteStep s) { renames += s == WriteStep::Renamed; });
    p.Batch([&] {
        for (int i = 0; i < 50; ++i)
            p.WriteValue(kId, QStringLiteral("V%1").arg(i), QString::number(i));
        EXPECT_EQ(renames, 0);
    });
    EXPECT_EQ(renames, 1);
    p.WriteValue(kId, QStringLiteral("V3"), QStringLiteral("3"));  // unchanged: no write
    EXPECT_EQ(renames, 1);
    // A batch that fails part-way still writes what it changed.
    EXPECT_THROW(p.Batch([&] {
        p.WriteValue(kId, QStringLiteral("V3"), QStringLiteral("three"));
        throw std::runtime_error("window failed");
    }),
                 std::runtime_error);
    EXPECT_EQ(Profile(path).GetValue(kId, QStringLiteral("V3")), QStringLiteral("three"));
}

TEST(Profile, DefaultPathFollowsTheEnvironment) {
    qputenv("CELARIS_CONFIG_DIR", "/some/where");
    EXPECT_EQ(DefaultProfilePath(), QStringLiteral("/some/where/profile.json"));
    qunsetenv("CELARIS_CONFIG_DIR");
    qputenv("XDG_CONFIG_HOME", "/xdg/config");
    EXPECT_EQ(DefaultProfilePath(), QStringLiteral("/xdg/config/celaris/profile.json"));
}
