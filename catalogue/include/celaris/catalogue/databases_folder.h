// Where the program's data files are: the reference star catalogue lives in
// the "databases" folder of the program's data folder.
#pragma once

#include <QString>

namespace celaris::catalogue {

inline constexpr char kSitingStarsFile[] = "SitingStars02.csv";

// The program's data folder, first of:
//  - $CELARIS_DATA_DIR when set (tests, portable installs);
//  - <executable folder>/../share/celaris when it exists, which is where the
//    build copies the data (build/share/celaris beside build/bin) and where
//    an installed tree keeps it, wherever the tree was moved;
//  - the data folder of the configured installation prefix.
QString DataFolder();
// DataFolder() + "/databases".
QString DatabasesFolder();
// The reference star catalogue in DatabasesFolder().
QString SitingStarsPath();

}  // namespace celaris::catalogue
