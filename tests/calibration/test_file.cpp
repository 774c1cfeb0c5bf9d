// The calibration file: byte layout, round trips to 15 digits, names with
// commas, and malformed files reported with their line and field.
#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include "celaris/calibration/calibration_file.h"
#include "celaris/dispatch/com_error.h"

using namespace celaris;
using namespace celaris::calibration;

namespace {

Observation Make(QString name, double ra, double dec, bool west, bool use) {
    Observation o;
    o.Name = std::move(name);
    o.RAScope = ra + 1e-4;
    o.DecScope = dec - 2.5e-5;
    o.RATrue = ra;
    o.DecTrue = dec;
    o.WestOfPier = WestOfPierValue(west);
    o.LST = 4.71238898038469;
    o.Use = use;
    o.RAResidual = 1e-5;  // never written
    return o;
}

QString ErrorText(const QByteArray& bytes) {
    try {
        ParseCalibrationFile(bytes);
    } catch (const dispatch::ComError& e) {
        return e.description();
    }
    return QStringLiteral("no error");
}

TEST(CalibrationFile, WritesTheLayoutByteForByte) {
    const QList<Observation> list = {Make(QStringLiteral("Vega"), 4.87356, 0.67690, true, true),
                                     Make(QStringLiteral("x"), 0.5, -1.5e-5, false, false)};
    EXPECT_EQ(
        FormatCalibrationFile(list),
        QByteArray("2\r\n"
                   "4.87366,0.676875,4.87356,0.6769,#TRUE#,4.71238898038469,\"Vega\",#TRUE#\r\n"
                   "0.5001,-4E-05,0.5,-1.5E-05,#FALSE#,4.71238898038469,\"x\",#FALSE#\r\n"));
    EXPECT_EQ(FormatFileNumber(0.0), "0");
    EXPECT_EQ(FormatFileNumber(-0.0), "0");
    EXPECT_EQ(FormatFileNumber(1.0 / 3.0), "0.333333333333333");
    EXPECT_EQ(FormatFileNumber(123456789012345678.0), "1.23456789012346E+17");
}

TEST(CalibrationFile, RoundTripsEveryFieldTo15Digits) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("a.clb"));
    QList<Observation> list;
    for (int i = 0; i < 50; ++i)
        list.append(Make(QStringLiteral("Star, number %1 (α)").arg(i), 0.1234567890123456 * i,
                         -1.2 + 0.0456789012345678 * i, i % 2, i % 3 != 0));
    WriteCalibrationFile(path, list);
    const auto back = ReadCalibrationFile(path);
    ASSERT_EQ(back.size(), list.size());
    for (int i = 0; i < list.size(); ++i) {
        const auto &a = list[i], &b = back[i];
        EXPECT_EQ(b.Name, a.Name);
        EXPECT_EQ(b.Use, a.Use);
        EXPECT_EQ(b.WestOfPier, a.WestOfPier);
        EXPECT_EQ(b.RAResidual, 0.0);
        for (auto [x, y] : {std::pair{a.RATrue, b.RATrue},
                            {a.DecTrue, b.DecTrue},
                            {a.RAScope, b.RAScope},
                            {a.DecScope, b.DecScope},
                            {a.LST, b.LST}})
            EXPECT_NEAR(y, x, std::abs(x) * 1e-14 + 1e-300);
    }
    // An empty calibration saves and opens again as an empty one.
    WriteCalibrationFile(path, {});
    EXPECT_TRUE(ReadCalibrationFile(path).isEmpty());
}

TEST(CalibrationFile, ReadsFilesWrittenElsewhere) {
    // No leading zero, a plus sign, LF line ends, any letter case, Latin-1.
    const auto list =
        ParseCalibrationFile("1\n.5,-.25,+1.5E-05, 2 ,#true#,6.2,\"Ac\xe9rnar\",#False#\n");
    ASSERT_EQ(list.size(), 1);
    EXPECT_EQ(list[0].RAScope, 0.5);
    EXPECT_EQ(list[0].DecScope, -0.25);
    EXPECT_EQ(list[0].RATrue, 1.5e-5);
    EXPECT_EQ(list[0].DecTrue, 2.0);
    EXPECT_EQ(list[0].WestOfPier, -1.0);
    EXPECT_EQ(list[0].Name, QString::fromUtf8("Acérnar"));
    EXPECT_FALSE(list[0].Use);
}

TEST(CalibrationFile, NamesTheLineAndFieldOfAFault) {
    const QByteArray good = "1,2,3,4,#TRUE#,5,\"a\",#TRUE#\r\n";
    EXPECT_EQ(ErrorText("2\r\n" + good + "1,2,x3,4,#TRUE#,5,\"a\",#TRUE#\r\n"),
              "Line 3, field 3 (RATrue): expected a number, found \"x3\"");
    EXPECT_EQ(ErrorText("1\r\n1,2,3,4,yes,5,\"a\",#TRUE#\r\n"),
              "Line 2, field 5 (WestOfPier): expected #TRUE# or #FALSE#, found \"yes\"");
    EXPECT_EQ(ErrorText("1\r\n1,2,3,4,#TRUE#\r\n"), "Line 2, field 6 (LST): missing");
    EXPECT_EQ(ErrorText("1\r\n1,2,3,4,#TRUE#,5,a,#TRUE#\r\n"),
              "Line 2, field 7 (Name): expected a name between double quotes");
    EXPECT_EQ(ErrorText("1\r\n1,2,3,4,#TRUE#,5,\"a\"\r\n"), "Line 2, field 8 (Use): missing");
    EXPECT_EQ(ErrorText("3\r\n" + good), "Line 3: the file ends after 1 of 3 observations.");
    EXPECT_TRUE(ErrorText("-1\r\n").startsWith(QStringLiteral("Line 1: expected the number")));
    EXPECT_TRUE(ErrorText("").startsWith(QStringLiteral("Line 1")));
    EXPECT_EQ(ErrorText("1\r\n1,2,3,4,#TRUE#,inf,\"a\",#TRUE#\r\n"),
              "Line 2, field 6 (LST): expected a number, found \"inf\"");
}

TEST(CalibrationFile, AFailedSaveLeavesTheOldFile) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("keep.clb"));
    WriteCalibrationFile(path, {Make(QStringLiteral("old"), 1, 0.5, false, true)});
    const QByteArray before = [&] {
        QFile f(path);
        f.open(QIODevice::ReadOnly);
        return f.readAll();
    }();
    // A folder where the file should be: the save fails and says so.
    EXPECT_THROW(WriteCalibrationFile(dir.path(), {}), dispatch::ComError);
    EXPECT_THROW(ReadCalibrationFile(dir.filePath(QStringLiteral("missing.clb"))),
                 dispatch::ComError);
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), before);
}

}  // namespace
