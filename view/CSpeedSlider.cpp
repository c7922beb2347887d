#include "view/CSpeedSlider.h"

#include <QPainter>
#include <QStyle>
#include <QStyleOptionSlider>

CSpeedSlider::CSpeedSlider(Qt::Orientation orientation, QWidget* parent) : QSlider(orientation, parent)
{
}

void CSpeedSlider::paintEvent(QPaintEvent*)
{
    QStyleOptionSlider option;
    initStyleOption(&option);
    option.subControls = QStyle::SC_SliderGroove | QStyle::SC_SliderHandle;
    if (tickPosition() != QSlider::NoTicks) {
        option.subControls |= QStyle::SC_SliderTickmarks;
    }
    if (isSliderDown()) {
        option.activeSubControls = QStyle::SC_SliderHandle;
        option.state |= QStyle::State_Sunken;
    }
    // The mirrored value on the mirrored axis puts the thumb where it is and
    // moves the fill to the other end of the groove.
    option.upsideDown = !option.upsideDown;
    option.sliderPosition = option.maximum - (option.sliderPosition - option.minimum);
    option.sliderValue = option.maximum - (option.sliderValue - option.minimum);
    QPainter painter(this);
    style()->drawComplexControl(QStyle::CC_Slider, &option, &painter, this);
}
