#pragma once
// A tab widget whose tabs can show a picture from its image list beside their caption.
#include <QIcon>
#include <QList>
#include <QTabWidget>

class TImagePageControl : public QTabWidget {
    Q_OBJECT
public:
    explicit TImagePageControl(QWidget *parent = nullptr) : QTabWidget(parent) {}

    // The pictures the tabs may show. Tabs that show a picture take the new list's.
    void SetImages(const QList<QIcon> &images);
    const QList<QIcon> &Images() const { return images_; }
    // Shows picture `image` of the list on tab `tab` (-1, or an index without a picture: none).
    void SetTabImage(int tab, int image);
    int TabImage(int tab) const { return tabImages_.value(tab, -1); }

private:
    void ApplyImage(int tab);

    QList<QIcon> images_;
    QList<int> tabImages_;
};
