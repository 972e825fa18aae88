#include "ui/SetupFiltersPage.h"

#include "config/ExtensionNormalise.h"
#include "transfer/Fernhop.h"
#include "ui/PagesDlg.h"
#include "ui/SetupImages.h"

#include <QButtonGroup>
#include <QEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include <charconv>

namespace {

const char *const kCaseNames[] = {"no change", "UPPERCASE", "lowercase"};
const char *const kCaseTips[] = {"Extension: no change", "Extension: UPPERCASE", "Extension: lowercase"};

// The number a cell holds; a cell that is not a number counts as 0.
int CellValue(const std::string &cell)
{
    int value = 0;
    const auto result = std::from_chars(cell.data(), cell.data() + cell.size(), value);
    return result.ec == std::errc() ? value : 0;
}

// The radio group of a case filter, bound to its option.
QGroupBox *FilterGroup(QWidget *parent, const QString &title, const char *name, CaseFilter &option,
                       QButtonGroup *&group)
{
    auto *box = new QGroupBox(title, parent);
    box->setObjectName(name);
    group = new QButtonGroup(box);
    auto *layout = new QVBoxLayout(box);
    for (int i = 0; i < 3; ++i) {
        auto *radio = new QRadioButton(kCaseNames[i], box);
        group->addButton(radio, i);
        layout->addWidget(radio);
    }
    if (QAbstractButton *checked = group->button(int(option)))
        checked->setChecked(true);
    QObject::connect(group, &QButtonGroup::idToggled, box, [&option](int id, bool on) {
        if (on)
            option = CaseFilter(id);
    });
    return box;
}

} // namespace

SetupFiltersPage::SetupFiltersPage(TPagesDlg &dialog) : dialog_(dialog), app_(dialog.app)
{
    setObjectName("fileFiltersPage");
    Options &o = app_.options;
    QGroupBox *dirBox =
        FilterGroup(this, "Full Directory Name Filter", "dirFilterGroup", o.directoryFilter, dirFilterGroup);
    QGroupBox *fileBox = FilterGroup(this, "Full Filename Filter", "fileFilterGroup", o.fileFilter, fileFilterGroup);

    StringGrid1 = new QTableWidget(this);
    StringGrid1->setObjectName("StringGrid1");
    StringGrid1->setColumnCount(3);
    StringGrid1->setHorizontalHeaderLabels({"Transfer", "Extension", "File Extenstion Name"});
    StringGrid1->verticalHeader()->hide();
    StringGrid1->verticalHeader()->setDefaultSectionSize(20);
    StringGrid1->horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    StringGrid1->horizontalHeader()->setStretchLastSection(true);
    // Wide enough for the headers' words and the green labels.
    StringGrid1->setColumnWidth(0, 66);
    StringGrid1->setColumnWidth(1, 70);
    StringGrid1->setColumnWidth(2, 258);
    StringGrid1->setIconSize(ExtensionCellImageSize());
    StringGrid1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    StringGrid1->setSelectionBehavior(QAbstractItemView::SelectRows);
    StringGrid1->setSelectionMode(QAbstractItemView::ContiguousSelection);
    StringGrid1->setToolTip("Click on the green graphics to change options");
    connect(StringGrid1, &QTableWidget::cellClicked, this, &SetupFiltersPage::CellClicked);

    caseEdit = new QLineEdit(this);
    caseEdit->setObjectName("caseEdit");
    caseEdit->installEventFilter(this);
    Button2 = new QPushButton("&Add", this);
    Button2->setObjectName("Button2");
    deleteFilterBtn = new QPushButton("&Delete", this);
    deleteFilterBtn->setObjectName("deleteFilterBtn");
    Button1 = new QPushButton("D&efault Settings", this);
    Button1->setObjectName("Button1");
    for (QPushButton *button : {Button2, deleteFilterBtn, Button1})
        button->setAutoDefault(false);
    connect(caseEdit, &QLineEdit::returnPressed, this, &SetupFiltersPage::AddClick);
    connect(Button2, &QPushButton::clicked, this, &SetupFiltersPage::AddClick);
    connect(deleteFilterBtn, &QPushButton::clicked, this, &SetupFiltersPage::DeleteClick);
    connect(Button1, &QPushButton::clicked, this, &SetupFiltersPage::DefaultClick);

    auto note = [this](const QString &text) {
        auto *label = new QLabel(text, this);
        label->setWordWrap(true);
        return label;
    };
    auto *left = new QVBoxLayout;
    left->addWidget(dirBox);
    left->addWidget(fileBox);
    left->addWidget(note("These filters affect the entire filename. However, the extension list on the right will "
                         "change to the extension only."));
    left->addStretch();

    auto *editRow = new QHBoxLayout;
    editRow->addWidget(caseEdit, 1);
    editRow->addWidget(Button2);
    editRow->addWidget(deleteFilterBtn);
    editRow->addWidget(Button1);
    auto *right = new QVBoxLayout;
    right->addWidget(StringGrid1, 1);
    right->addLayout(editRow);
    right->addWidget(note("A match in this extension list, with the last characters of a filename, will alter the "
                          "case of that file extension."));
    right->addWidget(note("Click on the green labels once to change the settings."));

    auto *layout = new QHBoxLayout(this);
    layout->addLayout(left, 2);
    layout->addLayout(right, 5);

    ShowTable();
}

void SetupFiltersPage::ShowTable()
{
    const std::vector<ExtensionRow> &rows = app_.ws.extensions.rows;
    const QList<QIcon> &images = ExtensionCellImages();
    // An empty table still shows one empty row.
    const int count = std::max<int>(int(rows.size()), 1);
    StringGrid1->clearContents();
    StringGrid1->setRowCount(count);
    for (int r = 0; r < count; ++r) {
        const ExtensionRow *row = r < int(rows.size()) ? &rows[size_t(r)] : nullptr;
        auto *transfer = new QTableWidgetItem;
        auto *extCase = new QTableWidgetItem;
        auto *extension = new QTableWidgetItem(row ? QString::fromStdString(row->extension) : QString());
        if (row) {
            const bool binary = row->transfer != "0"; // as the transfers read it
            transfer->setIcon(images[binary ? 4 : 3]);
            transfer->setToolTip(binary ? "Binary transfer" : "ASCII transfer");
            const int c = row->extCase == "1" ? 1 : row->extCase == "2" ? 2 : 0; // as the filters read it
            {
                extCase->setIcon(images[c]);
                extCase->setToolTip(kCaseTips[c]);
            }
            transfer->setData(Qt::UserRole, QString::fromStdString(row->transfer));
            extCase->setData(Qt::UserRole, QString::fromStdString(row->extCase));
        }
        StringGrid1->setItem(r, 0, transfer);
        StringGrid1->setItem(r, 1, extCase);
        StringGrid1->setItem(r, 2, extension);
    }
    deleteFilterBtn->setEnabled(!rows.empty());
}

void SetupFiltersPage::Normalise()
{
    NormaliseExtensionTable(app_.ws.extensions);
    ShowTable();
}

void SetupFiltersPage::CellClicked(int row, int column)
{
    std::vector<ExtensionRow> &rows = app_.ws.extensions.rows;
    if (row < 0 || row >= int(rows.size()))
        return; // the empty row of an empty table
    ExtensionRow &cells = rows[size_t(row)];
    if (column == 0) {
        const int v = CellValue(cells.transfer);
        cells.transfer = std::to_string(v <= 0 ? v + 1 : 0);
    } else if (column == 1) {
        const int v = CellValue(cells.extCase);
        cells.extCase = std::to_string(v < 2 ? v + 1 : 0);
    } else {
        return;
    }
    // The order stays until the next edit normalises, so the clicked row does not jump away.
    const auto selection = StringGrid1->selectedRanges();
    ShowTable();
    for (const QTableWidgetSelectionRange &range : selection)
        StringGrid1->setRangeSelected(range, true);
}

void SetupFiltersPage::AddClick()
{
    const QString text = caseEdit->text();
    if (text.isEmpty())
        return;
    app_.ws.extensions.rows.push_back({"1", "0", text.toStdString()});
    Normalise();
    caseEdit->clear();
}

void SetupFiltersPage::DeleteClick()
{
    std::vector<ExtensionRow> &rows = app_.ws.extensions.rows;
    for (const QTableWidgetSelectionRange &range : StringGrid1->selectedRanges())
        for (int r = range.topRow(); r <= range.bottomRow(); ++r)
            if (r >= 0 && r < int(rows.size()))
                rows[size_t(r)] = {"1", "0", ""}; // an empty extension: the normalisation drops it
    Normalise();
}

void SetupFiltersPage::DefaultClick()
{
    for (ExtensionRow &row : app_.ws.extensions.rows) {
        row.transfer = "1";
        row.extCase = "0";
    }
    ShowTable();
}

bool SetupFiltersPage::eventFilter(QObject *watched, QEvent *event)
{
    // While the extension edit has the focus, Enter adds the extension instead of closing.
    if (watched == caseEdit) {
        if (event->type() == QEvent::FocusIn)
            dialog_.SetCloseIsDefault(false);
        else if (event->type() == QEvent::FocusOut)
            dialog_.SetCloseIsDefault(true);
    }
    return QWidget::eventFilter(watched, event);
}
