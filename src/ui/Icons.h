#pragma once
// The program's own pictures, drawn as SVG and loaded from the :/icons resource. Each function
// returns a null QIcon for a number it has no picture for.
#include <QIcon>

// A tree node's state image by its TEntryIcon number (1-10, 12-15).
QIcon StateIcon(int icon);

// The nickname combo's picture of a site's direction; `selected` is the variant drawn on the
// highlight colour.
QIcon DirectionIcon(bool download, bool selected = false);

enum class SpeedButton { Connect, Disconnect, Compare, Upload, Download, Stop, Refresh };
QIcon SpeedButtonIcon(SpeedButton button);

// The setup dialog's tab images, in tab order.
enum SetupPage {
    pageFtpSetup = 0,
    pageSettings,
    pageAuto,
    pageWinGate,
    pageFileFilters,
    pageTimeOffset,
    pageSound,
    pageSpecial,
    pageIcons,
    pageAbout,
    setupPageCount
};
QIcon SetupPageIcon(int page);

// The resource path of a state image ("" when there is none), for rich text and tests.
QString StateIconPath(int icon);
