#pragma once
// A check box that can look like a push button, place its text, wrap it and show a picture.
#include <QCheckBox>
#include <QIcon>

class QLabel;

class TCheckBox95 : public QCheckBox {
    Q_OBJECT
public:
    enum class HorAlignment { haLeft, haCenter, haRight };
    enum class VerAlignment { vaTop, vaCenter, vaBottom };

    explicit TCheckBox95(const QString &text, QWidget *parent = nullptr);

    bool LikeButton() const { return likeButton_; }
    void SetLikeButton(bool on);
    HorAlignment HorizontalAlignment() const { return horAlignment_; }
    void SetHorAlignment(HorAlignment alignment);
    VerAlignment VerticalAlignment() const { return verAlignment_; }
    void SetVerAlignment(VerAlignment alignment);
    bool WordWrap() const { return wordWrap_; }
    void SetWordWrap(bool on);
    void SetPicture(const QIcon &picture);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;
    bool hitButton(const QPoint &pos) const override;

private:
    Qt::Alignment TextAlignment() const;

    bool likeButton_ = false;
    HorAlignment horAlignment_ = HorAlignment::haLeft;
    VerAlignment verAlignment_ = VerAlignment::vaCenter;
    bool wordWrap_ = false;
};
