#include "site/Detail.h"

const char *KindText(TEntryKind kind)
{
    switch (kind) {
    case ekDirectory: return "DIRECTORY";
    case ekFile: return "FILE";
    default: return "unknown";
    }
}

const char *IconName(int32_t icon)
{
    switch (icon) {
    case iconDir: return "Dir";
    case iconCreateDir: return "CreateDir";
    case iconNewFile: return "NewFile";
    case iconNewer: return "Newer";
    case iconSizeDiffers: return "SizeDiffers";
    case iconDelete: return "Delete";
    case iconFile: return "File";
    case iconSame: return "Same";
    case iconDirIgnored: return "DirIgnored";
    case iconFileIgnored: return "FileIgnored";
    case iconAlert: return "Alert";
    case iconFailed: return "Failed";
    case iconUpload: return "Upload";
    case iconDownload: return "Download";
    default: return "None";
    }
}
