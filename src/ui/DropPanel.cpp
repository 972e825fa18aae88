#include "ui/DropPanel.h"

#include "base/MainView.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QGridLayout>
#include <QLabel>
#include <QListWidget>
#include <QMimeData>
#include <QPushButton>

DropPanel::DropPanel(IgnoreLists &lists, MainView &view, QWidget *parent) : QWidget(parent), lists_(lists), view_(view)
{
    setFixedWidth(kWidth);
    auto *grid = new QGridLayout(this);
    grid->setContentsMargins(2, 0, 2, 0);
    grid->setSpacing(2);
    auto makeList = [this] {
        auto *list = new QListWidget;
        list->setSelectionMode(QAbstractItemView::ExtendedSelection);
        list->setAcceptDrops(true);
        list->viewport()->setAcceptDrops(true);
        list->viewport()->installEventFilter(this);
        return list;
    };
    names_ = makeList();
    lead_ = makeList();
    extensions_ = makeList();
    auto *deleteBtn = new QPushButton(tr("De&lete")); // Alt+D is "&Download" on a download site
    grid->addWidget(new QLabel(tr("Ignore Directory / File")), 0, 0);
    grid->addWidget(new QLabel(tr("Leading Text")), 0, 1);
    grid->addWidget(new QLabel(tr("Extensions")), 0, 2);
    grid->addWidget(names_, 1, 0, 2, 1);
    grid->addWidget(lead_, 1, 1, 2, 1);
    grid->addWidget(extensions_, 1, 2);
    grid->addWidget(deleteBtn, 2, 2);
    grid->setColumnStretch(0, 5);
    grid->setColumnStretch(1, 3);
    grid->setColumnStretch(2, 3);

    for (IgnoreListKind kind : {IgnoreListKind::Names, IgnoreListKind::Lead, IgnoreListKind::Extensions}) {
        QListWidget *list = List(kind);
        connect(list, &QListWidget::itemSelectionChanged, this, [this, kind] { SelectionToCore(kind); });
        connect(list, &QListWidget::itemPressed, this, [this, kind] { lists_.lastClicked = kind; });
    }
    connect(lead_, &QListWidget::itemDoubleClicked, this, [this] {
        EditLeadItem(lists_, view_);
        Reload();
    });
    connect(deleteBtn, &QPushButton::clicked, this, &DropPanel::DeleteClicked);
    hide(); // width 0 until "Display &Ignore List"
}

QListWidget *DropPanel::List(IgnoreListKind kind) const
{
    switch (kind) {
    case IgnoreListKind::Names: return names_;
    case IgnoreListKind::Lead: return lead_;
    case IgnoreListKind::Extensions: return extensions_;
    }
    return names_;
}

void DropPanel::Reload()
{
    for (IgnoreListKind kind : {IgnoreListKind::Names, IgnoreListKind::Lead, IgnoreListKind::Extensions}) {
        QListWidget *list = List(kind);
        const IgnoreList &items = lists_.List(kind);
        const QSignalBlocker block(list);
        list->clear();
        for (int i = 0; i < items.Count(); ++i) {
            list->addItem(QString::fromStdString(items.Items()[size_t(i)]));
            list->item(i)->setSelected(items.IsSelected(i));
        }
    }
}

void DropPanel::SelectionToCore(IgnoreListKind kind)
{
    QListWidget *list = List(kind);
    IgnoreList &items = lists_.List(kind);
    for (int i = 0; i < list->count() && i < items.Count(); ++i)
        items.SetSelected(i, list->item(i)->isSelected());
}

void DropPanel::DeleteClicked()
{
    DeleteSelectedIgnoreItems(lists_);
    Reload();
}

void DropPanel::DropEntry(IgnoreListKind kind, const TDetail &entry)
{
    if (dropStarting)
        dropStarting();
    switch (kind) {
    case IgnoreListKind::Names: DropOnNames(lists_, entry); break;
    case IgnoreListKind::Lead: DropOnLead(lists_, view_, entry); break;
    case IgnoreListKind::Extensions: DropOnExtensions(lists_, view_, entry); break;
    }
    Reload();
}

bool DropPanel::eventFilter(QObject *watched, QEvent *event)
{
    const QEvent::Type type = event->type();
    if (type != QEvent::DragEnter && type != QEvent::DragMove && type != QEvent::Drop)
        return QWidget::eventFilter(watched, event);
    IgnoreListKind kind = IgnoreListKind::Names;
    if (watched == lead_->viewport())
        kind = IgnoreListKind::Lead;
    else if (watched == extensions_->viewport())
        kind = IgnoreListKind::Extensions;
    auto *drop = static_cast<QDropEvent *>(event);
    TDetail entry;
    if (!decodeDrop || !decodeDrop(drop->mimeData(), entry)) {
        drop->ignore();
        return true;
    }
    drop->setDropAction(Qt::CopyAction);
    drop->accept();
    if (type == QEvent::Drop)
        DropEntry(kind, entry);
    return true;
}
