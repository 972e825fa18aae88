// The main window's layout, geometry and closing.
#include "ui/MainWindow.h"

#include "base/SignalStop.h"
#include "config/Settings.h"
#include "transfer/Fernhop.h"
#include "ui/DropPanel.h"
#include "ui/FileLabel.h"
#include "ui/HintPanel.h"
#include "ui/Icons.h"
#include "ui/LogMemo.h"
#include "ui/SiteTreeView.h"
#include "ui/TransferPanel.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSplitter>
#include <QStatusBar>
#include <QTreeView>
#include <QVBoxLayout>

namespace {
constexpr int kTopBarHeight = 32;
constexpr int kLeftStripWidth = 69;
constexpr int kBottomBandHeight = 95;
constexpr int kSplitBarWidth = 8;
constexpr int kNickNameComboWidth = 160;

QLabel *HeaderPanel(const QString &text)
{
    auto *label = new QLabel(text);
    label->setFrameStyle(QFrame::Panel | QFrame::Raised);
    label->setMargin(2);
    return label;
}
} // namespace

MainWindow::MainWindow(const std::string &commandLineSite, QWidget *parent)
    : QMainWindow(parent), commandLineSite_(commandLineSite)
{
    setWindowTitle(QStringLiteral("Fernhop"));
    setWindowIcon(DirectionIcon(false));
    app_ = std::make_unique<Fernhop>(static_cast<MainView &>(*this));
    BuildLayout();
    BuildMenus();
    BuildPopups();
    AttachTrees();
    WireButtons();
    WireCore();

    // The window's size and split come before the settings, as the window is made with them.
    LoadScreenSettings(app_->options.screen);
    ApplyStoredGeometry();

    app_->Start(commandLineSite_);
    // Queued after Start's own deferred LoadSettings, so it runs once the sites are loaded.
    QMetaObject::invokeMethod(this, [this] { AfterSettingsLoaded(); }, Qt::QueuedConnection);
}

MainWindow::~MainWindow()
{
    // The tree models observe the core's trees: they go before the core does.
    localTree_->SetSiteModel(nullptr);
    remoteTree_->SetSiteModel(nullptr);
    delete treeModels_[0];
    delete treeModels_[1];
    treeModels_[0] = treeModels_[1] = nullptr;
    app_.reset();
}

// ---- layout ------------------------------------------------------------------------------------

void MainWindow::BuildLayout()
{
    auto *central = new QWidget;
    auto *outer = new QVBoxLayout(central);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);
    outer->addWidget(BuildTopBar());
    auto *middle = new QHBoxLayout;
    middle->setContentsMargins(0, 0, 0, 0);
    middle->setSpacing(0);
    middle->addWidget(BuildLeftStrip());
    middle->addWidget(BuildCentre(), 1);
    outer->addLayout(middle, 1);
    outer->addWidget(BuildBottomBand());
    setCentralWidget(central);
    hintPanel_->setParent(central);
    hintPanel_->hide();
    BuildStatusBar();
}

QWidget *MainWindow::BuildTopBar()
{
    auto *bar = new QFrame;
    bar->setFrameStyle(QFrame::Panel | QFrame::Raised);
    bar->setMinimumHeight(kTopBarHeight);
    auto *row = new QHBoxLayout(bar);
    row->setContentsMargins(4, 2, 4, 2);
    row->setSpacing(4);
    nickNameCombo_ = new QComboBox;
    nickNameCombo_->setObjectName(QStringLiteral("nickNameCombo"));
    nickNameCombo_->setFixedWidth(kNickNameComboWidth);
    row->addWidget(nickNameCombo_);
    auto speedButton = [row](const QString &text, const char *name) {
        auto *button = new QPushButton(text);
        button->setObjectName(QLatin1String(name));
        button->setEnabled(false);
        button->setFocusPolicy(Qt::TabFocus);
        row->addWidget(button);
        return button;
    };
    connectBtn_ = speedButton(tr("&Connect"), "connectBtn");
    compareBtn_ = speedButton(tr("C&ompare"), "compareBtn");
    updateBtn_ = speedButton(tr("&Upload"), "updateBtn");
    stopBtn_ = speedButton(tr("&Stop"), "stopBtn");
    connectBtn_->setIcon(SpeedButtonIcon(SpeedButton::Connect));
    compareBtn_->setIcon(SpeedButtonIcon(SpeedButton::Compare));
    updateBtn_->setIcon(SpeedButtonIcon(SpeedButton::Upload));
    stopBtn_->setIcon(SpeedButtonIcon(SpeedButton::Stop));
    ntDebugButton_ = new QPushButton(QStringLiteral("NT 4.0 Debug ON"));
    ntDebugButton_->setObjectName(QStringLiteral("NTdebugButton"));
    ntDebugButton_->hide();
    row->addWidget(ntDebugButton_);
    row->addStretch(1);
    return bar;
}

QWidget *MainWindow::BuildLeftStrip()
{
    auto *strip = new QFrame;
    strip->setFrameStyle(QFrame::Panel | QFrame::Raised);
    strip->setFixedWidth(kLeftStripWidth);
    auto *column = new QVBoxLayout(strip);
    column->setContentsMargins(2, 6, 2, 6);
    auto *picture = new QLabel;
    picture->setAlignment(Qt::AlignCenter);
    picture->setPixmap(DirectionIcon(false).pixmap(40, 40));
    versionLabel_ = new QLabel(tr("Version"));
    versionLabel_->setAlignment(Qt::AlignCenter);
    versionLabel_->installEventFilter(this);
    versLabelGraphic_ = new QLabel(QStringLiteral("v3.7b"));
    versLabelGraphic_->setObjectName(QStringLiteral("versLabelGraphic"));
    versLabelGraphic_->setAlignment(Qt::AlignCenter);
    QFont big = versLabelGraphic_->font();
    big.setBold(true);
    big.setPointSizeF(big.pointSizeF() * 1.3);
    versLabelGraphic_->setFont(big);
    versLabelGraphic_->installEventFilter(this);
    column->addWidget(picture);
    column->addWidget(versionLabel_);
    column->addWidget(versLabelGraphic_);
    column->addStretch(1);
    return strip;
}

QWidget *MainWindow::BuildCentre()
{
    splitter_ = new QSplitter(Qt::Horizontal);
    splitter_->setObjectName(QStringLiteral("middleSplitPanel"));
    splitter_->setHandleWidth(kSplitBarWidth);
    splitter_->setChildrenCollapsible(false);

    auto pane = [](QWidget *header, QWidget *tree, QLayout *directoryRow) {
        auto *widget = new QWidget;
        auto *column = new QVBoxLayout(widget);
        column->setContentsMargins(0, 0, 0, 0);
        column->setSpacing(2);
        column->addWidget(header);
        column->addWidget(tree, 1);
        column->addLayout(directoryRow);
        return widget;
    };
    auto makeTree = [](const char *name) {
        auto *tree = new SiteTreeView;
        tree->setObjectName(QLatin1String(name));
        tree->setContextMenuPolicy(Qt::CustomContextMenu);
        return tree;
    };
    localTree_ = makeTree("localTree");
    remoteTree_ = makeTree("remoteTree");

    auto *localRow = new QHBoxLayout;
    localRow->setSpacing(2);
    localDirLabel_ = new FileLabel;
    localDirLabel_->SetSeparator(QStringLiteral("/"));
    localDirLabel_->setObjectName(QStringLiteral("localDirLabel"));
    localDirLabel_->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    localDirLabel_->setMinimumWidth(8);
    localDirLabel_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    changeLocalBtn_ = new QPushButton(tr("Ch&ange")); // Alt+H is "&Help"
    changeLocalBtn_->setObjectName(QStringLiteral("changeLocalBtn"));
    refreshLocalBtn_ = new QPushButton(tr("R&efresh"));
    refreshLocalBtn_->setObjectName(QStringLiteral("refreshLocalBtn"));
    changeLocalBtn_->setEnabled(false);
    refreshLocalBtn_->setEnabled(false);
    localRow->addWidget(localDirLabel_, 1);
    localRow->addWidget(changeLocalBtn_);
    localRow->addWidget(refreshLocalBtn_);

    auto *remoteRow = new QHBoxLayout;
    remoteRow->setSpacing(2);
    remoteDirEdit_ = new QLineEdit;
    remoteDirEdit_->setObjectName(QStringLiteral("remoteDirEdit"));
    remoteDirEdit_->setToolTip(tr("Enter your remote Directory:\neg. /www/users/html"));
    remoteDirEdit_->installEventFilter(this);
    refreshRemoteBtn_ = new QPushButton(tr("&Refresh"));
    refreshRemoteBtn_->setObjectName(QStringLiteral("refreshRemoteBtn"));
    refreshRemoteBtn_->setEnabled(false);
    refreshRemoteBtn_->setIcon(SpeedButtonIcon(SpeedButton::Refresh));
    remoteRow->addWidget(remoteDirEdit_, 1);
    remoteRow->addWidget(refreshRemoteBtn_);

    auto *localNamePanel = HeaderPanel(tr("Local Directory"));
    localNamePanel->setObjectName(QStringLiteral("localNamePanel"));
    splitter_->addWidget(pane(localNamePanel, localTree_, localRow));
    splitter_->addWidget(pane(HeaderPanel(tr("Remote Directory")), remoteTree_, remoteRow));
    // The remote side takes what the window gains or loses; the local width is the user's.
    splitter_->setStretchFactor(0, 0);
    splitter_->setStretchFactor(1, 1);
    connect(splitter_, &QSplitter::splitterMoved, this, [this] { NoteGeometry(); });
    // The details panel floats over both trees. Its parent is the window's centre (set in
    // BuildLayout), never the splitter, which would take it for a third pane.
    hintPanel_ = new HintPanel(nullptr);
    hintPanel_->setObjectName(QStringLiteral("hintPanel"));
    hintPanel_->SetModel(&app_->ws);
    return splitter_;
}

QWidget *MainWindow::BuildBottomBand()
{
    auto *band = new QWidget;
    band->setFixedHeight(kBottomBandHeight);
    auto *row = new QHBoxLayout(band);
    row->setContentsMargins(0, 2, 0, 0);
    row->setSpacing(2);
    dropPanel_ = new DropPanel(app_->ws.ignore, *this);
    dropPanel_->setObjectName(QStringLiteral("dropPanel"));
    logMemo_ = new LogMemo;
    logMemo_->setObjectName(QStringLiteral("ftpLogMemo"));
    transferPanel_ = new TransferPanel;
    transferPanel_->setObjectName(QStringLiteral("transferPanel"));
    row->addWidget(dropPanel_);
    row->addWidget(logMemo_, 1);
    row->addWidget(transferPanel_);
    return band;
}

void MainWindow::BuildStatusBar()
{
    // The server's address and its system type take the room their text needs, up to these
    // widths; the status text takes the rest, so that a compare's summary fits the default size.
    static constexpr int kMaxWidths[2] = {140, 200};
    for (int i = 0; i < 3; ++i) {
        statusPanels_[i] = new QLabel;
        statusPanels_[i]->setObjectName(QStringLiteral("StatusBar1.%1").arg(i));
        if (i < 2)
            statusPanels_[i]->setMaximumWidth(kMaxWidths[i]);
        else
            statusPanels_[i]->setMinimumWidth(50);
        statusBar()->addWidget(statusPanels_[i], i == 2 ? 1 : 0);
    }
    statusBar()->setSizeGripEnabled(true);
}

QWidget *MainWindow::ControlWidget(Control control) const
{
    switch (control) {
    case Control::connectBtn: return connectBtn_;
    case Control::compareBtn: return compareBtn_;
    case Control::updateBtn: return updateBtn_;
    case Control::stopBtn: return stopBtn_;
    case Control::changeLocalBtn: return changeLocalBtn_;
    case Control::refreshRemoteBtn: return refreshRemoteBtn_;
    case Control::refreshLocalBtn: return refreshLocalBtn_;
    case Control::nickNameCombo: return nickNameCombo_;
    case Control::remoteDirEdit: return remoteDirEdit_;
    }
    return nullptr;
}

// ---- geometry ----------------------------------------------------------------------------------

int MainWindow::LocalTreeWidth() const
{
    return splitter_->sizes().value(0);
}

void MainWindow::SetLocalTreeWidth(int width)
{
    const int total = splitter_->width() > kSplitBarWidth ? splitter_->width() - kSplitBarWidth
                                                         : width + kDefaultSplit; // not laid out yet
    splitter_->setSizes({width, qMax(1, total - width)});
    NoteGeometry();
}

void MainWindow::ApplyStoredGeometry()
{
    const ScreenOptions screen = app_->options.screen;
    resize(screen.width, screen.height);
    move(screen.left, screen.top);
    // The layout must know the window's width before the split can be placed in it.
    if (QLayout *layout = centralWidget()->layout())
        layout->activate();
    SetLocalTreeWidth(screen.split);
    switch (StartWindowState(screen)) {
    case WindowStartState::Maximized: setWindowState(Qt::WindowMaximized); break;
    case WindowStartState::Minimized: setWindowState(Qt::WindowMinimized); break;
    case WindowStartState::Normal: break;
    }
    geometryReady_ = true;
    NoteGeometry();
}

// options.screen follows the window, so every save (whoever starts it) stores it as it is.
void MainWindow::NoteGeometry()
{
    if (!geometryReady_ || !app_)
        return;
    ScreenOptions &screen = app_->options.screen;
    screen.maximize = isMaximized();
    screen.minimize = isMinimized();
    if (!screen.maximize && !screen.minimize) {
        screen.width = width();
        screen.height = height();
        screen.left = x();
        screen.top = y();
    }
    screen.split = LocalTreeWidth();
}

void MainWindow::DefaultScreenSize()
{
    setWindowState(Qt::WindowNoState);
    showNormal();
    resize(kDefaultWidth, kDefaultHeight);
    if (QLayout *layout = centralWidget()->layout())
        layout->activate();
    SetLocalTreeWidth(kDefaultSplit);
}

void MainWindow::ShowDropPanel(bool shown)
{
    dropPanel_->setVisible(shown);
}

void MainWindow::ComeForward()
{
    if (isMinimized())
        setWindowState(windowState() & ~Qt::WindowMinimized);
    show();
    raise();
    activateWindow();
}

void MainWindow::resizeEvent(QResizeEvent *event)
{
    QMainWindow::resizeEvent(event);
    NoteGeometry();
}

void MainWindow::moveEvent(QMoveEvent *event)
{
    QMainWindow::moveEvent(event);
    NoteGeometry();
}

void MainWindow::changeEvent(QEvent *event)
{
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange)
        NoteGeometry();
}

// ---- closing -----------------------------------------------------------------------------------

void MainWindow::closeEvent(QCloseEvent *event)
{
    if (closing_ || app_->Closed()) {
        event->accept();
        return;
    }
    // A prompt's answer is still awaited by the code that opened it.
    if (openPrompts_ > 0) {
        event->ignore();
        return;
    }
    NoteGeometry();
    inCloseEvent_ = true;
    const bool closed = app_->RequestClose();
    inCloseEvent_ = false;
    if (closed)
        event->accept();
    else
        event->ignore();
}

void MainWindow::CloseWindow()
{
    closing_ = true;
    if (!inCloseEvent_)
        QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
}
