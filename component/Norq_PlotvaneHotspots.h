#pragma once
// The areas of a chart's points written for web pages: an HTML image map,
// JSON for scripts, and an SVG document whose points are titled groups.

#include <string>
#include <vector>

#include "component/Norq_Plotvane.h"

namespace Norq_Plotvane {

// <map name="MapName"> with one <area> per area, in reverse drawing order
// (a browser takes the first area under the pointer: the one drawn last,
// which lies on top), each with shape, coords (whole pixels), title and
// alt (the hint) and href (the link, when there is one). Every text is
// escaped for an HTML attribute.
std::string HotspotMapHtml(const std::string& MapName, const std::vector<THotspotArea>& Areas);

// A JSON array of the areas, in drawing order: {"shape", "coords",
// "series", "seriesTitle", "index", "label", "value", "formatted", "url",
// "hint"}; value is null for a value JSON cannot spell.
std::string HotspotJson(const std::vector<THotspotArea>& Areas);

// Adds to an SVG document, over everything drawn, one group per area with
// the hint as its <title> and the area's shape filled transparently, so a
// browser shows the hint on hover; wrapped in <a href> when it has a link.
void AddHotspotsToSvg(std::string& Svg, const std::vector<THotspotArea>& Areas);

// Text escaped for an HTML or XML attribute or element: & < > " '.
std::string EscapeMarkup(const std::string& S);

}  // namespace Norq_Plotvane
