// The speed slider's groove fill grows with the speed: none at speed 0
// (thumb at the bottom), the whole groove at 1000 km/h (thumb at the top).
// Drawn with the Fusion style, whose fill is the palette's highlight colour.
#include <gtest/gtest.h>

#include <QApplication>
#include <QColor>
#include <QImage>
#include <QStyle>
#include <QStyleFactory>

#include <memory>

#include "../QtApplicationEnvironment.h"
#include "view/CSpeedSlider.h"

namespace {

struct Fill {
    int pixels = 0;
    int top = -1;     // first row with fill
    int bottom = -1;  // last row with fill
};

// Pixels of the highlight's hue: saturated, unlike the grey groove and thumb.
Fill MeasureFill(int position)
{
    // A widget does not own the style it is given; this one outlives it.
    const std::unique_ptr<QStyle> fusion(QStyleFactory::create(QStringLiteral("Fusion")));
    CSpeedSlider slider(Qt::Vertical);
    slider.setStyle(fusion.get());
    slider.setInvertedAppearance(true);
    slider.setInvertedControls(true);
    slider.setRange(0, 1000);
    slider.setValue(position);
    slider.resize(30, 200);
    const QImage image = slider.grab().toImage();
    Fill fill;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor colour = image.pixelColor(x, y);
            if (colour.hsvSaturation() > 90 && colour.value() > 60) {
                ++fill.pixels;
                fill.top = fill.top < 0 ? y : fill.top;
                fill.bottom = y;
            }
        }
    }
    return fill;
}

TEST(CSpeedSlider, FillGrowsWithTheSpeed)
{
    const Fill stopped = MeasureFill(1000);
    const Fill half = MeasureFill(500);
    const Fill fastest = MeasureFill(0);
    EXPECT_LT(stopped.pixels, 20) << "at speed 0 the groove is (almost) empty";
    EXPECT_GT(half.pixels, stopped.pixels + 50);
    EXPECT_GT(fastest.pixels, half.pixels + 50);
    // At half speed the fill lies in the lower half, below the thumb.
    ASSERT_GE(half.top, 0);
    EXPECT_GT(half.top, 80);
    EXPECT_GT(half.bottom, 150);
}

}  // namespace
