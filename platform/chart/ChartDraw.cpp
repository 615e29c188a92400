#include "platform/chart/ChartDraw.h"

#include "platform/chart/Chart.h"

namespace pv {

// The background is all there is until the painter lands.
void DrawChart(const TCustomChart& Chart, TBitmap& Bitmap) {
    (void)Chart;
    (void)Bitmap;
}

}  // namespace pv
