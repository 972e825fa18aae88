#pragma once
// The small pictures of the setup dialog that are its own: the site list's multi-site mark and
// the extension table's green option labels. Drawn, so they follow the screen's scale.
#include <QIcon>
#include <QList>

// The site list's images: 0 takes part in the multi-site run, 1 does not.
const QList<QIcon> &SiteRowImages();
// The extension table's images: 0 "no change", 1 upper case, 2 lower case, 3 ASCII, 4 binary.
const QList<QIcon> &ExtensionCellImages();
// The size the extension table draws its cell images at.
QSize ExtensionCellImageSize();
