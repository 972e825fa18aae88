#pragma once
// The run state of the transfer sequencer; the counters live in the site model beside it because
// the compare fills them.
#include <cstdint>
#include <string>

struct SiteNode;

enum TOperation : uint8_t {
    opIdle = 0,
    opListing = 2,
    opTransferFile = 5,
    opDownloadRun = 6,
    opUploadRun = 7,
    opAfterLogin = 8,
    opConnecting = 9,
    opListingDirectory = 12,
    opCreateDirectory = 13,
    opDeleteNow = 14,
};

struct RunState {
    TOperation currentOperation = opIdle;
    SiteNode *transferNode = nullptr;
    bool deletePhaseDone = false;
    bool createPhaseDone = false;
    bool transferPhaseDone = false;
    bool transferCanceled = false;
    bool ftpErrorSeen = false;
    bool uploading = false;
    bool downloading = false;
    bool promptOpen = false;
    bool cutShort = false; // this run ended because the session went, not by Stop
    uint8_t afterCommand = 0; // 1 next upload after SITE CHMOD, 2 post-login steps
    std::string remoteTopPath;
    std::string currentFileName;

    // No run deletes more files than this (-1: no such limit). Set by a caller, never stored.
    int maxDeleteCount = -1;
    // Connections for every site's runs (batch --connections); 0: the site's or the global option.
    int connectionsGiven = 0;
    // Why the last run stopped before its first deletion; "" when it did not.
    std::string refusedText;

    // Kept over every run of the program, for a caller without a window (its exit status and
    // summary): runs the lost session cut short, and files that reached the other side whole.
    int runsCutShort = 0;
    int filesTransferred = 0;
};
