#pragma once
// The seven steps from a new site to an updated web site, with pictures of the buttons to use.
#include <QDialog>

class GettingStartedDialog : public QDialog {
    Q_OBJECT
public:
    explicit GettingStartedDialog(QWidget *parent = nullptr);
};
