// Replaces a file so that a crash or a kill at any moment leaves either the
// old or the new contents on disk, never a mixture: the bytes go to a
// temporary file beside the target, are synced, and the temporary file is
// renamed over the target; then the folder is synced so the rename itself
// survives a power cut.
#pragma once

#include <QByteArray>
#include <QString>

#include <functional>

namespace celaris::profile {

enum class WriteStep { TempWritten, TempSynced, Renamed, DirectorySynced };

// Called after each step. Tests throw from it to stop a write there, as a
// crash would (the temporary file is then left behind, as after a crash).
using WriteStepHook = std::function<void(WriteStep)>;

// Creates the folder when needed. False with a reason in *error when any
// step fails; the target is then unchanged and no temporary file remains.
bool WriteFileAtomically(const QString& path, const QByteArray& contents, QString* error,
                         const WriteStepHook& hook = {});

// Removes temporary files that writers of `path` left behind when they died.
// Files of processes that are still running are left alone.
void RemoveStaleTempFiles(const QString& path);

}  // namespace celaris::profile
