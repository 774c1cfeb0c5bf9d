// The error type, the program's own errors and the standard message boxes.
#include <gtest/gtest.h>

#include <cstdio>
#include <stdexcept>

#include "celaris/dispatch/errors.h"
#include "celaris/dispatch/headless_ui.h"
#include "scripted_ui.h"

using namespace celaris::dispatch;
using celaris::test::ScriptedUi;

namespace {
const QString kHub = QStringLiteral("ASCOM Telescope Hub for Celaris");
}

TEST(Errors, ProgramErrorsCarryTheirNumbersSourcesAndTexts) {
    struct Case {
        ComError error;
        uint32_t number;
        QString source;
        QString description;
    };
    const Case cases[] = {
        {ErrHubNotImplemented(QStringLiteral("Set SideOfPier")), 0x80040400u, kHub,
         QStringLiteral("Set SideOfPier is not implemented by this telescope driver object.")},
        {ErrHubNotConnected(), 0x80040402u, kHub, QStringLiteral("Telescope not connected.")},
        {ErrHubNoDriver(), 0x80040403u, kHub,
         QStringLiteral("Telescope driver not selected in Celaris.")},
        {ErrRegistryKey(QStringLiteral("Caller"), QStringLiteral("Telescope Drivers")), 0x80040406u,
         QStringLiteral("Caller"), QStringLiteral("Failed to open sub-key Telescope Drivers.")},
        {ErrRegistryRoot(QStringLiteral("Caller"), 5), 0x80040406u, QStringLiteral("Caller"),
         QStringLiteral("Failed to open/create root registry key (5)")},
        {ErrRegistryNonString(QStringLiteral("Caller"), QStringLiteral("K"), QStringLiteral("V")),
         0x80040406u, QStringLiteral("Caller"), QStringLiteral("Non-string found in K V")},
        {ErrIndexBounds(), 0x80040500u, QStringLiteral("Scripting Interface for Celaris"),
         QStringLiteral("Index is out of Bounds")},
        {ErrSlewLimits(), 1031u, kHub, QStringLiteral("User specified slew limits exceeded.")},
        {ErrNoCorrection(), 1032u, kHub, QStringLiteral("Cannot calculate corrected position.")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.description.toStdString());
        EXPECT_EQ(uint32_t(c.error.number()), c.number);
        EXPECT_EQ(c.error.source(), c.source);
        EXPECT_EQ(c.error.description(), c.description);
        EXPECT_TRUE(c.error.helpFile().isEmpty());
        EXPECT_EQ(c.error.helpContext(), 0);
        EXPECT_STREQ(c.error.what(), c.description.toUtf8().constData());
    }
    // The plain numbers reach COM clients with the control facility.
    EXPECT_EQ(uint32_t(ToHResult(kErrSlewLimits)), 0x800A0407u);
    EXPECT_EQ(uint32_t(ToHResult(kErrNoCorrection)), 0x800A0408u);
    EXPECT_EQ(ToAutomationNumber(ToHResult(kErrSlewLimits)), 1031);
    EXPECT_EQ(ToHResult(kErrHubNotConnected), kErrHubNotConnected);
    EXPECT_EQ(ToAutomationNumber(kErrHubNotConnected), kErrHubNotConnected);
}

TEST(Errors, PassThroughKeepsComErrorsWholeAndConvertsEverythingElse) {
    auto raised = [](auto fn) {
        try {
            PassThrough(kHub, fn);
        } catch (const ComError& e) {
            return e;
        }
        return ComError(S_OK, {}, {});
    };
    // A driver's error with its own help file and context reaches the client.
    const ComError driver(static_cast<HRESULT>(0x80040405),
                          QStringLiteral("ASCOM.Vendor.Telescope"), QStringLiteral("Park failed"),
                          QStringLiteral("vendor.chm"), 42);
    EXPECT_EQ(raised([&] { throw driver; }), driver);
    EXPECT_EQ(raised([] { throw std::runtime_error("engine failed"); }),
              ComError(E_FAIL, kHub, QStringLiteral("engine failed")));
    EXPECT_EQ(raised([] { throw 5; }).number(), E_FAIL);
    EXPECT_EQ(CurrentError(kHub).number(), E_UNEXPECTED);  // outside any handler
    // Results pass through, references included.
    int value = 1;
    PassThrough(kHub, [&]() -> int& { return value; }) = 3;
    EXPECT_EQ(value, 3);
}

TEST(Ui, ShowErrorShowsTheSignedNumberAndClearsTheConnectionAfterNotConnected) {
    ScriptedUi ui;
    int cleared = 0;
    ui.SetNotConnectedHandler([&](const ComError&) { ++cleared; });

    ui.ShowError(ErrHubNotConnected());
    ASSERT_EQ(ui.shown().size(), 1);
    const Message& box = ui.shown().front();
    EXPECT_EQ(box.text, QStringLiteral("Error Number: -2147220478\r\n"
                                       "Source: ASCOM Telescope Hub for Celaris\r\n"
                                       "Telescope not connected."));
    EXPECT_EQ(box.title, QStringLiteral("Celaris"));
    EXPECT_EQ(box.icon, MessageIcon::Critical);
    EXPECT_EQ(box.buttons, MessageButtons::Ok);
    EXPECT_EQ(cleared, 1);

    // Any other number leaves the connection alone; plain numbers show as
    // they are.
    ui.ShowError(ErrSlewLimits());
    EXPECT_EQ(cleared, 1);
    EXPECT_TRUE(ui.shown().back().text.startsWith(QStringLiteral("Error Number: 1031\r\n")));

    // The failure being handled, whatever its type.
    try {
        throw std::runtime_error("boom");
    } catch (...) {
        ui.ShowCurrentError();
    }
    EXPECT_EQ(ui.shown().back().text,
              QStringLiteral("Error Number: -2147467259\r\nSource: Celaris\r\nboom"));

    // The boxes for drivers that lack or fail a capability.
    ui.ReportUnsupported(QStringLiteral("Slewing"));
    EXPECT_EQ(ui.shown().back().text,
              QStringLiteral("The telescope driver reports that Slewing is not supported."));
    ui.ReportFailing(QStringLiteral("Slewing"));
    EXPECT_EQ(ui.shown().back().text,
              QStringLiteral("The telescope driver reports that Slewing is supported.\r\n"
                             "However, it reports an error when Slewing is called."));
    EXPECT_EQ(ui.shown().back().icon, MessageIcon::Critical);
}

TEST(Ui, ConfirmDiscardIsTrueOnlyForCancel) {
    ScriptedUi ui;
    ui.QueueAnswer(MessageAnswer::Ok);
    ui.QueueAnswer(MessageAnswer::Cancel);
    EXPECT_FALSE(ui.ConfirmDiscard());
    EXPECT_TRUE(ui.ConfirmDiscard());
    // Nothing queued: the safe answer keeps the observations.
    EXPECT_TRUE(ui.ConfirmDiscard());

    const Message& box = ui.shown().front();
    EXPECT_EQ(box.title, QStringLiteral("A Note of Caution"));
    EXPECT_EQ(box.icon, MessageIcon::Warning);
    EXPECT_EQ(box.buttons, MessageButtons::OkCancel);
    EXPECT_EQ(box.text,
              QStringLiteral(
                  "Your current Calibration has not been saved.\r\n"
                  "If you wish to continue and delete the current observations, press OK.\r\n"
                  "If you wish to cancel the current operation and save your work, press Cancel."));
}

TEST(Ui, HeadlessAnswersSafelyAndLogsEveryBox) {
    std::FILE* log = std::tmpfile();
    ASSERT_NE(log, nullptr);
    HeadlessUi ui(log);
    EXPECT_TRUE(ui.ConfirmDiscard());
    EXPECT_EQ(ui.ShowMessage({QStringLiteral("Exiting will disconnect the telescope"),
                              QStringLiteral("Warning"), MessageIcon::Question,
                              MessageButtons::YesNo, std::nullopt}),
              MessageAnswer::No);
    // A box may name its own safe answer.
    EXPECT_EQ(ui.ShowMessage({QStringLiteral("Retry?"), QString(), MessageIcon::None,
                              MessageButtons::RetryCancel, MessageAnswer::Retry}),
              MessageAnswer::Retry);
    EXPECT_TRUE(ui.ChooseDriver(QStringLiteral("Celaris.Simulator"), {}).isEmpty());

    std::rewind(log);
    char buffer[4096] = {};
    const size_t n = std::fread(buffer, 1, sizeof buffer - 1, log);
    std::fclose(log);
    const QString text = QString::fromUtf8(buffer, qsizetype(n));
    EXPECT_TRUE(text.contains(QStringLiteral("[A Note of Caution] Your current Calibration")));
    EXPECT_TRUE(
        text.contains(QStringLiteral("[Warning] Exiting will disconnect the telescope -> No")));
}

TEST(Ui, ScriptedDialogsAndChooserReturnWhatTheTestQueued) {
    ScriptedUi ui;
    ui.QueueFileName(QStringLiteral("/tmp/a.clb"));
    ui.QueueDriverChoice(QStringLiteral("indi:Telescope Simulator"));
    const FileRequest open{QStringLiteral("Open"), QStringLiteral("/tmp"), QString(),
                           QStringLiteral("Calibration files (*.clb)")};
    EXPECT_EQ(ui.GetOpenFileName(open), QStringLiteral("/tmp/a.clb"));
    EXPECT_TRUE(ui.GetSaveFileName(open).isEmpty());  // queue used up: cancelled
    EXPECT_EQ(ui.fileRequests(), (QList<FileRequest>{open, open}));
    const QList<DriverChoice> choices{{QStringLiteral("Celaris.Simulator"), QStringLiteral("Sim")}};
    EXPECT_EQ(ui.ChooseDriver(QString(), choices), QStringLiteral("indi:Telescope Simulator"));
    EXPECT_TRUE(ui.ChooseDriver(QString(), choices).isEmpty());
    EXPECT_EQ(ui.chooserChoices(), choices);
}
