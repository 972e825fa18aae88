#pragma once
// Before a run deletes anything. A side that is empty while the other holds files, or a run that
// would delete much of what the other side holds, is far more often a mistake (an unmounted disk,
// a build that made nothing, a server directory emptied behind the site's back) than a change the
// user made; the run then stops before its first deletion, or asks first.
#include "transfer/Workspace.h"

#include <string>

// The question asked before a mass deletion goes ahead. A front end without a user to ask
// recognises it by this text and answers by its own flags.
inline constexpr const char *kMassDeletionQuestion = "Delete them anyway?";

// A run that deletes this many files or fewer is not held for its share: on a small site one
// edit can remove half of it (3 files losing 2), and a site that vanished whole is caught by the
// empty-side rule whatever its size.
inline constexpr int kMassDeletionFloor = 10;

enum class DeletionVerdict { Allowed, Ask, Refused };

struct DeletionCheck {
    DeletionVerdict verdict = DeletionVerdict::Allowed;
    int deletions = 0;   // files the run would delete
    int filesOnSide = 0; // files on the side it deletes from
    std::string reason;  // for Ask and Refused: the numbers and what they exceed
};

// What the marked trees would make the next run delete, against the option maxDeletePercent and
// `cap` (an absolute limit for this run, or -1). Only files count: a directory goes only once its
// files have. With the `delete` option off nothing is deleted and everything is allowed.
// `remoteTop` names the remote directory in the reason.
DeletionCheck CheckDeletions(const Workspace &ws, const std::string &remoteTop, int cap);
