#include "polar_align_model.h"

#include "manual_calibration.h"

#include "celaris/dispatch/com_error.h"
#include "celaris/dispatch/driver.h"
#include "celaris/hub/skip_failing_step.h"

namespace celaris::models {

PolarAlignModel::PolarAlignModel(hub::Program& program, calibration::CalibrationStore& store,
                                 QObject* parent)
    : QObject(parent), program_(program), store_(store) {
    ShowStep();
}

QString PolarAlignModel::StepText(int step) {
    switch (step) {
        case 0:
            return QStringLiteral("Telescope must be connected to continue");
        case 1:
            return QStringLiteral(
                "Step 1 - Point telescope to a star, center it, then click Next.  (If using "
                "Lumacam, right click on the image and show crosshairs.)");
        case 2:
            return QStringLiteral("Step 2 - Adjust polar axis manually to re-center the star.");
        default:
            return QStringLiteral(
                "Polar alignment is complete.  Recal Portable is recommended.  (Click Cancel to "
                "discard Polar Alignment changes.)");
    }
}

void PolarAlignModel::ShowStep() {
    // Steps beyond 3 change nothing of what is shown.
    if (AlignStep <= 3) {
        lblStep = StepText(AlignStep);
        OKButtonCaption = AlignStep == 3 ? QStringLiteral("OK") : QStringLiteral("Next");
    }
    OKButtonEnabled = AlignStep != 0;
    emit changed();
}

void PolarAlignModel::SetPolarTerms(double leftRight, double vertical) {
    auto& s = program_.settings();
    s.PolarLRRad = leftRight;
    s.PolarVertRad = vertical;
    ISVD* e = program_.hub().engine().get();
    e->put_PolarLeftRight(leftRight);
    e->put_PolarVertical(vertical);
    program_.UpdateEngineTerms();
    // The mount itself was (or will be) adjusted: what the model holds must
    // survive a crash as a fit's terms do.
    store_.PersistModelTerms();
    emit store_.termsChanged();
}

void PolarAlignModel::Activate() {
    visible = true;
    saved_ = false;
    AlignStep = 0;
    hub::Hub& hub = program_.hub();
    if (!hub.state().DriverConnected) {
        ShowStep();
        return;
    }
    try {
        if (!CanSlewSomehow(hub.ConnectedDriver())) {
            program_.ui().ReportUnsupported(QStringLiteral("Slewing"));
            ShowStep();
            return;
        }
    } catch (const dispatch::ComError& e) {
        program_.ui().ShowError(e);
        ShowStep();
        return;
    }
    AlignStep = 1;
    saved_ = true;
    ISVD* e = hub.engine().get();
    e->get_PolarLeftRight(&SavedPolarLeftRight);
    e->get_PolarVertical(&SavedPolarVertical);
    SavedCorrectionsOn = store_.controls().CorrectionsOn;
    hub::SkipFailingStep([&] { store_.ApplyCorr(true); });
    ShowStep();
}

void PolarAlignModel::Next() {
    const int16_t s = AlignStep;
    hub::Hub& hub = program_.hub();
    if (s == 1) {
        StarRA = hub.CorrectedRAFromScope();
        StarDec = hub.CorrectedDecFromScope();
        SetPolarTerms(0.0, 0.0);
        if (hub.state().DriverConnected) {
            dispatch::Ui& ui = program_.ui();
            try {
                Driver& d = hub.ConnectedDriver();
                if (!CanSlewSomehow(d)) {
                    ui.ReportUnsupported(QStringLiteral("Slewing"));
                } else {
                    // Where the model without its polar terms puts the star.
                    // Sending the mount to the star's place in its own raw
                    // coordinates instead would leave every other term's
                    // error (index offsets of arc minutes) for the polar
                    // adjusters to absorb, and misalign the axis further.
                    hub.ApplyPierSide(StarRA, StarDec);
                    hub.UpdateSiderealTime();
                    const hub::RaDec scope = hub.TrueToScopeRADec(StarRA, StarDec);
                    d.Put(QStringLiteral("TargetRightAscension"), scope.ra);
                    d.Put(QStringLiteral("TargetDeclination"), scope.dec);
                    hub.Slew2TargetAB();
                }
            } catch (const dispatch::ComError& e) {
                ui.ShowError(e);
                ui.ReportFailing(QStringLiteral("Slewing"));
            }
        }
    } else if (s == 3) {
        hub::SkipFailingStep([&] { store_.ApplyCorr(SavedCorrectionsOn); });
        // Switching corrections off refits the engine's terms from its
        // observations, which would bring the old polar terms back.
        SetPolarTerms(0.0, 0.0);
        visible = false;
        emit closeRequested();
    }
    AlignStep = static_cast<int16_t>(s + 1);
    ShowStep();
}

void PolarAlignModel::Cancel() {
    // Shown while the mount was not connected, nothing was saved: restoring
    // then would zero the model's polar terms.
    if (saved_) {
        // Corrections first: switching them off refits the engine's terms,
        // and the model must end exactly as it was.
        hub::SkipFailingStep([&] { store_.ApplyCorr(SavedCorrectionsOn); });
        SetPolarTerms(SavedPolarLeftRight, SavedPolarVertical);
    }
    saved_ = false;
    visible = false;
    emit closeRequested();
    ShowStep();
}

}  // namespace celaris::models
