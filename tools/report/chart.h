// The chart of one quantity, drawn by gnuplot as SVG.
#pragma once

#include <string>
#include <vector>

#include "buckets.h"
#include "series.h"

namespace report {

// A converted data type and how its chart is labelled.
struct Quantity {
    int datatype;
    const char* title;      // "Light"
    const char* axislabel;  // "light (lux)"
    const char* unit;       // "lux"
};

// Light, temperature and humidity: the data types the logger converts.
const std::vector<Quantity>& quantities();

// One line of a chart: a mote's runs of points.
struct ChartLine {
    int moteid;
    std::vector<Run> runs;
};

// The gnuplot commands that draw `lines` over `window` as SVG on standard output, data
// included.
std::string gnuplotscript(const Quantity& quantity, const std::vector<ChartLine>& lines,
                          const Window& window);

// The SVG element of the chart (without an XML declaration, ready to go inline into a
// page). Throws std::runtime_error with gnuplot's own message when it fails.
std::string drawchart(const Quantity& quantity, const std::vector<ChartLine>& lines,
                      const Window& window);

}  // namespace report
