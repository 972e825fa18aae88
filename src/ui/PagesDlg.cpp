#include "ui/PagesDlg.h"

#include "transfer/Fernhop.h"
#include "ui/AdvancedSiteForm.h"
#include "ui/PageControl.h"
#include "ui/SetupAboutPages.h"
#include "ui/SetupFiltersPage.h"
#include "ui/SetupOffsetPage.h"
#include "ui/SetupSettingsPages.h"
#include "ui/SetupSitesPage.h"
#include "ui/SetupSoundPage.h"

#include <QFileDialog>
#include <QHBoxLayout>
#include <QPushButton>
#include <QScrollArea>
#include <QTabBar>
#include <QVBoxLayout>

namespace {

// The tab pictures, one per page in tab order.
QList<QIcon> TabImages()
{
    QList<QIcon> images;
    for (int page = 0; page < setupPageCount; ++page)
        images.append(SetupPageIcon(page));
    return images;
}

QString ChooseWaveFile(QWidget *parent, const QString &current)
{
    QFileDialog dialog(parent, "Sound Waves");
    dialog.setNameFilter("Wave Files (*.wav)");
    dialog.setDefaultSuffix("wav");
    dialog.setFileMode(QFileDialog::ExistingFile);
    const QFileInfo info(current);
    if (!current.isEmpty() && info.dir().exists())
        dialog.setDirectory(info.dir());
    dialog.selectFile("*.wav");
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    return dialog.selectedFiles().first();
}

// Private keys live in ~/.ssh unless the user keeps them elsewhere; their names have no suffix.
QString ChooseKeyFile(QWidget *parent, const QString &current)
{
    QFileDialog dialog(parent, "SSH Private Key");
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setFilter(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    const QFileInfo info(current);
    if (!current.isEmpty() && info.dir().exists())
        dialog.setDirectory(info.dir());
    else if (QDir ssh(QDir::home().filePath(".ssh")); ssh.exists())
        dialog.setDirectory(ssh);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    return dialog.selectedFiles().first();
}

int g_lastPage = 0; // the page the dialog showed when it last closed

} // namespace

TPagesDlg::TPagesDlg(Fernhop &app_, QWidget *parent) : QDialog(parent), app(app_)
{
    setWindowTitle("Fernhop Setup");
    setObjectName("PagesDlg");
    isConnected = [this] { return app.ws.FtpClient1.Connected(); };
    chooseSoundFile = ChooseWaveFile;
    chooseKeyFile = ChooseKeyFile;
    advancedForm = new TadvancedForm(this);

    pages = new TImagePageControl(this);
    pages->setObjectName("pages");
    sitesPage = new SetupSitesPage(*this);
    filtersPage = new SetupFiltersPage(*this);
    offsetPage = new SetupOffsetPage(*this);
    soundPage = new SetupSoundPage(*this);
    pages->addTab(sitesPage, "FTP Setup");
    pages->addTab(MakeSettingsPage(*this), "Settings");
    pages->addTab(MakeAutoPage(*this), "Auto");
    pages->addTab(MakeWinGatePage(*this), "WinGate");
    pages->addTab(filtersPage, "File Filters");
    pages->addTab(offsetPage, "Time Offset");
    pages->addTab(soundPage, "Sound");
    pages->addTab(MakeSpecialPage(*this), "Special");
    pages->addTab(MakeIconsPage(*this), "Icons");
    pages->addTab(MakeAboutPage(*this), "About");
    pages->SetImages(TabImages());
    for (int tab = 0; tab < pages->count(); ++tab)
        pages->SetTabImage(tab, tab);

    OKBtn = new QPushButton("&Close", this);
    OKBtn->setObjectName("OKBtn");
    OKBtn->setDefault(true);
    connect(OKBtn, &QPushButton::clicked, this, &QDialog::accept);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(OKBtn);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(pages, 1);
    layout->addLayout(buttons);
    // Never smaller than every tab and every page whole need: the Special page scrolls only on a
    // screen too small for that.
    int pageHeight = 0;
    int pageMinimum = 0;
    for (int tab = 0; tab < pages->count(); ++tab) {
        QWidget *page = pages->widget(tab);
        pageMinimum = qMax(pageMinimum, page->minimumSizeHint().height());
        const auto *scroll = qobject_cast<QScrollArea *>(page);
        pageHeight = qMax(pageHeight, scroll && scroll->widget()
                                          ? scroll->widget()->sizeHint().height() + 2 * scroll->frameWidth()
                                          : page->minimumSizeHint().height());
    }
    const int width = qMax(680, pages->tabBar()->sizeHint().width() + 2 * layout->contentsMargins().left() + 8);
    setMinimumSize(width, layout->minimumSize().height() + qMax(0, pageHeight - pageMinimum));
    resize(width, qMax(540, minimumHeight()));

    // The program tells of site changes it makes while the dialog is open; the hook it had before
    // is kept and given back.
    previousOffsetHook_ = app.offsetLabelsChanged;
    app.offsetLabelsChanged = [this] {
        if (previousOffsetHook_)
            previousOffsetHook_();
        SiteListChangedOutside();
    };
}

TPagesDlg::~TPagesDlg()
{
    app.offsetLabelsChanged = previousOffsetHook_;
}

void TPagesDlg::ShowPage(int page)
{
    pages->setCurrentIndex(page);
}

void TPagesDlg::CurrentSiteChanged()
{
    offsetPage->Refresh();
}

void TPagesDlg::SiteListChangedOutside()
{
    sitesPage->ShowRows();
    sitesPage->ShowEdits();
    offsetPage->Refresh();
}

void TPagesDlg::SetCloseIsDefault(bool on)
{
    OKBtn->setDefault(on);
}

void ShowSetupDialog(QWidget *parent, Fernhop &app, int page)
{
    app.SetupDialogOpening();
    {
        TPagesDlg dialog(app, parent);
        dialog.ShowPage(page >= 0 && page < setupPageCount ? page : g_lastPage);
        dialog.exec();
        g_lastPage = dialog.pages->currentIndex();
    }
    app.SetupDialogClosed();
}
