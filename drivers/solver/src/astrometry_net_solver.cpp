#include "celaris/drivers/solver/astrometry_net_solver.h"

#include <fitsio.h>
#include <signal.h>
#include <unistd.h>

#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <functional>
#include <thread>
#include <vector>

#include "celaris/drivers/camera/fits_image.h"
#include "celaris/drivers/camera/star_catalogue.h"

namespace celaris::solver {

namespace {

const QString kSource = QString::fromLatin1(kSolverSource);

ComError Failure(const QString& description) {
    return ComError(kSolverFailure, kSource, description);
}

[[noreturn]] void Fail(const QString& description) {
    throw Failure(description);
}

QString Degrees(double deg) {
    return QString::number(deg, 'f', deg < 1.0 ? 2 : 1) + QStringLiteral("°");
}

// The Debian package of Tycho-2 index files whose quads (arc minutes) suit
// a field needing quads from `lo` to `hi` arc minutes, or what else to do.
QString IndexAdvice(double loArcmin, double hiArcmin, const QString& folder) {
    struct Package {
        const char* name;
        double lo, hi;
    };
    static const Package packages[] = {{"astrometry-data-tycho2-07", 22, 30},
                                       {"astrometry-data-tycho2-08", 30, 44},
                                       {"astrometry-data-tycho2-09", 44, 60},
                                       {"astrometry-data-tycho2-10-19", 60, 2000}};
    for (const Package& p : packages)
        if (p.hi >= loArcmin && p.lo <= hiArcmin)
            return QStringLiteral("install the Debian package %1").arg(QLatin1String(p.name));
    return QStringLiteral(
               "Tycho-2 has too few stars for a field this small: put index files "
               "of a deeper catalogue (astrometry.net's 4200 or 5200 series) in %1")
        .arg(folder);
}

struct Source {
    double x, y, flux;
};

std::vector<Source> ReadSources(const QString& path) {
    fitsfile* f = nullptr;
    int status = 0;
    long rows = 0;
    int cx = 0, cy = 0, cf = 0;
    fits_open_table(&f, path.toLocal8Bit().constData(), READONLY, &status);
    fits_get_num_rows(f, &rows, &status);
    fits_get_colnum(f, CASEINSEN, const_cast<char*>("X"), &cx, &status);
    fits_get_colnum(f, CASEINSEN, const_cast<char*>("Y"), &cy, &status);
    fits_get_colnum(f, CASEINSEN, const_cast<char*>("FLUX"), &cf, &status);
    std::vector<double> x(size_t(std::max(rows, 0L))), y(x.size()), flux(x.size());
    if (rows > 0) {
        fits_read_col(f, TDOUBLE, cx, 1, 1, rows, nullptr, x.data(), nullptr, &status);
        fits_read_col(f, TDOUBLE, cy, 1, 1, rows, nullptr, y.data(), nullptr, &status);
        fits_read_col(f, TDOUBLE, cf, 1, 1, rows, nullptr, flux.data(), nullptr, &status);
    }
    int closed = 0;
    if (f != nullptr) fits_close_file(f, &closed);
    if (status != 0) Fail(QStringLiteral("Cannot read the stars image2xy found (%1).").arg(path));
    std::vector<Source> out;
    for (size_t i = 0; i < x.size(); ++i) out.push_back({x[i], y[i], flux[i]});
    return out;
}

void WriteSources(const std::vector<Source>& sources, const QString& path) {
    fitsfile* f = nullptr;
    int status = 0;
    char* names[] = {const_cast<char*>("X"), const_cast<char*>("Y"), const_cast<char*>("FLUX")};
    char* forms[] = {const_cast<char*>("D"), const_cast<char*>("D"), const_cast<char*>("D")};
    const QByteArray name = ("!" + path).toLocal8Bit();
    fits_create_file(&f, name.constData(), &status);
    fits_create_tbl(f, BINARY_TBL, LONGLONG(sources.size()), 3, names, forms, nullptr,
                    const_cast<char*>("SOURCES"), &status);
    std::vector<double> col(sources.size());
    for (int c = 0; c < 3; ++c) {
        for (size_t i = 0; i < sources.size(); ++i)
            col[i] = c == 0 ? sources[i].x : c == 1 ? sources[i].y : sources[i].flux;
        if (!col.empty())
            fits_write_col(f, TDOUBLE, c + 1, 1, 1, LONGLONG(col.size()), col.data(), &status);
    }
    int closed = 0;
    if (f != nullptr) fits_close_file(f, &closed);
    if (status != 0 || closed != 0)
        Fail(QStringLiteral("Cannot write the star list %1.").arg(path));
}

long TableRows(const QString& path) {
    fitsfile* f = nullptr;
    int status = 0;
    long rows = 0;
    fits_open_table(&f, path.toLocal8Bit().constData(), READONLY, &status);
    fits_get_num_rows(f, &rows, &status);
    int closed = 0;
    if (f != nullptr) fits_close_file(f, &closed);
    return status == 0 ? rows : 0;
}

// Keywords of a header that are the image's structure, not its WCS.
bool Structural(const QByteArray& key) {
    static const char* keys[] = {"SIMPLE",  "BITPIX", "NAXIS",  "EXTEND", "END",   "COMMENT",
                                 "HISTORY", "",       "PCOUNT", "GCOUNT", "BZERO", "BSCALE"};
    if (key.startsWith("NAXIS")) return true;
    for (const char* k : keys)
        if (key == k) return true;
    return false;
}

}  // namespace

struct AstrometryNetSolver::Impl {
    AstrometryNetSolver* self;
    QString image;
    int width = 0;
    int height = 0;
    std::unique_ptr<QTemporaryDir> work;

    int imageStars = 0;
    int catalogStars = 0;
    int matchedStars = 0;
    bool starsFound = false;
    bool solved = false;
    std::optional<ComError> error;

    std::optional<SolverStep> running;
    std::unique_ptr<QProcess> process;
    qint64 group = 0;
    QTimer deadline;
    bool timedOut = false;
    std::thread catalogue;
    std::shared_ptr<std::atomic<bool>> cancel;

    explicit Impl(AstrometryNetSolver* s) : self(s) { deadline.setSingleShot(true); }

    QString WorkFile(const char* name) const { return work->filePath(QString::fromLatin1(name)); }

    void RequireImage() const {
        if (image.isEmpty()) Fail(QStringLiteral("No image is attached: call AttachFITS first."));
    }
    void RequireIdle() const {
        if (running) Fail(QStringLiteral("The plate solver is busy with another step."));
    }

    // The field on the sky, degrees.
    double FieldWidthDeg() const { return width * std::abs(self->ArcsecPerPixelHoriz) / 3600.0; }
    double FieldHeightDeg() const { return height * std::abs(self->ArcsecPerPixelVert) / 3600.0; }

    std::vector<camera::IndexFile> IndexFilesForField() const {
        const double w = FieldWidthDeg(), h = FieldHeightDeg();
        if (!(w > 0.0) || !(h > 0.0))
            Fail(
                QStringLiteral("Set ArcsecPerPixelHoriz and ArcsecPerPixelVert to the image's "
                               "plate scale before solving."));
        const auto all = camera::FindIndexFiles(self->CatalogPath);
        const auto fit = camera::IndexFilesForField(all, w, h);
        if (fit.empty()) {
            const double lo = 0.1 * std::min(w, h) * 60.0, hi = std::hypot(w, h) * 60.0;
            Fail(QStringLiteral("no index files for a %1 field in %2: %3.")
                     .arg(Degrees(std::max(w, h)), self->CatalogPath,
                          IndexAdvice(lo, hi, self->CatalogPath)));
        }
        return fit;
    }

    // Reports the end of a step on the next turn of the event loop, so the
    // caller always hears of it after its call has returned.
    void EndLater(SolverStep step, std::optional<ComError> e) {
        running = step;
        QMetaObject::invokeMethod(
            self, [this, step, e] { End(step, e); }, Qt::QueuedConnection);
    }

    void End(SolverStep step, std::optional<ComError> e) {
        running.reset();
        error = std::move(e);
        emit self->stepEnded(step, !error.has_value());
    }

    void KillGroup() {
        if (group > 0) ::kill(-pid_t(group), SIGKILL);
    }

    // Runs program in a process group of its own; done(exit code) after it
    // ends by itself, or a timed-out failure after timeoutMs.
    void Run(SolverStep step, const QString& program, const QStringList& args, int timeoutMs,
             std::function<std::optional<ComError>(int)> done) {
        running = step;
        timedOut = false;
        process = std::make_unique<QProcess>();
        process->setProgram(program);
        process->setArguments(args);
        process->setProcessChannelMode(QProcess::MergedChannels);
        process->setChildProcessModifier([] { ::setpgid(0, 0); });
        QObject::connect(process.get(), &QProcess::errorOccurred, self,
                         [this, step, program](QProcess::ProcessError e) {
                             if (e != QProcess::FailedToStart) return;
                             deadline.stop();
                             process.release()->deleteLater();
                             group = 0;
                             End(step, Failure(QStringLiteral("Cannot run %1: install the Debian "
                                                              "package astrometry.net.")
                                                   .arg(program)));
                         });
        QObject::connect(process.get(), &QProcess::finished, self,
                         [this, step, done](int code, QProcess::ExitStatus status) {
                             deadline.stop();
                             KillGroup();  // anything it left
                             group = 0;
                             process.release()->deleteLater();
                             std::optional<ComError> e;
                             try {
                                 e = done(status == QProcess::NormalExit && !timedOut ? code : -1);
                             } catch (const ComError& thrown) {
                                 e = thrown;
                             }
                             End(step, e);
                         });
        QObject::disconnect(&deadline, nullptr, nullptr, nullptr);
        QObject::connect(&deadline, &QTimer::timeout, self, [this] {
            timedOut = true;
            KillGroup();
        });
        process->start();
        group = process->processId();
        deadline.start(timeoutMs);
    }

    void StopAll() {
        deadline.stop();
        if (process) {
            QObject::disconnect(process.get(), nullptr, self, nullptr);
            KillGroup();
            process->waitForFinished(5000);
            process.reset();
        }
        group = 0;
        if (cancel) cancel->store(true);
        if (catalogue.joinable()) catalogue.join();
        running.reset();
    }
};

AstrometryNetSolver::AstrometryNetSolver(QObject* parent)
    : PlateSolver(parent), d_(std::make_unique<Impl>(this)) {}

AstrometryNetSolver::~AstrometryNetSolver() {
    d_->StopAll();
}

void AstrometryNetSolver::AttachFITS(const QString& path) {
    d_->RequireIdle();
    const auto summary = camera::ReadFitsSummary(path);
    if (!summary)
        Fail(QStringLiteral("Cannot read the image %1 as FITS: check that the camera saved it.")
                 .arg(path));
    auto work = std::make_unique<QTemporaryDir>();
    if (!work->isValid())
        Fail(QStringLiteral("Cannot make a working folder for the solver: %1.")
                 .arg(work->errorString()));
    d_->work = std::move(work);
    d_->image = QFileInfo(path).absoluteFilePath();
    d_->width = summary->width;
    d_->height = summary->height;
    d_->imageStars = d_->catalogStars = d_->matchedStars = 0;
    d_->starsFound = d_->solved = false;
    d_->error.reset();
}

void AstrometryNetSolver::DetachFITS() {
    d_->StopAll();
    d_->image.clear();
    d_->work.reset();
    d_->starsFound = d_->solved = false;
}

void AstrometryNetSolver::UpdateFITS() {
    Impl& d = *d_;
    d.RequireImage();
    if (!d.solved) Fail(QStringLiteral("There is no solution to write: Solve first."));
    fitsfile* wcs = nullptr;
    fitsfile* img = nullptr;
    int status = 0;
    fits_open_file(&wcs, d.WorkFile("solution.wcs").toLocal8Bit().constData(), READONLY, &status);
    fits_open_file(&img, d.image.toLocal8Bit().constData(), READWRITE, &status);
    int cards = 0;
    fits_get_hdrspace(wcs, &cards, nullptr, &status);
    for (int i = 1; i <= cards && status == 0; ++i) {
        char card[FLEN_CARD] = {};
        char key[FLEN_KEYWORD] = {};
        int length = 0;
        fits_read_record(wcs, i, card, &status);
        fits_get_keyname(card, key, &length, &status);
        if (status != 0 || Structural(QByteArray(key))) continue;
        fits_update_card(img, key, card, &status);
    }
    int closed = 0;
    if (img != nullptr) fits_close_file(img, &closed);
    int ignored = 0;
    if (wcs != nullptr) fits_close_file(wcs, &ignored);
    if (status != 0 || closed != 0)
        Fail(QStringLiteral("Cannot write the solution into %1: check that it is writable.")
                 .arg(d.image));
}

void AstrometryNetSolver::FindImageStars() {
    Impl& d = *d_;
    d.RequireIdle();
    try {
        d.RequireImage();
    } catch (const ComError& e) {
        d.EndLater(SolverStep::FindImageStars, e);
        return;
    }
    // image2xy's star width is a Gaussian sigma; the setting a diameter.
    const double sigma = std::max(1.0, MinimumStarSize / 2.3548);
    const QString out = d.WorkFile("image.xy.fits");
    QFile::remove(out);
    d.Run(
        SolverStep::FindImageStars, QStringLiteral("image2xy"),
        {QStringLiteral("-O"), QStringLiteral("-p"), QString::number(std::max(1.0, SigmaAboveMean)),
         QStringLiteral("-w"), QString::number(sigma), QStringLiteral("-o"), out, d.image},
        60000, [this, out](int code) -> std::optional<ComError> {
            Impl& d = *d_;
            if (code != 0)
                return Failure(QStringLiteral("image2xy could not read %1: check that it is "
                                              "a camera image.")
                                   .arg(d.image));
            std::vector<Source> stars = ReadSources(out);
            const double border = std::max<int>(0, ExclusionBorder);
            // image2xy counts pixels from 1.
            std::erase_if(stars, [&](const Source& s) {
                return s.x < 1.0 + border || s.y < 1.0 + border || s.x > d.width - border ||
                       s.y > d.height - border || s.flux < MinimumBrightness;
            });
            std::sort(stars.begin(), stars.end(),
                      [](const Source& a, const Source& b) { return a.flux > b.flux; });
            if (MaxSolveStars > 0 && stars.size() > size_t(MaxSolveStars))
                stars.resize(size_t(MaxSolveStars));
            WriteSources(stars, d.WorkFile("stars.xy.fits"));
            d.imageStars = int(stars.size());
            d.starsFound = true;
            return std::nullopt;
        });
}

void AstrometryNetSolver::FindCatalogStars() {
    Impl& d = *d_;
    d.RequireIdle();
    std::vector<camera::IndexFile> files;
    try {
        d.RequireImage();
        files = d.IndexFilesForField();
    } catch (const ComError& e) {
        d.EndLater(SolverStep::FindCatalogStars, e);
        return;
    }
    if (d.catalogue.joinable()) d.catalogue.join();
    camera::CatalogueQuery q;
    q.raDeg = RightAscension * 15.0;
    q.decDeg = Declination;
    q.radiusDeg = 0.5 * std::hypot(d.FieldWidthDeg(), d.FieldHeightDeg()) *
                  (1.0 + std::max(0.0, CatalogExpansion));
    q.faintestMag = CatalogMaximumMagnitude;
    d.running = SolverStep::FindCatalogStars;
    d.cancel = std::make_shared<std::atomic<bool>>(false);
    QPointer<AstrometryNetSolver> guard(this);
    d.catalogue = std::thread([this, guard, files, q, cancel = d.cancel] {
        std::optional<ComError> e;
        int count = 0;
        try {
            count = int(camera::QueryStars(files, q, kSource, cancel.get()).size());
        } catch (const ComError& thrown) {
            e = thrown;
        }
        if (cancel->load()) return;
        // The object outlives the thread: its destructor joins it.
        QMetaObject::invokeMethod(
            this,
            [this, count, e] {
                d_->catalogStars = count;
                d_->End(SolverStep::FindCatalogStars, e);
            },
            Qt::QueuedConnection);
    });
}

void AstrometryNetSolver::Solve() {
    Impl& d = *d_;
    d.RequireIdle();
    d.solved = false;
    d.matchedStars = 0;
    try {
        d.RequireImage();
        if (!d.starsFound) Fail(QStringLiteral("Find the image's stars (FindImageStars) first."));
        if (d.imageStars < 4)
            Fail(QStringLiteral("no solution: %1 stars found, check focus and exposure, and for "
                                "clouds.")
                     .arg(d.imageStars));
        d.IndexFilesForField();
    } catch (const ComError& e) {
        d.EndLater(SolverStep::Solve, e);
        return;
    }
    const QString config = d.WorkFile("astrometry.cfg");
    {
        QFile cfg(config);
        if (cfg.open(QIODevice::WriteOnly | QIODevice::Truncate))
            cfg.write(QStringLiteral("add_path %1\nautoindex\n").arg(CatalogPath).toLocal8Bit());
    }
    const double scale = 0.5 * (std::abs(ArcsecPerPixelHoriz) + std::abs(ArcsecPerPixelVert));
    const double widen = 1.0 + std::max(0.0, CatalogExpansion);
    const double radius = std::max(1.0, std::hypot(d.FieldWidthDeg(), d.FieldHeightDeg()) * widen);
    const int seconds = std::max<int>(1, MaxSolveTime);
    const int order = (ProjectionType == 2 || ProjectionType >= 4) ? 4 : 2;
    const QString wcs = d.WorkFile("solution.wcs");
    QFile::remove(wcs);
    QStringList args = {QStringLiteral("--config"),
                        config,
                        QStringLiteral("--overwrite"),
                        QStringLiteral("--no-plots"),
                        QStringLiteral("--no-remove-lines"),
                        QStringLiteral("--uniformize"),
                        QStringLiteral("0"),
                        QStringLiteral("--dir"),
                        d.work->path(),
                        QStringLiteral("--new-fits"),
                        QStringLiteral("none"),
                        QStringLiteral("--wcs"),
                        wcs,
                        QStringLiteral("--corr"),
                        d.WorkFile("solution.corr"),
                        QStringLiteral("--match"),
                        QStringLiteral("none"),
                        QStringLiteral("--rdls"),
                        QStringLiteral("none"),
                        QStringLiteral("--index-xyls"),
                        QStringLiteral("none"),
                        QStringLiteral("--temp-axy"),
                        QStringLiteral("--width"),
                        QString::number(d.width),
                        QStringLiteral("--height"),
                        QString::number(d.height),
                        QStringLiteral("--x-column"),
                        QStringLiteral("X"),
                        QStringLiteral("--y-column"),
                        QStringLiteral("Y"),
                        QStringLiteral("--sort-column"),
                        QStringLiteral("FLUX"),
                        QStringLiteral("--scale-units"),
                        QStringLiteral("arcsecperpix"),
                        QStringLiteral("--scale-low"),
                        QString::number(scale / widen),
                        QStringLiteral("--scale-high"),
                        QString::number(scale * widen),
                        QStringLiteral("--ra"),
                        QString::number(RightAscension * 15.0, 'f', 6),
                        QStringLiteral("--dec"),
                        QString::number(Declination, 'f', 6),
                        QStringLiteral("--radius"),
                        QString::number(radius),
                        QStringLiteral("--crpix-center"),
                        QStringLiteral("--tweak-order"),
                        QString::number(order),
                        QStringLiteral("--cpulimit"),
                        QString::number(seconds),
                        d.WorkFile("stars.xy.fits")};
    d.Run(
        SolverStep::Solve, QStringLiteral("solve-field"), args, seconds * 1000,
        [this, wcs, seconds, scale](int code) -> std::optional<ComError> {
            Impl& d = *d_;
            const QString hint =
                d.imageStars < 12 ? QStringLiteral("check focus and exposure")
                                  : QStringLiteral(
                                        "check the plate scale (%1\"/pixel), the starting position "
                                        "and the catalogue path")
                                        .arg(scale, 0, 'f', 2);
            if (d.timedOut)
                return Failure(QStringLiteral("no solution within %1 s: %2 stars found, %3.")
                                   .arg(seconds)
                                   .arg(d.imageStars)
                                   .arg(hint));
            if (code != 0 || !QFile::exists(wcs))
                return Failure(
                    QStringLiteral("no solution: %1 stars found, %2.").arg(d.imageStars).arg(hint));
            // The solution: centre and scale from the WCS header.
            fitsfile* f = nullptr;
            int status = 0;
            double ra = 0, dec = 0, cd11 = 0, cd12 = 0, cd21 = 0, cd22 = 0;
            fits_open_file(&f, wcs.toLocal8Bit().constData(), READONLY, &status);
            fits_read_key(f, TDOUBLE, "CRVAL1", &ra, nullptr, &status);
            fits_read_key(f, TDOUBLE, "CRVAL2", &dec, nullptr, &status);
            fits_read_key(f, TDOUBLE, "CD1_1", &cd11, nullptr, &status);
            fits_read_key(f, TDOUBLE, "CD1_2", &cd12, nullptr, &status);
            fits_read_key(f, TDOUBLE, "CD2_1", &cd21, nullptr, &status);
            fits_read_key(f, TDOUBLE, "CD2_2", &cd22, nullptr, &status);
            int closed = 0;
            if (f != nullptr) fits_close_file(f, &closed);
            if (status != 0)
                return Failure(QStringLiteral("solve-field wrote a solution that cannot be "
                                              "read (%1).")
                                   .arg(wcs));
            RightAscension = std::fmod(ra / 15.0 + 24.0, 24.0);
            Declination = dec;
            ArcsecPerPixelHoriz = std::hypot(cd11, cd21) * 3600.0;
            ArcsecPerPixelVert = std::hypot(cd12, cd22) * 3600.0;
            d.matchedStars = int(TableRows(d.WorkFile("solution.corr")));
            d.solved = true;
            return std::nullopt;
        });
}

bool AstrometryNetSolver::busy() const {
    return d_->running.has_value();
}

std::optional<ComError> AstrometryNetSolver::lastError() const {
    return d_->error;
}

StarCollection AstrometryNetSolver::ImageStars() const {
    return {d_->imageStars};
}

StarCollection AstrometryNetSolver::CatalogStars() const {
    return {d_->catalogStars};
}

StarCollection AstrometryNetSolver::MatchedStars() const {
    return {d_->matchedStars};
}

qint64 AstrometryNetSolver::runningProcessGroup() const {
    return d_->group;
}

}  // namespace celaris::solver
