#pragma once
// The option pages of the setup dialog: "Settings", "Auto", "WinGate" and "Special". Each control
// is bound to its option (SetupBinding.h).
#include <QWidget>

class TPagesDlg;

QWidget *MakeSettingsPage(TPagesDlg &dialog);
QWidget *MakeAutoPage(TPagesDlg &dialog);
QWidget *MakeWinGatePage(TPagesDlg &dialog);
QWidget *MakeSpecialPage(TPagesDlg &dialog);

// The WinGate rule: a proxy is given by its address, so a non-empty text must start with a digit.
inline constexpr const char *kProxyHostNameRefused = "Host names not allowed - you must enter an IP address";
