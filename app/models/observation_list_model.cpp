#include "observation_list_model.h"

#include <QFileInfo>
#include <algorithm>
#include <cmath>

#include "celaris/ascom/sexagesimal.h"
#include "celaris/calibration/calibration_file.h"
#include "celaris/calibration/documents_folder.h"
#include "celaris/units/angles.h"

namespace celaris::models {

namespace {

// "####0.00" right-aligned in nine characters; a value that rounds to zero
// shows without a sign.
QString ErrorField(double arcsec) {
    if (std::abs(arcsec) < 0.005) arcsec = 0.0;
    return QStringLiteral("%1").arg(QString::number(arcsec, 'f', 2), 9);
}

QString NameField(const QString& name) {
    if (name.size() <= kObservationNameWidth) return name.leftJustified(kObservationNameWidth);
    // A cut name says so, and the RA column stays where it is.
    return name.left(kObservationNameWidth - 1) + QChar(0x2026);
}

}  // namespace

QString FormatObservationLine(const calibration::Observation& o, bool showErrors) {
    QString line = NameField(o.Name);
    line += ascom::HoursToHMS(o.RATrue * units::kRadiansToHours, QStringLiteral(":"),
                              QStringLiteral(":"), QString(), 1);
    // Positive declinations take the place of the minus sign.
    if (o.DecTrue > 0) line += QLatin1Char(' ');
    line += QStringLiteral("  ");
    line += ascom::DegreesToDMS(o.DecTrue * units::kRadiansToDegrees, QStringLiteral("º"),
                                QStringLiteral("'"), QStringLiteral("\""), 0);
    if (!showErrors) return line + QStringLiteral("  N/A        N/A        N/A      ");
    const double a = o.SkyRAError() * calibration::kRadiansToArcsec;
    const double b = o.DecResidual * calibration::kRadiansToArcsec;
    return line + ErrorField(std::hypot(a, b)) + ErrorField(a) + ErrorField(b);
}

ObservationListLayout ObservationListResize(int widthTwips, int heightTwips, int undoRightTwips) {
    ObservationListLayout l;
    l.width = std::max(widthTwips, undoRightTwips + 100);
    l.listWidth = l.width - 120;
    l.height = heightTwips;
    l.listHeight = heightTwips - 1125;
    if (l.listHeight < 300) {
        l.height = 1425;
        l.listHeight = 300;
    }
    return l;
}

QString WithCalibrationExtension(const QString& path) {
    if (path.isEmpty() || !QFileInfo(path).suffix().isEmpty()) return path;
    return path + QLatin1String(calibration::kCalibrationExtension);
}

ObservationListModel::ObservationListModel(hub::Program& program,
                                           calibration::CalibrationStore& store, QObject* parent)
    : QObject(parent), program_(program), store_(store) {
    connect(&store_, &calibration::CalibrationStore::observationsChanged, this,
            [this] { UpdateObservationList(); });
    connect(&store_, &calibration::CalibrationStore::calibratingChanged, this,
            [this](bool on) { SetCalibrating(on); });
    // Undo and Open live in the store's controls.
    connect(&store_, &calibration::CalibrationStore::controlsChanged, this,
            [this] { emit changed(); });
}

TwipRect ObservationListModel::Load() {
    txtHeadings = QString::fromUtf8(kObservationHeading);
    cmdUpdateEnabled = !store_.Calibrating() && !lstObservations.isEmpty();
    store_.controls().cmdUndoEnabled = false;
    emit changed();
    const auto& s = program_.settings();
    return {s.PosObsY, s.PosObsX, s.ObsHeight, s.ObsWidth};
}

void ObservationListModel::Unload(const TwipRect& place) {
    auto& s = program_.settings();
    const auto twips = [](int v) { return static_cast<int16_t>(std::clamp(v, -32768, 32767)); };
    s.PosObsX = twips(place.left);
    s.PosObsY = twips(place.top);
    s.ObsWidth = twips(place.width);
    s.ObsHeight = twips(place.height);
}

void ObservationListModel::UpdateObservationList() {
    const int keep = selected;
    lstObservations.clear();
    const auto& list = store_.observations();
    const bool showErrors = list.size() >= kObservationsForErrors;
    const auto& stats = store_.statistics();
    for (int i = 1; i <= list.size(); ++i) {
        const auto& o = list.at(i - 1);
        ObservationLine line;
        line.index = i;
        line.checked = o.Use;
        line.outlier = showErrors && stats.valid && stats.IsOutlier(i);
        line.text = FormatObservationLine(o, showErrors);
        line.tip = o.Name;
        if (line.outlier) {
            line.text += QString::fromUtf8(kOutlierFlag);
            line.tip += QStringLiteral(
                "\nMore than three standard deviations from the fit: check the centring, or "
                "untick or delete it.");
        }
        lstObservations.append(line);
    }
    selected = keep >= 0 && keep < lstObservations.size() ? keep : -1;
    const bool any = store_.ObservationCount() > 0;
    cmdRemoveEnabled = cmdUpdateEnabled = cmdSaveEnabled = cmdShowPlotEnabled = any;
    emit changed();
}

void ObservationListModel::Select(int line) {
    selected = line >= 0 && line < lstObservations.size() ? line : -1;
    emit changed();
}

void ObservationListModel::SetCalibrating(bool calibrating) {
    // Starting disables Update, stopping enables it; refreshes set it again
    // from the count.
    cmdUpdateEnabled = !calibrating;
    emit changed();
}

void ObservationListModel::TakeUseFlags(const QList<bool>& checkedByLine) {
    QList<bool> flags;
    flags.reserve(store_.ObservationCount());
    for (const auto& o : store_.observations()) flags.append(o.Use);
    for (qsizetype i = 0; i < checkedByLine.size() && i < lstObservations.size(); ++i) {
        const int index = lstObservations.at(i).index;
        if (index >= 1 && index <= flags.size()) flags[index - 1] = checkedByLine.at(i);
    }
    try {
        store_.TakeUseFlags(flags);
    } catch (...) {
        program_.ui().ShowCurrentError();
    }
}

void ObservationListModel::Remove() {
    if (selected < 0 || selected >= lstObservations.size()) return;
    try {
        store_.RemoveObservation(lstObservations.at(selected).index);
    } catch (...) {
        program_.ui().ShowCurrentError();
    }
}

void ObservationListModel::Undo() {
    try {
        store_.Undo();
    } catch (...) {
        program_.ui().ShowCurrentError();
    }
}

void ObservationListModel::Update() {
    try {
        store_.Recalculate();
    } catch (...) {
        program_.ui().ShowCurrentError();
    }
}

void ObservationListModel::Open() {
    dispatch::Ui& ui = program_.ui();
    if (!store_.controls().CalibrationSaved && store_.ObservationCount() > 0 && ui.ConfirmDiscard())
        return;
    QString name =
        ui.GetOpenFileName({QStringLiteral("Open Calibration"), calibration::DocumentsFolder(),
                            QString(), QString::fromLatin1(calibration::kCalibrationFilter)});
    if (name.isEmpty()) return;
    // "night1" finds night1.clb; a file really named so is opened as it is.
    if (!QFileInfo::exists(name)) name = WithCalibrationExtension(name);
    try {
        store_.OpenObsFile(name);
        cmdUpdateEnabled = true;
        emit changed();
    } catch (...) {
        ui.ShowCurrentError();
    }
}

void ObservationListModel::Save() {
    dispatch::Ui& ui = program_.ui();
    const QString name = WithCalibrationExtension(ui.GetSaveFileName(
        {QStringLiteral("Save Calibration"), calibration::DocumentsFolder(),
         store_.rememberedPath(), QString::fromLatin1(calibration::kCalibrationFilter)}));
    if (name.isEmpty()) return;
    try {
        store_.SaveObsFile(name);
    } catch (...) {
        ui.ShowCurrentError();
    }
}

void ObservationListModel::ShowPlot() {
    if (store_.ObservationCount() == 0) return;
    emit plotToggleRequested();
}

}  // namespace celaris::models
