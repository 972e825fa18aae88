#pragma once
// The "File Filters" page: the two name case filters and the extension table. The table shows
// the program's ExtensionTable; every edit goes into it and is normalised by the core's rules.
#include <QWidget>

class Fernhop;
class QButtonGroup;
class QLineEdit;
class QPushButton;
class QTableWidget;
class TPagesDlg;

class SetupFiltersPage : public QWidget {
    Q_OBJECT
public:
    explicit SetupFiltersPage(TPagesDlg &dialog);

    QButtonGroup *dirFilterGroup;
    QButtonGroup *fileFilterGroup;
    QTableWidget *StringGrid1;
    QLineEdit *caseEdit;
    QPushButton *Button2;         // "&Add"
    QPushButton *deleteFilterBtn; // "&Delete"
    QPushButton *Button1;         // "D&efault Settings"

    // A click on a cell of data row `row` (from 0, below the header) and `column`.
    void CellClicked(int row, int column);
    void AddClick();
    void DeleteClick();
    void DefaultClick();
    // The table rows from the program's extension table.
    void ShowTable();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void Normalise();

    TPagesDlg &dialog_;
    Fernhop &app_;
};
