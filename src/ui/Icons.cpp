#include "ui/Icons.h"

#include "site/Detail.h"

#include <QHash>

// The resource lives in a static library: nothing would pull its object file in otherwise.
static void InitIconResource()
{
    Q_INIT_RESOURCE(icons);
}

namespace {
QIcon Load(const QString &path)
{
    static const bool initialised = (InitIconResource(), true);
    (void)initialised;
    // QIcon renders an SVG afresh for every size asked; keep one QIcon per file so the
    // rendered pixmaps are cached once for the whole program.
    static QHash<QString, QIcon> cache;
    auto it = cache.find(path);
    if (it == cache.end())
        it = cache.insert(path, path.isEmpty() ? QIcon() : QIcon(path));
    return *it;
}
} // namespace

QString StateIconPath(int icon)
{
    switch (icon) {
    case iconDir: return QStringLiteral(":/icons/state-dir.svg");
    case iconCreateDir: return QStringLiteral(":/icons/state-createdir.svg");
    case iconNewFile: return QStringLiteral(":/icons/state-newfile.svg");
    case iconNewer: return QStringLiteral(":/icons/state-newer.svg");
    case iconSizeDiffers: return QStringLiteral(":/icons/state-sizediffers.svg");
    case iconDelete: return QStringLiteral(":/icons/state-delete.svg");
    case iconFile: return QStringLiteral(":/icons/state-file.svg");
    case iconSame: return QStringLiteral(":/icons/state-same.svg");
    case iconDirIgnored: return QStringLiteral(":/icons/state-dirignored.svg");
    case iconFileIgnored: return QStringLiteral(":/icons/state-fileignored.svg");
    case iconAlert: return QStringLiteral(":/icons/state-alert.svg");
    case iconFailed: return QStringLiteral(":/icons/state-failed.svg");
    case iconUpload: return QStringLiteral(":/icons/state-upload.svg");
    case iconDownload: return QStringLiteral(":/icons/state-download.svg");
    default: return {};
    }
}

QIcon StateIcon(int icon)
{
    return Load(StateIconPath(icon));
}

QIcon DirectionIcon(bool download, bool selected)
{
    if (selected)
        return Load(download ? QStringLiteral(":/icons/site-download-selected.svg")
                             : QStringLiteral(":/icons/site-upload-selected.svg"));
    return Load(download ? QStringLiteral(":/icons/site-download.svg") : QStringLiteral(":/icons/site-upload.svg"));
}

QIcon SpeedButtonIcon(SpeedButton button)
{
    switch (button) {
    case SpeedButton::Connect: return Load(QStringLiteral(":/icons/speed-connect.svg"));
    case SpeedButton::Disconnect: return Load(QStringLiteral(":/icons/speed-disconnect.svg"));
    case SpeedButton::Compare: return Load(QStringLiteral(":/icons/speed-compare.svg"));
    case SpeedButton::Upload: return DirectionIcon(false);
    case SpeedButton::Download: return DirectionIcon(true);
    case SpeedButton::Stop: return Load(QStringLiteral(":/icons/speed-stop.svg"));
    case SpeedButton::Refresh: return Load(QStringLiteral(":/icons/speed-refresh.svg"));
    }
    return {};
}

QIcon SetupPageIcon(int page)
{
    static const char *const files[setupPageCount] = {
        ":/icons/page-ftpsetup.svg", ":/icons/page-settings.svg",    ":/icons/page-auto.svg",
        ":/icons/page-wingate.svg",  ":/icons/page-filefilters.svg", ":/icons/page-timeoffset.svg",
        ":/icons/page-sound.svg",    ":/icons/page-star.svg",        ":/icons/page-icons.svg",
        ":/icons/page-about.svg",
    };
    if (page < 0 || page >= setupPageCount)
        return {};
    return Load(QString::fromLatin1(files[page]));
}
