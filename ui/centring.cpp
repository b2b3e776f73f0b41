#include "ui/centring.h"

namespace mirebolt::ui {

namespace {

// Where a span of `length` starts along one axis: centred on the centre's span, then pushed back
// inside the area's. Spans as the centring rule counts them: the end just past the last pixel.
int CentredStart(int centreStart, int centreEnd, int length, int areaStart, int areaEnd) {
    int start = (centreStart + centreEnd) / 2 - length / 2;
    if (start + length > areaEnd) {
        start = areaEnd - length;
    }
    if (start < areaStart) {
        start = areaStart;
    }
    return start;
}

}  // namespace

QPoint CentredPosition(QSize size, QRect workArea, std::optional<QRect> reference) {
    const QRect centre = reference.value_or(workArea);
    return QPoint(CentredStart(centre.left(), centre.left() + centre.width(), size.width(),
                               workArea.left(), workArea.left() + workArea.width()),
                  CentredStart(centre.top(), centre.top() + centre.height(), size.height(),
                               workArea.top(), workArea.top() + workArea.height()));
}

}  // namespace mirebolt::ui
