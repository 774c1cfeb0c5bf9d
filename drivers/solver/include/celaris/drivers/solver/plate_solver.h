// The plate solver of the automatic calibration, with the members the run
// calls by name: attach an image, find its stars, find the catalogue's
// stars in the search area, solve, write the solution into the image,
// detach. Set the plate scale and the starting position first; after Solve
// RightAscension and Declination hold the J2000 centre of the image and
// ArcsecPerPixelHoriz/Vert the measured scale.
//
// AttachFITS, DetachFITS and UpdateFITS only touch files and return when
// done. FindImageStars, FindCatalogStars and Solve run other processes:
// each returns at once and emits stepEnded when it has ended, with the
// failure (if any) in lastError(); the caller's thread is never held. Only
// one step runs at a time. Every failure is a ComError whose description
// says what to do.
#pragma once

#include <QObject>
#include <QString>

#include <cstdint>
#include <optional>

#include "celaris/dispatch/com_error.h"

namespace celaris::solver {

using dispatch::ComError;

// Source of the solver's errors.
inline constexpr char kSolverSource[] = "Celaris plate solver";
// Its own failures (no image, no stars, no solution, no catalogue).
inline constexpr int32_t kSolverFailure = static_cast<int32_t>(0x80040500);

enum class SolverStep { FindImageStars, FindCatalogStars, Solve };

// A read-only collection of which the run reads only the size.
struct StarCollection {
    int Count = 0;
};

class PlateSolver : public QObject {
    Q_OBJECT
  public:
    using QObject::QObject;
    ~PlateSolver() override = default;

    virtual void AttachFITS(const QString& path) = 0;
    virtual void DetachFITS() = 0;
    // Writes the solution (WCS keywords) into the attached image's header.
    virtual void UpdateFITS() = 0;

    // Asynchronous; stepEnded follows.
    virtual void FindImageStars() = 0;
    virtual void FindCatalogStars() = 0;
    virtual void Solve() = 0;
    // A step is running.
    virtual bool busy() const = 0;
    // The failure of the last step that ended, or nothing when it succeeded.
    virtual std::optional<ComError> lastError() const = 0;

    virtual StarCollection ImageStars() const = 0;
    virtual StarCollection CatalogStars() const = 0;
    virtual StarCollection MatchedStars() const = 0;

    // Whether MaxSolveStars is a setting this solver takes; the run leaves
    // it alone (and disables its box) when not.
    virtual bool AcceptsMaxSolveStars() const { return true; }

    // Settings, as the automatic calibration gives them from its "Starfix"
    // settings.
    int16_t Catalog = 3;
    double ArcsecPerPixelHoriz = 2.0;  // arc seconds a pixel of the image
    double ArcsecPerPixelVert = 2.0;
    int16_t ExclusionBorder = 4;      // pixels along the edges where stars are not used
    int16_t MaxSolveTime = 60;        // seconds
    double SigmaAboveMean = 4.0;      // detection threshold, noise sigmas
    int16_t MinimumBrightness = 200;  // least integrated brightness of a star
    double CatalogMaximumMagnitude = 20.0;
    double CatalogExpansion = 0.3;  // widens the scale range and the search area
    int16_t MinimumStarSize = 2;    // pixels
    QString CatalogPath = QStringLiteral("/usr/share/astrometry");
    int16_t MaxSolveStars = 500;
    int16_t ProjectionType = 1;  // 1 TAN, 2 ARC, 0 and 3-6 the others
    // Hours and degrees, J2000: the starting guess, then the solution.
    double RightAscension = 0.0;
    double Declination = 0.0;

  signals:
    void stepEnded(celaris::solver::SolverStep step, bool succeeded);
};

}  // namespace celaris::solver
