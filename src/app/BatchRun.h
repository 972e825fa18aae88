#pragma once
// The automatic road without a window: connect, cached or fresh listing, compare, transfer, quit,
// for one site or every site of the multi-site run; the settings saved at the end as the window
// saves them at close.
#include <cstdio>
#include <string>
#include <vector>

struct BatchRequest {
    std::string nickName; // empty with multiSite
    bool multiSite = false;
    bool dryRun = false;
    bool yes = false;
    bool tls = false;                     // every site over explicit TLS
    std::vector<std::string> trustCerts;  // certificate fingerprints trusted for this run
    std::vector<std::string> trustHostKeys{}; // SFTP host key fingerprints trusted for this run
    bool askPassphrase = false;           // an encrypted key file's passphrase read from the terminal
    bool allowMassDelete = false;         // a run may delete more than maxDeletePercent of a side's files
    int maxDelete = -1;                   // no run deletes more files than this (-1: no limit)
    int connections = 0;                  // files moved at once for every site; 0: the settings
    bool quiet = false;   // nothing at all on a run that changed nothing and had no failure
    bool verbose = false; // the FTP log and status lines on stderr
    bool json = false;    // the plan and the result as one JSON document on stdout
};

// Runs the request and returns the exit status (0 all done, 1 something failed, 2 could not
// connect or log in, 64 no such site). The plans and the summary go to `out`; failures, problems
// and (verbose) the FTP log to stderr.
int RunBatch(const BatchRequest &request, std::FILE *out);
