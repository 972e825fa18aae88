#include "ui/SetupAboutPages.h"

#include "site/Detail.h"
#include "transfer/SiteSwitch.h"
#include "ui/Icons.h"
#include "ui/PagesDlg.h"

#include <QGridLayout>
#include <QIcon>
#include <QLabel>
#include <QVBoxLayout>

namespace {

struct LegendRow {
    TEntryIcon icon;
    const char *caption;
};

// In the order the legend lists them.
const LegendRow kLegend[] = {
    {iconNewer, "A file which will be updated"},
    {iconCreateDir, "Create New Directory"},
    {iconNewFile, "New Upload/Download"},
    {iconDelete, "Delete Directory / File"},
    {iconFileIgnored, "File is ignored during compare"},
    {iconDirIgnored, "Directory is ignored during compare"},
    {iconFile, "File in the listing"},
    {iconAlert, "File requires user input during transfer"},
    {iconDir, "Directory in the listing"},
    {iconSame, "A file which needs no transfer"},
    {iconSizeDiffers, "Size of files is diferrent and will be transferred"},
};

} // namespace

QWidget *MakeIconsPage(TPagesDlg &)
{
    auto *page = new QWidget;
    page->setObjectName("iconsPage");
    auto *layout = new QVBoxLayout(page);
    auto *note = new QLabel(" When the files and directories are analysed, these icons are placed next to each entry. "
                            " They represent the action to be performed on the files and directories involved in the "
                            "transfer.",
                            page);
    note->setWordWrap(true);
    layout->addWidget(note);
    layout->addSpacing(6);

    // Two columns of icon and caption.
    auto *grid = new QGridLayout;
    const int perColumn = 6;
    int i = 0;
    for (const LegendRow &row : kLegend) {
        auto *icon = new QLabel(page);
        icon->setPixmap(StateIcon(row.icon).pixmap(20, 20));
        icon->setFixedSize(22, 22);
        auto *caption = new QLabel(row.caption, page);
        caption->setObjectName(QString("legend%1").arg(int(row.icon)));
        const int column = (i / perColumn) * 2;
        grid->addWidget(icon, i % perColumn, column);
        grid->addWidget(caption, i % perColumn, column + 1);
        ++i;
    }
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(3, 1);
    grid->setHorizontalSpacing(8);
    layout->addLayout(grid);
    layout->addStretch();
    return page;
}

QWidget *MakeAboutPage(TPagesDlg &)
{
    auto *page = new QWidget;
    page->setObjectName("aboutPage");
    auto *versLabelInfo = new QLabel(kVersionTitle, page);
    versLabelInfo->setObjectName("versLabelInfo");
    QFont big = versLabelInfo->font();
    big.setPointSizeF(big.pointSizeF() * 1.6);
    big.setBold(true);
    versLabelInfo->setFont(big);
    versLabelInfo->setAlignment(Qt::AlignCenter);
    auto *text = new QLabel("Keeps a web site on an FTP server in step with a directory tree on this computer.", page);
    text->setAlignment(Qt::AlignCenter);
    text->setWordWrap(true);

    versLabelInfo->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    text->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    auto *layout = new QVBoxLayout(page);
    layout->addStretch(1);
    layout->addWidget(versLabelInfo);
    layout->addSpacing(10);
    layout->addWidget(text);
    layout->addStretch(2);
    return page;
}
