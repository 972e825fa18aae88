#pragma once
// Every stored option with its default. The setup controls write here the moment they change and
// the logic reads the value at the moment of use, so a change takes effect at the next step.
#include <array>
#include <string>

enum class CaseFilter { NoChange = 0, Upper = 1, Lower = 2 };

struct ProxyOptions {
    std::string server;
    int port = 21;
    bool active = false;
};

struct SoundOptions {
    std::array<std::string, 8> file{}; // keys "1".."8"
    std::array<bool, 8> on{};          // keys "1c".."8c"
};

struct ScreenOptions {
    int width = 615;
    int height = 428;
    int top = 20;
    int left = 20;
    bool maximize = false;
    bool minimize = false;
    int split = 210;
};

struct Options {
    // Section "Options", in the order the settings file stores them.
    bool connect = false;
    bool compare = false;
    bool update = false;
    bool exit = false;
    bool delete_ = true; // key "delete"
    bool confirmDelete = false;
    bool fastCompare = false;
    bool deleteRefresh = false;
    bool tilde = false;
    bool multiSite = false;
    bool wakeup = false;
    bool expandTree = true;
    bool errorPrompt = true;
    bool slash = false;
    std::string fileGet;
    bool saveExt = false;
    bool saveUpLog = false;
    bool saveDownLog = false;
    bool saveAllLog = false;
    std::string saveLogDir;
    bool noDateMatch = false;
    bool useCHMOD = false;
    std::string CHMODcmd = "755";
    bool refreshIgnore = false;
    bool timeOffset = false;
    bool compareAndRefresh = false;
    bool forceRerfesh = false;
    bool fileSizeCheck = true;
    int connectTimeOut = 60;
    // Seconds without a reply or data movement after login before the session is given up
    // (0: wait for ever).
    int replyTimeOut = 120;
    // After a session is lost in the middle of a run: how often to reconnect and go on.
    int reconnectTries = 3;
    // A local link that leads outside the local top directory is skipped unless this is on.
    bool followOutsideLinks = false;
    // Listings use MLSD where the server offers it (exact times, no check file needed).
    bool useMLSD = true;
    // A run that would delete more than this share (in percent) of the files on the side it
    // deletes from stops first and asks; 100 or more never asks.
    int maxDeletePercent = 50;
    // Connections a run moves files over at once (a site may set its own); 1 moves one file at a
    // time over the session's own connection.
    int connections = 4;

    // Section "Filter".
    CaseFilter fileFilter = CaseFilter::NoChange;      // key "file"
    CaseFilter directoryFilter = CaseFilter::NoChange; // key "directory"

    ProxyOptions proxy;
    SoundOptions sound;
    ScreenOptions screen;

};
