#pragma once
// The local side of a transfer, shared by the FTP and the SFTP engines.
#include <string>
#include <sys/types.h>

// Opens a regular file only (a FIFO or device would block the program); -1 on failure.
int OpenRegularFile(const std::string &path, int flags, mode_t mode = 0);
// Opens a download's file for writing, emptied; -1 on failure.
int OpenEmptied(const std::string &path);
