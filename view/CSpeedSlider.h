#pragma once
// The speed slider, control 1017: a vertical trackbar whose position 0 (the
// top) is the fastest, 1000 km/h, and whose position at the bottom is 0 km/h.
// Qt's styles fill a slider's groove from its minimum position to the thumb,
// which here would grow as the speed falls (the whole groove filled at speed
// 0). This slider is drawn as its mirror image in values: the thumb stands
// exactly where the position puts it, and the fill runs from the bottom up
// to the thumb, so it grows with the speed. Positions, range, keys and mouse
// behave as any QSlider's.
#include <QSlider>

class CSpeedSlider : public QSlider {
    Q_OBJECT

public:
    explicit CSpeedSlider(Qt::Orientation orientation, QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};
