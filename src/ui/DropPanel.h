#pragma once
// The ignore lists at the left of the bottom band: "Ignore Directory / File", "Leading Text" and
// "Extensions", each a drop target for entries dragged out of either tree, and "De&lete" for
// the selected items of the list clicked last. The lists themselves live in the core; this
// panel shows them and forwards drops, clicks and the button.
#include "site/Detail.h"
#include "site/IgnoreLists.h"

#include <QWidget>

#include <functional>

class MainView;
class QListWidget;
class QMimeData;

class DropPanel : public QWidget {
    Q_OBJECT
public:
    static constexpr int kWidth = 410;

    DropPanel(IgnoreLists &lists, MainView &view, QWidget *parent = nullptr);

    // Reads a dragged tree entry out of the drop's data; false for anything else (refused).
    std::function<bool(const QMimeData *, TDetail &)> decodeDrop;
    // Every drop first hides the details panel.
    std::function<void()> dropStarting;

    // Shows the core's lists again (after loading the settings, after a drop or a delete).
    void Reload();
    QListWidget *List(IgnoreListKind kind) const;
    // What a drop of `entry` on that list does (the drop handlers' common end).
    void DropEntry(IgnoreListKind kind, const TDetail &entry);
    void DeleteClicked();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void SelectionToCore(IgnoreListKind kind);

    IgnoreLists &lists_;
    MainView &view_;
    QListWidget *names_;
    QListWidget *lead_;
    QListWidget *extensions_;
};
