#include "app/ImageView.h"
#include "support/AppFixture.h"

#include <gtest/gtest.h>

#include <QScrollArea>

TEST(FitPictureRect, WideTallAndSmallPictures)
{
    // Wide: fills the width, height truncated, centred vertically.
    EXPECT_EQ(FitPictureRect(QSize(1000, 500), QSize(400, 400)), QRect(0, 100, 400, 200));
    // Wide but the fitted height would exceed the area: fills the height instead.
    EXPECT_EQ(FitPictureRect(QSize(1000, 900), QSize(400, 300)), QRect(33, 0, 333, 300));
    // Tall: fills the height.
    EXPECT_EQ(FitPictureRect(QSize(500, 1000), QSize(400, 400)), QRect(100, 0, 200, 400));
    // Square counts as tall.
    EXPECT_EQ(FitPictureRect(QSize(800, 800), QSize(400, 300)), QRect(50, 0, 300, 300));
    // Tall but the fitted width would exceed the area: fills the width.
    EXPECT_EQ(FitPictureRect(QSize(900, 1000), QSize(300, 600)), QRect(0, 133, 300, 333));
    // Truncation, not rounding: 3 / (3/2) = 2, 100 / 1.5 = 66.67 -> 66.
    EXPECT_EQ(FitPictureRect(QSize(300, 200), QSize(100, 100)), QRect(0, 17, 100, 66));
    // Small pictures are never enlarged, only centred (halves rounded toward zero).
    EXPECT_EQ(FitPictureRect(QSize(101, 51), QSize(400, 300)), QRect(149, 124, 101, 51));
    // Larger in one dimension only still scales.
    EXPECT_EQ(FitPictureRect(QSize(500, 100), QSize(400, 300)), QRect(0, 110, 400, 80));
    // Empty pictures and areas do not divide by zero.
    EXPECT_EQ(FitPictureRect(QSize(0, 0), QSize(400, 300)), QRect(200, 150, 0, 0));
    EXPECT_EQ(FitPictureRect(QSize(500, 0), QSize(400, 300)).width(), 500);
}

TEST(ImageView, SwitchingModesSizesThePictureControl)
{
    TAppFixture app;
    TfrmMain &main = app.Main();
    main.show();
    QImage picture(2000, 1500, QImage::Format_RGB32);
    picture.fill(Qt::blue);
    main.ImageHolder->SetPicture(picture);

    main.actOriginalSizeExecute();
    EXPECT_FALSE(main.actFitToWindow->isChecked());
    EXPECT_TRUE(main.actOriginalSize->isChecked());
    EXPECT_FALSE(main.sbImage->widgetResizable());
    EXPECT_EQ(main.ImageHolder->size(), QSize(2000, 1500));
    EXPECT_EQ(main.ImageHolder->pos(), QPoint(0, 0));

    main.actFitToWindowExecute();
    EXPECT_TRUE(main.actFitToWindow->isChecked());
    EXPECT_FALSE(main.actOriginalSize->isChecked());
    EXPECT_TRUE(main.sbImage->widgetResizable());
    EXPECT_EQ(main.ImageHolder->size(), main.sbImage->viewport()->size());

    // Choosing the checked mode again changes nothing.
    main.actFitToWindowExecute();
    EXPECT_TRUE(main.actFitToWindow->isChecked());
    EXPECT_FALSE(main.actOriginalSize->isChecked());
}
