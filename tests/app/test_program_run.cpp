// The program as a user starts it: a command line it cannot follow is
// refused before anything is touched, and a settings folder it cannot write
// lets it run, says so once, and never claims at exit that the settings were
// saved.
#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>

#include <csignal>

namespace {

struct Outcome {
    int exitCode = -1;
    QString err;
};

Outcome Celaris(const QStringList& args, const QString& configDir) {
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("CELARIS_CONFIG_DIR"), configDir);
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(CELARIS_PROGRAM), args);
    EXPECT_TRUE(p.waitForFinished(20000)) << "the program did not end";
    return {p.exitCode(), QString::fromLocal8Bit(p.readAllStandardError())};
}

}  // namespace

TEST(ProgramRun, ACommandLineItCannotFollowIsRefusedWithTheUsage) {
    QTemporaryDir dir;
    const QString profile = dir.filePath(QStringLiteral("profile.json"));

    // An id no driver knows: refused with the ids that would do; nothing is
    // written.
    for (const QString& id : {QStringLiteral("Celaris.Simulatr"), QStringLiteral("indi:"),
                              QStringLiteral("alpaca:nowhere")}) {
        const Outcome r = Celaris({QStringLiteral("--driver"), id}, dir.path());
        EXPECT_EQ(r.exitCode, 2) << id.toStdString() << ": " << r.err.toStdString();
        EXPECT_TRUE(r.err.contains(QStringLiteral("Known drivers:"))) << r.err.toStdString();
        EXPECT_TRUE(r.err.contains(QStringLiteral("Celaris.Simulator"))) << r.err.toStdString();
        EXPECT_TRUE(r.err.contains(QStringLiteral("indi:HOST:PORT/DEVICE")));
        EXPECT_TRUE(r.err.contains(QStringLiteral("usage: celaris")));
        EXPECT_FALSE(QFile::exists(profile));
    }

    // Extra words and unknown options.
    for (const QStringList& args : {QStringList{QStringLiteral("Celaris.Simulator")},
                                    QStringList{QStringLiteral("--headless"), QStringLiteral("x")},
                                    QStringList{QStringLiteral("--no-such-option")},
                                    QStringList{QStringLiteral("--driver")}}) {
        const Outcome r = Celaris(args, dir.path());
        EXPECT_EQ(r.exitCode, 2) << args.join(' ').toStdString() << ": " << r.err.toStdString();
        EXPECT_TRUE(r.err.contains(QStringLiteral("usage: celaris"))) << r.err.toStdString();
        EXPECT_FALSE(QFile::exists(profile));
    }
}

TEST(ProgramRun, ASettingsFolderThatCannotBeWrittenIsReportedOnceAndNeverSaved) {
    QTemporaryDir dir;
    // The settings folder would lie below a plain file: it cannot be made,
    // whoever runs the test.
    QFile blocker(dir.filePath(QStringLiteral("blocker")));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();

    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("CELARIS_CONFIG_DIR"), dir.filePath(QStringLiteral("blocker/cfg")));
    p.setProcessEnvironment(env);
    p.setReadChannel(QProcess::StandardError);
    p.start(QStringLiteral(CELARIS_PROGRAM),
            {QStringLiteral("--headless"), QStringLiteral("--driver"),
             QStringLiteral("Celaris.Simulator"), QStringLiteral("--listen"),
             QStringLiteral("127.0.0.1:0")});
    ASSERT_TRUE(p.waitForStarted(5000));
    QString err;
    // Up, and the driver asked for is the one in use for this run.
    while (!err.contains(QStringLiteral("Link: ")) && p.waitForReadyRead(20000))
        err += QString::fromLocal8Bit(p.readAllStandardError());
    ASSERT_TRUE(err.contains(QStringLiteral("hub running headless"))) << err.toStdString();
    EXPECT_TRUE(err.contains(QStringLiteral("Simulator"))) << err.toStdString();

    ::kill(static_cast<pid_t>(p.processId()), SIGTERM);
    ASSERT_TRUE(p.waitForFinished(20000));
    err += QString::fromLocal8Bit(p.readAllStandardError());
    EXPECT_EQ(p.exitCode(), 0) << err.toStdString();
    EXPECT_EQ(err.count(QStringLiteral("Settings will not be kept")), 1) << err.toStdString();
    EXPECT_FALSE(err.contains(QStringLiteral("settings saved"))) << err.toStdString();
    EXPECT_TRUE(err.contains(QStringLiteral("the settings were not saved"))) << err.toStdString();
}
