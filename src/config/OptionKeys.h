#pragma once
// The keys of the "Options" section, in the order the settings file keeps them. Loading, saving
// and the command line's --set share this one list.
#include "config/Options.h"

#include <string>
#include <vector>

// Every key of the "Options" section in the order the file keeps them, with the field that holds
// it (of a const or a mutable Options) and the field of `d` that gives its default. Loading and
// saving share this one list.
template <typename AnyOptions, typename Visit>
void ForEachOption(AnyOptions &o, const Options &d, Visit &&visit)
{
    visit("connect", o.connect, d.connect);
    visit("compare", o.compare, d.compare);
    visit("update", o.update, d.update);
    visit("exit", o.exit, d.exit);
    visit("delete", o.delete_, d.delete_);
    visit("confirmDelete", o.confirmDelete, d.confirmDelete);
    visit("fastCompare", o.fastCompare, d.fastCompare);
    visit("deleteRefresh", o.deleteRefresh, d.deleteRefresh);
    visit("tilde", o.tilde, d.tilde);
    visit("multiSite", o.multiSite, d.multiSite);
    visit("wakeup", o.wakeup, d.wakeup);
    visit("expandTree", o.expandTree, d.expandTree);
    visit("errorPrompt", o.errorPrompt, d.errorPrompt);
    visit("slash", o.slash, d.slash);
    visit("fileGet", o.fileGet, d.fileGet);
    visit("saveExt", o.saveExt, d.saveExt);
    visit("saveUpLog", o.saveUpLog, d.saveUpLog);
    visit("saveDownLog", o.saveDownLog, d.saveDownLog);
    visit("saveAllLog", o.saveAllLog, d.saveAllLog);
    visit("saveLogDir", o.saveLogDir, d.saveLogDir);
    visit("noDateMatch", o.noDateMatch, d.noDateMatch);
    visit("useCHMOD", o.useCHMOD, d.useCHMOD);
    visit("CHMODcmd", o.CHMODcmd, d.CHMODcmd);
    visit("refreshIgnore", o.refreshIgnore, d.refreshIgnore);
    visit("timeOffset", o.timeOffset, d.timeOffset);
    visit("compareAndRefresh", o.compareAndRefresh, d.compareAndRefresh);
    visit("forceRerfesh", o.forceRerfesh, d.forceRerfesh);
    visit("fileSizeCheck", o.fileSizeCheck, d.fileSizeCheck);
    visit("connectTimeOut", o.connectTimeOut, d.connectTimeOut);
    visit("replyTimeOut", o.replyTimeOut, d.replyTimeOut);
    visit("reconnectTries", o.reconnectTries, d.reconnectTries);
    visit("followOutsideLinks", o.followOutsideLinks, d.followOutsideLinks);
    visit("useMLSD", o.useMLSD, d.useMLSD);
    visit("maxDeletePercent", o.maxDeletePercent, d.maxDeletePercent);
    visit("connections", o.connections, d.connections);
}

// Sets one key of the "Options" or "Filter" section from text, as the settings file would hold
// it ("1"/"0" or "true"/"false" for switches). Returns "" or the reason it was refused.
std::string SetOptionFromText(Options &options, const std::string &key, const std::string &value);

// Every "Options" and "Filter" key with its value as the settings file writes it.
std::vector<std::pair<std::string, std::string>> OptionTexts(const Options &options);
