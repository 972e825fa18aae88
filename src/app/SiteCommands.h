#pragma once
// Site and option management without a window. Each command reads and writes the same settings
// files as the window does, with the same rules and messages, and returns the exit status.
#include "app/CommandLine.h"

#include <cstdio>

int ListSitesCommand(std::FILE *out, std::FILE *err);
int AddSiteCommand(const CommandLine &cl, std::FILE *out, std::FILE *err);
int ReplaceSiteCommand(const CommandLine &cl, std::FILE *out, std::FILE *err);
int RemoveSiteCommand(const CommandLine &cl, std::FILE *out, std::FILE *err);
int SetOptionsCommand(const CommandLine &cl, std::FILE *out, std::FILE *err);
int ShowSettingsCommand(std::FILE *out, std::FILE *err);
