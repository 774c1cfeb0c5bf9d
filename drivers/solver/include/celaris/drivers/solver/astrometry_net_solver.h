// The plate solver on astrometry.net (Debian package astrometry.net and its
// index files): image2xy finds the image's stars, query-starkd counts the
// index files' stars in the search area, solve-field matches them.
//
// Settings as astrometry.net takes them:
// - the scale range is ArcsecPerPixelHoriz/Vert divided and multiplied by
//   (1 + CatalogExpansion); the search is round RightAscension/Declination
//   within the field's diagonal times (1 + CatalogExpansion), at least 1
//   degree;
// - SigmaAboveMean is image2xy's peak significance, MinimumStarSize (a
//   diameter) its star width, MinimumBrightness the least flux kept,
//   ExclusionBorder the edge left out, MaxSolveStars how many of the
//   brightest go to the solver;
// - MaxSolveTime bounds solve-field in processor and in real time: it is
//   killed, with every process it started, when the time is up;
// - CatalogPath is the folder of index files; Catalog is not used (the
//   index files are the catalogue);
// - ProjectionType: astrometry.net fits the gnomonic projection (TAN) with
//   polynomial distortion (SIP). TAN and the near-tangent ones (0, 3) get
//   order 2; ARC and the wide-field ones (2, 4, 5, 6) order 4, which takes
//   up their difference from TAN over a field.
//
// The solution is at the image centre (solve-field --crpix-center). Files
// go to a temporary folder of the attached image's own, removed on detach.
#pragma once

#include <memory>

#include "celaris/drivers/solver/plate_solver.h"

namespace celaris::solver {

class AstrometryNetSolver : public PlateSolver {
    Q_OBJECT
  public:
    explicit AstrometryNetSolver(QObject* parent = nullptr);
    // Kills whatever runs, with its children, and waits for it.
    ~AstrometryNetSolver() override;

    void AttachFITS(const QString& path) override;
    void DetachFITS() override;
    void UpdateFITS() override;
    void FindImageStars() override;
    void FindCatalogStars() override;
    void Solve() override;
    bool busy() const override;
    std::optional<ComError> lastError() const override;
    StarCollection ImageStars() const override;
    StarCollection CatalogStars() const override;
    StarCollection MatchedStars() const override;

    // The process group of the running solve-field, 0 when none (tests
    // check that nothing of it is left).
    qint64 runningProcessGroup() const;

  private:
    struct Impl;
    std::unique_ptr<Impl> d_;
};

}  // namespace celaris::solver
