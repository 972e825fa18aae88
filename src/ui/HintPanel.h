#pragma once
// The floating details panel over the trees: a left click on an entry fills and shows it, the
// second pointer move afterwards hides it.
#include <QFrame>

class QLabel;
class SiteModel;
struct SiteNode;

class HintPanel : public QFrame {
    Q_OBJECT
public:
    static constexpr int kWidth = 310;
    static constexpr int kHeight = 100;
    static constexpr int kHeightWithActual = 140; // also showing the remote time before correction

    // `parent` is the area holding both trees; the panel floats over it.
    explicit HintPanel(QWidget *parent);

    // Supplies the site's saved times, the year and the options for the remote time correction.
    void SetModel(SiteModel *model) { model_ = model; }

    // Moves the panel next to the pointer (in the parent's coordinates) and makes it 100 high.
    void Place(QPoint pointer, int tag);
    // Fills the fields from the entry and shows the panel.
    void ShowEntry(const SiteNode &node, int tag);
    // One pointer move (over a tree, over the panel, or a drag move): the second one hides it.
    void CountMove();

protected:
    void mouseMoveEvent(QMouseEvent *event) override;

private:
    QLabel *AddValue(const char *name);

    SiteModel *model_ = nullptr;
    int hideCounter_ = 0;
    QLabel *nameLbl_, *dirLbl_, *dateLbl_, *timeLbl_, *typeLbl_, *actionLbl_, *sizeLbl_;
    QLabel *actualCaption_, *actualLabel_, *actualDateLbl_, *actualTimeLbl_;
    QLabel *actionImage_;
    QLabel *gmtCaption_, *gmtLabel_;
};

// The locale's time form without a time zone (the panel's "Time:" and "Actual:" values).
QString LocaleTimeText(double dateTime);
