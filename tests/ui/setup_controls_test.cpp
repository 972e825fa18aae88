// The small controls of the setup dialog: the tab control's pictures and the check box's looks.
#include "ui/CheckBox95.h"
#include "ui/PageControl.h"

#include <QPainter>
#include <QPixmap>
#include <QTest>

#include <gtest/gtest.h>

namespace {

QIcon Swatch(Qt::GlobalColor color)
{
    QPixmap pixmap(16, 16);
    pixmap.fill(color);
    return QIcon(pixmap);
}

} // namespace

TEST(ImagePageControl, TabsShowThePictureTheyAreGivenAndFollowANewList)
{
    TImagePageControl pages;
    pages.addTab(new QWidget, "One");
    pages.addTab(new QWidget, "Two");
    pages.SetImages({Swatch(Qt::red), Swatch(Qt::blue)});
    pages.SetTabImage(0, 1);
    pages.SetTabImage(1, 5); // no such picture
    pages.SetTabImage(7, 0); // no such tab
    EXPECT_FALSE(pages.tabIcon(0).isNull());
    EXPECT_TRUE(pages.tabIcon(1).isNull());
    EXPECT_EQ(pages.TabImage(0), 1);

    pages.SetImages({Swatch(Qt::green)}); // tab 0's picture 1 is gone now
    EXPECT_TRUE(pages.tabIcon(0).isNull());
    pages.SetTabImage(1, 0);
    EXPECT_FALSE(pages.tabIcon(1).isNull());
}

TEST(CheckBox95, AButtonLookOrPlacedTextTakesClicksOnTheWholeControl)
{
    TCheckBox95 plain("Start");
    plain.resize(300, 24);
    QTest::mouseClick(&plain, Qt::LeftButton, Qt::NoModifier, QPoint(290, 12)); // far right of the text
    EXPECT_FALSE(plain.isChecked());

    TCheckBox95 right("Start");
    right.SetHorAlignment(TCheckBox95::HorAlignment::haRight);
    right.SetWordWrap(true);
    right.resize(300, 40);
    QTest::mouseClick(&right, Qt::LeftButton, Qt::NoModifier, QPoint(290, 20));
    EXPECT_TRUE(right.isChecked());
    EXPECT_FALSE(right.grab().isNull()); // draws its own way without trouble

    TCheckBox95 button("Error");
    button.SetLikeButton(true);
    button.resize(button.sizeHint());
    EXPECT_GT(button.sizeHint().width(), button.fontMetrics().horizontalAdvance("Error"));
    QTest::mouseClick(&button, Qt::LeftButton, Qt::NoModifier, button.rect().center());
    EXPECT_TRUE(button.isChecked());
    QTest::mouseClick(&button, Qt::LeftButton, Qt::NoModifier, button.rect().center());
    EXPECT_FALSE(button.isChecked());
    EXPECT_FALSE(button.grab().isNull());
}
