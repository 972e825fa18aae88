#include "ui/PageControl.h"

void TImagePageControl::SetImages(const QList<QIcon> &images)
{
    images_ = images;
    for (int tab = 0; tab < count(); ++tab)
        ApplyImage(tab);
}

void TImagePageControl::SetTabImage(int tab, int image)
{
    if (tab < 0 || tab >= count())
        return;
    while (tabImages_.size() <= tab)
        tabImages_.append(-1);
    tabImages_[tab] = image;
    ApplyImage(tab);
}

void TImagePageControl::ApplyImage(int tab)
{
    const int image = tabImages_.value(tab, -1);
    setTabIcon(tab, image >= 0 && image < images_.size() ? images_[image] : QIcon());
}
