#pragma once

#include "app/entry_seams.h"

// Makes the crash handler report a crash through these seams ("崩溃退出" as a task, then the crash
// event) and write the analytics queue to its staging file before the process dies of its signal.
// The seams are copied: the handler stays installed until the process ends, longer than any
// caller's copy lives.
void installCrashFilter(const EntrySeams& seams);
