// The reference stars of the manual calibration: the catalogue read once and
// reduced to the coordinates the mount works in, and the pick list of the
// stars that can be reached now (above the horizon profile, inside the
// altitude and declination limits), nearest to the telescope first. The
// main window's star combo box (cmbNearStars) and its four navigation
// buttons mirror it; the sky map and the "Slew" button read it.
//
// Indices are 0-based: a star is its index in Stars() (file order), the
// pick list holds such indices, and a line of cmbNearStars is its position
// in PickList(). Angles are radians.
#pragma once

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include "celaris/hub/hub.h"

namespace celaris::catalogue {

struct Star {
    QString Name;
    double Magnitude = 0.0;
    // The reduced position: moved by its proper motion since J2000.0, then
    // the apparent place of date, or left in J2000 when the mount works in
    // J2000 (setting J2000).
    double RA = 0.0;
    double Dec = 0.0;
    double PmRA = 0.0;   // radians of right ascension a year
    double PmDec = 0.0;  // radians a year
    // An observation of this star is in the running calibration.
    bool Used = false;
    // Distance from the corrected telescope position; valid for pick-list
    // stars once the driver has been connected.
    double ArcDistance = 0.0;
    // The sky map's projection angles: arccos(sin az cos alt) and
    // pi/2 - arctan(cos az / tan alt), at the last distance update.
    double MapAngleA = 0.0;
    double MapAngleB = 0.0;
};

// What MatchUsedStars needs of an observation of the calibration store.
struct UsedObservation {
    QString Name;
    bool Use = true;
};

class StarPickList : public QObject {
    Q_OBJECT
  public:
    explicit StarPickList(hub::Hub& hub, QObject* parent = nullptr);
    ~StarPickList() override;

    // The catalogue file LoadStars reads; SitingStarsPath() unless set.
    void SetCatalogueFile(QString path) { file_ = std::move(path); }
    // The instant whose proper motion LoadStars applies, UTC seconds since
    // 1970 (as Hub::SetClock). Unset: the engine's clock. Give it the clock
    // given to the hub.
    void SetClock(hub::Hub::Clock clock) { clock_ = std::move(clock); }
    // The main window's StarChosen flag (MainControls::StarChosen), which the
    // status loop clears while the driver is not connected. Until this is
    // called the list keeps a flag of its own.
    void UseStarChosen(bool& flag) { starChosen_ = &flag; }
    bool StarChosen() const { return *starChosen_; }

    const QList<Star>& Stars() const { return stars_; }
    int StarCount() const { return int(stars_.size()); }
    const QList<int>& PickList() const { return pickList_; }
    int PickCount() const { return int(pickList_.size()); }
    // The star shown and slewed to; -1 before one has been chosen.
    int CurrentStar() const { return currentStar_; }
    // The current star's record, or nullptr. "Slew" takes its RA, Dec and
    // Name from here.
    const Star* Current() const;

    // cmbNearStars: one line per pick-list entry, and the selected line (-1:
    // none). Rebuilt by UpDateStarPickList.
    QStringList cmbNearStars;
    int cmbNearStarsIndex = -1;

    // Reads and reduces the catalogue, builds the pick list and shows its
    // first entry. A file that cannot be read or a malformed line ends
    // loading with the standard error box; the stars read before stay.
    // False after an error box.
    bool LoadStars();
    // Rebuilds the pick list from the visibility rules at the hub's last
    // sidereal time, in catalogue order, then refreshes the lines.
    void UpdateNearStars();
    // While the driver is connected: reads the mount's position, measures
    // every pick-list star's distance from the corrected position, sorts the
    // list nearest first (equal distances keep their order) and, first
    // thing after a connection, shows the nearest star. Nothing otherwise.
    void CalcSiteStarArcLengths();
    // Refills cmbNearStars, selects the current star's line and emits
    // changed().
    void UpDateStarPickList();
    // After a calibration was opened from a file: each catalogue star takes
    // the "use" flag of the first observation with exactly its name, and is
    // unmarked when none has it. Nothing with fewer than two pick-list
    // entries or fewer than two observations.
    void MatchUsedStars(const QList<UsedObservation>& observations);

    // The navigation buttons and the list's click. Nothing happens while the
    // pick list is empty or the current star is not in it.
    void NextStar();        // ">": after the last comes the first
    void PrevStar();        // "<": before the first comes the last
    void NextUnusedStar();  // ">>": the next entry not Used; stays when all are
    void PrevUnusedStar();  // "<<"
    void ClickLine(int line);

    // "+" marks the current star; "Start" clears every mark.
    void MarkCurrentUsed();
    void ClearUsed();

  signals:
    void changed();

  private:
    bool Visible(const Star& star);
    void StepUnused(int direction);
    void Show(int pickPosition);
    double YearsSinceJ2000() const;
    void Reduce(Star& star, double raDeg, double decDeg);

    hub::Hub& hub_;
    QString file_;
    hub::Hub::Clock clock_;
    bool ownStarChosen_ = false;
    bool* starChosen_ = &ownStarChosen_;
    QList<Star> stars_;
    QList<int> pickList_;
    int currentStar_ = -1;
};

}  // namespace celaris::catalogue
