#include "celaris/calibration/calibration_file.h"

#include <unistd.h>

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringDecoder>
#include <charconv>
#include <cmath>
#include <system_error>

#include "celaris/dispatch/com_error.h"

namespace celaris::calibration {

namespace {

// The numbers the program raises for file faults, as the automation
// runtime numbers them.
constexpr HRESULT kErrTypeMismatch = 13;
constexpr HRESULT kErrFileNotFound = 53;
constexpr HRESULT kErrInputPastEnd = 62;
constexpr HRESULT kErrPathAccess = 75;

constexpr const char* kFieldNames[8] = {"RAScope",    "DecScope", "RATrue", "DecTrue",
                                        "WestOfPier", "LST",      "Name",   "Use"};

[[noreturn]] void Fail(HRESULT number, const QString& text) {
    throw dispatch::ComError(number, QString::fromLatin1(kCalibrationFileSource), text);
}

[[noreturn]] void FailField(int line, int field, const QString& what) {
    Fail(kErrTypeMismatch, QStringLiteral("Line %1, field %2 (%3): %4")
                               .arg(line)
                               .arg(field + 1)
                               .arg(QString::fromLatin1(kFieldNames[field]), what));
}

QByteArray Shown(QByteArrayView text) {
    return text.size() > 40 ? text.first(40).toByteArray() + "..." : text.toByteArray();
}

QByteArrayView Trimmed(QByteArrayView v) {
    while (!v.isEmpty() && (v.front() == ' ' || v.front() == '\t')) v = v.sliced(1);
    while (!v.isEmpty() && (v.back() == ' ' || v.back() == '\t')) v.chop(1);
    return v;
}

double ParseNumber(QByteArrayView text, int line, int field) {
    QByteArrayView t = Trimmed(text);
    if (!t.isEmpty() && t.front() == '+') t = t.sliced(1);
    double value = 0.0;
    const auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), value);
    if (t.isEmpty() || ec != std::errc() || end != t.data() + t.size() || !std::isfinite(value))
        FailField(line, field,
                  QStringLiteral("expected a number, found \"%1\"")
                      .arg(QString::fromUtf8(Shown(Trimmed(text)))));
    return value;
}

bool ParseBoolean(QByteArrayView text, int line, int field) {
    const QByteArrayView t = Trimmed(text);
    if (t.compare("#TRUE#", Qt::CaseInsensitive) == 0) return true;
    if (t.compare("#FALSE#", Qt::CaseInsensitive) == 0) return false;
    FailField(line, field,
              QStringLiteral("expected #TRUE# or #FALSE#, found \"%1\"")
                  .arg(QString::fromUtf8(Shown(t))));
}

// Names are written as UTF-8; a file from elsewhere may be in Latin-1.
QString DecodeName(QByteArrayView bytes) {
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString s = utf8.decode(bytes);
    if (!utf8.hasError()) return s;
    return QString::fromLatin1(bytes.data(), bytes.size());
}

Observation ParseRecord(QByteArrayView line, int lineNumber) {
    Observation o;
    double numbers[4];
    QByteArrayView rest = line;
    // The six fields before the quoted name.
    QByteArrayView fields[6];
    for (int f = 0; f < 6; ++f) {
        const qsizetype comma = rest.indexOf(',');
        if (comma < 0) FailField(lineNumber, f + 1, QStringLiteral("missing"));
        fields[f] = rest.first(comma);
        rest = rest.sliced(comma + 1);
    }
    for (int f = 0; f < 4; ++f) numbers[f] = ParseNumber(fields[f], lineNumber, f);
    o.RAScope = numbers[0];
    o.DecScope = numbers[1];
    o.RATrue = numbers[2];
    o.DecTrue = numbers[3];
    o.WestOfPier = WestOfPierValue(ParseBoolean(fields[4], lineNumber, 4));
    o.LST = ParseNumber(fields[5], lineNumber, 5);

    rest = Trimmed(rest);
    if (rest.isEmpty() || rest.front() != '"')
        FailField(lineNumber, 6, QStringLiteral("expected a name between double quotes"));
    const qsizetype close = rest.indexOf('"', 1);
    if (close < 0) FailField(lineNumber, 6, QStringLiteral("the closing double quote is missing"));
    o.Name = DecodeName(rest.sliced(1, close - 1));
    rest = Trimmed(rest.sliced(close + 1));
    if (rest.isEmpty() || rest.front() != ',') FailField(lineNumber, 7, QStringLiteral("missing"));
    o.Use = ParseBoolean(rest.sliced(1), lineNumber, 7);
    return o;
}

}  // namespace

QByteArray FormatFileNumber(double value) {
    if (value == 0.0 || !std::isfinite(value)) return QByteArrayLiteral("0");
    char buf[40];
    const auto r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::general, 15);
    QByteArray s(buf, r.ptr - buf);
    // The exponent as files from elsewhere write it: 1.5E-05.
    const qsizetype e = s.indexOf('e');
    if (e >= 0) s[e] = 'E';
    return s;
}

QByteArray FormatCalibrationFile(const QList<Observation>& list) {
    QByteArray out = QByteArray::number(list.size()) + "\r\n";
    const auto boolean = [](bool b) { return b ? QByteArrayLiteral("#TRUE#") : "#FALSE#"; };
    for (const auto& o : list) {
        // A double quote cannot be stored inside the quoted name.
        QByteArray name = o.Name.toUtf8();
        name.replace('"', '\'');
        name.replace('\r', ' ');
        name.replace('\n', ' ');
        out += FormatFileNumber(o.RAScope) + ',' + FormatFileNumber(o.DecScope) + ',' +
               FormatFileNumber(o.RATrue) + ',' + FormatFileNumber(o.DecTrue) + ',' +
               boolean(o.IsWestOfPier()) + ',' + FormatFileNumber(o.LST) + ",\"" + name + "\"," +
               boolean(o.Use) + "\r\n";
    }
    return out;
}

QList<Observation> ParseCalibrationFile(const QByteArray& bytes) {
    QList<QByteArrayView> lines;
    QByteArrayView all(bytes);
    while (!all.isEmpty()) {
        qsizetype nl = all.indexOf('\n');
        QByteArrayView line = nl < 0 ? all : all.first(nl);
        if (line.endsWith('\r')) line.chop(1);
        lines.append(line);
        all = nl < 0 ? QByteArrayView() : all.sliced(nl + 1);
    }
    if (lines.isEmpty()) Fail(kErrInputPastEnd, QStringLiteral("Line 1: the file is empty."));

    const QByteArrayView first = Trimmed(lines.first());
    int count = 0;
    const auto [end, ec] = std::from_chars(first.data(), first.data() + first.size(), count);
    if (first.isEmpty() || ec != std::errc() || end != first.data() + first.size() || count < 0 ||
        count > kMaxObservations)
        Fail(kErrTypeMismatch,
             QStringLiteral("Line 1: expected the number of observations (0 to %1), found \"%2\"")
                 .arg(kMaxObservations)
                 .arg(QString::fromUtf8(Shown(first))));

    QList<Observation> list;
    list.reserve(count);
    for (int i = 1; i <= count; ++i) {
        if (i >= lines.size())
            Fail(kErrInputPastEnd,
                 QStringLiteral("Line %1: the file ends after %2 of %3 observations.")
                     .arg(i + 1)
                     .arg(i - 1)
                     .arg(count));
        list.append(ParseRecord(lines.at(i), i + 1));
    }
    return list;
}

QList<Observation> ReadCalibrationFile(const QString& path) {
    QFile file(path);
    if (!file.exists()) Fail(kErrFileNotFound, QStringLiteral("File not found: %1").arg(path));
    if (!file.open(QIODevice::ReadOnly))
        Fail(kErrPathAccess, QStringLiteral("Cannot open %1: %2").arg(path, file.errorString()));
    // A calibration of 32767 lines stays far below this.
    constexpr qint64 kMaxBytes = 16 * 1024 * 1024;
    if (file.size() > kMaxBytes)
        Fail(kErrTypeMismatch, QStringLiteral("%1 is too large for a calibration file.").arg(path));
    return ParseCalibrationFile(file.readAll());
}

void WriteCalibrationFile(const QString& path, const QList<Observation>& list) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        Fail(kErrPathAccess, QStringLiteral("Cannot write %1: %2").arg(path, file.errorString()));
    const QByteArray bytes = FormatCalibrationFile(list);
    if (file.write(bytes) != bytes.size() || !file.flush() || ::fsync(file.handle()) != 0) {
        file.cancelWriting();
        Fail(kErrPathAccess, QStringLiteral("Cannot write %1: %2").arg(path, file.errorString()));
    }
    if (!file.commit())
        Fail(kErrPathAccess, QStringLiteral("Cannot write %1: %2").arg(path, file.errorString()));
}

}  // namespace celaris::calibration
