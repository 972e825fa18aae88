#pragma once
// The "Icons" page (the legend of the tree icons) and the "About" page.
#include <QWidget>

class TPagesDlg;

QWidget *MakeIconsPage(TPagesDlg &dialog);
QWidget *MakeAboutPage(TPagesDlg &dialog);
