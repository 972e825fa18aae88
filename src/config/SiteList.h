#pragma once
// The site list: the profiles in row order, the current site, the active index, and the "FTP
// Setup" edit boxes, stored in "FERNHOP.FTP" as one enciphered site line per row.
//
// The current site is the row last chosen, added or replaced, or a blank profile while the list is
// empty; it is also the row the list shows selected. The active index is the row last chosen
// (adding a row does not change it) and is what the file remembers for the next start.
//
// A connection reads the server, user name, password and port from `edits`: what the user typed
// there counts before "&Replace" stores it. Everything else comes from Current().
#include "base/DateTime.h"
#include "config/ProfileFile.h"
#include "config/SiteProfile.h"

#include <functional>
#include <string>
#include <string_view>
#include <vector>

// The edit boxes of the "FTP Setup" page and the advanced form's after-login edit.
struct SiteEdits {
    std::string nickName;
    std::string server;
    std::string userName;
    std::string password;
    std::string localDir;
    std::string remoteDir;
    int port = 21;
    bool usePasv = false;
    std::string afterLoginCommand;
    bool requireTls = false;
    bool useSftp = false; // SFTP instead of FTP; requireTls does not apply then
    std::string keyFile{}; // SFTP: the private key file; empty: none
    int connections = 0; // 0: the global option
};

// FTP, FTP over TLS or SFTP into the edits. A port left at the old protocol's default (21 or 22)
// follows to the new one's; a port of the user's own stays.
void SetEditsProtocol(SiteEdits &edits, bool useSftp, bool requireTls);

// One item of the nickname combo box: a row with a nickname.
struct NickNameItem {
    std::string nickName;
    int row = -1;
};

class SiteList {
public:
    SiteList();

    // Rows.
    int Count() const { return int(rows_.size()); }
    // An index with no row gives the blank profile.
    const TmultFTP &Row(int index) const;
    bool MultiSite(int index) const { return Row(index).MultiSite; }

    // The current site.
    const TmultFTP &Current() const;
    int CurrentRow() const { return currentRow_; } // -1 while the blank profile is current
    const std::string &CurrentCacheKey() const { return Current().CacheKey; }
    int ActiveIndex() const { return activeIndex_; }

    SiteEdits edits;
    // Set whenever a row is made current, added or replaced; the main window clears it before it
    // opens the setup dialog and rescans the local tree when it is set afterwards.
    bool siteChanged = false;

    // Choosing. An index with no row does nothing (false). Otherwise the row's fields go into the
    // edit boxes and it becomes current and the active index.
    bool ChooseRow(int index);
    // A click on a row of the setup list: refused with the returned message while connected.
    std::string RowClick(int index, bool connected);
    // The first row whose nickname equals `nickName` without regard to letter case (A-Z); -1 if
    // none. Rows without a nickname are never found.
    int FindNickName(std::string_view nickName) const;
    // The first command-line argument, lower-cased and without double quotes, names a nickname:
    // that row is chosen. False (nothing changes) when it names none.
    bool ChooseFromCommandLine(std::string_view argument);

    // The "FTP Setup" buttons. Add, Replace and the other stores return "" on success, else the
    // reason the profile cannot be stored (nothing changes then).
    // "&Add": a new row from the edit boxes, uploading, in the multi-site run, no saved times and
    // no after-login command, unless `withAfterLoginCommand` (the one "Ad&vanced..." gave the
    // entry being made) takes the edits' one. It becomes current; the active index stays.
    std::string Add(bool withAfterLoginCommand = false);
    // "&Replace": the edit boxes' nickname, server, user, password, directories, port and PASV
    // into the current row. Direction, multi-site, after-login command and times stay. Does
    // nothing while the list is empty.
    std::string Replace();
    // "&Delete": removes the current row; the first row, or the blank profile, becomes current.
    void Delete();
    // "&Delete" with several rows selected: removes every listed row (indexes of the list as it is
    // now; duplicates and indexes without a row are passed over), then as Delete.
    void DeleteRows(std::vector<int> rows);
    // "&New": empties the edit boxes (port 21) for a new entry; nothing else changes.
    void New();
    // The row popup, on the current row.
    void ToggleMultiSite();
    void ToggleDownload();
    // "Ad&vanced..." confirmed: the current row's after-login command.
    std::string SetAfterLoginCommand(const std::string &command);

    // The main window's writes into the current site.
    // A formatted remote directory into the edit box, then stored as "&Replace" does.
    std::string StoreRemoteDirectory(const std::string &formatted);
    // A new local directory into the edit box and the current profile (stored as "&Replace").
    std::string StoreLocalDirectory(const std::string &path);
    // The clock measurement (0 clears a time); "&Clear Offset" clears both.
    void SetSavedPcTime(TDateTime time);
    void SetSavedServerTime(TDateTime time);
    // "Always trust this certificate": the current row keeps the fingerprint (64 hex digits, or
    // "" to forget it). Returns "" or why it cannot be stored.
    std::string SetTrustedCertificate(const std::string &fingerprint);
    // "Always Trust" for an SFTP server's host key: the current row keeps the fingerprint
    // ("SHA256:...", or "" to forget it). Returns "" or why it cannot be stored.
    std::string SetTrustedHostKey(const std::string &fingerprint);
    void ClearOffset();

    // The nickname combo box: one item per row with a nickname, in row order.
    std::vector<NickNameItem> NickNames() const;
    // The combo item that belongs to `row`, or -1.
    int NickNameItemOfRow(int row) const;

    // Replaces the list with "FERNHOP.FTP" and chooses the stored active row (the second row when
    // the file does not say, the first when that is beyond the list). A missing file gives an
    // empty list. Returns the messages to show: one per site whose port could not be read (that
    // site is kept, with port 21), one per entry that could not be deciphered (left out of the
    // list, kept in the file), one per site too long to take a clock measurement, and the
    // problem of a file that holds no section (nothing of it is used).
    std::vector<std::string> Load();
    // Writes "FERNHOP.FTP" (mode 0600) under the settings lock, onto the file as it is at that
    // moment: the rows this list changed, added or deleted since the load (or the last save) are
    // changed, added or deleted there; rows it did not touch stay as the file has them, byte for
    // byte, whoever wrote them; identical rows each keep a line. The active index is written
    // only when this list chose another row (and not after KeepStoredActiveSite). A site whose
    // line would outgrow the cipher's buffer is written with empty false flags, then without its
    // clock measurement, rather than not at all. With `debugLog`, the trace lines go to it, the
    // password masked. Returns "" on success, else the reason; the previous file is then kept.
    std::string Save(const std::function<void(const std::string &)> &debugLog = nullptr) const;
    // The rows chosen from now on are not the user's choice (a batch run walks the sites): the
    // next saves keep the active index the file has.
    void KeepStoredActiveSite() { keepStoredActive_ = true; }
    // Lets a test make the next saves fail part way, as a crash or a full disk would.
    void InjectSaveFaultForTesting(ProfileFile::SaveFault fault) { saveFault_ = fault; }

private:
    TmultFTP &CurrentProfile();
    void AppendRow(TmultFTP site);
    void ShowInEdits(const TmultFTP &site);
    TmultFTP ProfileFromEdits(const TmultFTP &base) const;

    // The rows of the file as the last load or save left them, each with its key (the enciphered
    // line) as the file holds it.
    struct StoredRow {
        std::string key;
        TmultFTP site;
    };

    std::vector<TmultFTP> rows_;
    // Per row: the stored row it came from, kNewRow for a row added here, kOrphanRow for one
    // whose stored row another process removed.
    static constexpr int kNewRow = -1;
    static constexpr int kOrphanRow = -2;
    mutable std::vector<int> origin_;
    mutable std::vector<StoredRow> stored_;
    mutable std::vector<int> deleted_;       // stored rows this list deleted
    mutable int storedActiveOrigin_ = kNewRow; // the stored row that was active at the load
    bool keepStoredActive_ = false;
    TmultFTP blank_;
    int currentRow_ = -1;
    int activeIndex_ = 0;
    ProfileFile::SaveFault saveFault_ = ProfileFile::SaveFault::None;
};
