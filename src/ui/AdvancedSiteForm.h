#pragma once
// "Advanced FTP Setup": the after-login command of one site.
#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

class TadvancedForm : public QDialog {
    Q_OBJECT
public:
    explicit TadvancedForm(QWidget *parent = nullptr);

    QLabel *nickNameLbl;
    QLineEdit *afterLoginEdit;
    QPushButton *saveBtn;
    QPushButton *cancelBtn;

protected:
    void showEvent(QShowEvent *event) override;
};
