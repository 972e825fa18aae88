#pragma once
// The "Time Offset" page: the current site's clock-offset record and "C&lear Offset".
#include <QWidget>

class Fernhop;
class QLabel;
class QPushButton;
class TPagesDlg;

class SetupOffsetPage : public QWidget {
    Q_OBJECT
public:
    explicit SetupOffsetPage(TPagesDlg &dialog);

    QLabel *offsetNickNameLbl;
    QLabel *offsetFTPAddressLbl;
    QLabel *saveTimePClbl;
    QLabel *saveTimeServerlbl;
    QPushButton *BitBtn1; // "C&lear Offset"

    // The labels from the current site.
    void Refresh();

private:
    Fernhop &app_;
};
