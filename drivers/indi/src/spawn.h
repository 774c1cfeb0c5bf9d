// Starting a program that must not outlive Celaris: in a process group of
// its own, with SIGKILL as its parent-death signal, so that even a `kill -9`
// of Celaris takes it down (and an INDI server's drivers follow it, as they
// end when their server goes).
//
// Linux sends the parent-death signal when the *thread* that forked exits,
// not the process; every fork therefore happens on one thread that is
// started on first use and lives as long as the process.
#pragma once

#include <QByteArray>
#include <QList>

#include <sys/types.h>

namespace celaris::indi {

struct SpawnRequest {
    // The program: a path, or a name looked up in PATH.
    QByteArray program;
    QList<QByteArray> args;  // without the program name
    QList<QByteArray> env;   // NAME=value, the whole environment
    // Standard output and error are appended here; stdin is /dev/null.
    QByteArray outputPath = "/dev/null";
};

// The child's process id (also its process group), or -1 with errno's
// value in *error when the program cannot be found or started.
pid_t SpawnTiedToProcess(const SpawnRequest& request, int* error);

}  // namespace celaris::indi
