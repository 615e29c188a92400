#!/bin/sh
# Installs the dependencies, builds, renders the sample chart of
# examples/sales.form (on the sample SQLite database the build makes from
# examples/sales.sql) into out/, writes the gallery, and serves the form's
# charts over HTTP until Ctrl-C.
#   PORT=8080 scripts/run.sh
set -eu
cd "$(dirname "$0")/.."
scripts/deps.sh
cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release -DPLOTVANE_TESTS=OFF
cmake --build build-release -j "$(nproc)"
mkdir -p out
PV=build-release/tools/plotvane
FORM=build-release/examples/sales.form
$PV render $FORM RevenueChart -o out/revenue.gif
$PV render $FORM RevenueChart -o out/revenue.jpg
$PV render $FORM RevenueChart -o out/revenue.png
$PV render $FORM RevenueChart -o out/revenue@2x.png --scale 2
$PV render $FORM RevenueChart -o out/revenue.svg
$PV render $FORM RevenueChart -o out/revenue-3d.png --set View3D=True --set Width=640 --set Height=400
$PV render $FORM RevenueChart -o out/revenue.map
$PV render $FORM RevenueChart -o out/revenue-target.png --set ReferenceLine.Value=20 --set "ReferenceLine.Caption='target'"
$PV render build-release/examples/regions.form GroupedChart -o out/regions-grouped.png
$PV render build-release/examples/regions.form StackedChart -o out/regions-stacked.png
$PV render build-release/examples/orders.form DailyChart -o out/orders-daily.png
$PV render build-release/examples/orders.form MonthlyChart -o out/orders-monthly.png
build-release/examples/gallery out/gallery
mkdir -p out/series-types
for CHART in BarChart HorizBarChart LineChart AreaChart PointChart PieChart; do
  $PV render build-release/examples/series-types.form $CHART -o out/series-types/$CHART.png
done
echo "Pictures written to out/ (revenue.gif, .jpg, .png, @2x.png, .svg, revenue-3d.png, revenue.map, revenue-target.png, regions-grouped.png, regions-stacked.png, orders-daily.png, orders-monthly.png, gallery/, series-types/)."
exec $PV serve $FORM --port "${PORT:-8080}"
