#include "chart.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <stdexcept>

#include "filter.h"

namespace report {

const std::vector<Quantity>& quantities() {
    static const std::vector<Quantity> all = {
        {1, "Light", "light (lux)", "lux"},
        {2, "Temperature", "temperature (°F)", "°F"},
        {3, "Relative humidity", "relative humidity (%)", "%RH"},
    };
    return all;
}

namespace {

// Tick labels as fine as the window needs: seconds for minutes, hours for days.
const char* tickformat(const Window& window) {
    const long long length = window.until - window.since;
    if (length <= 15 * 60) return "%H:%M:%S";
    if (length <= 3 * 86400) return "%m-%d\\n%H:%M";
    return "%Y-%m-%d";
}

}  // namespace

// A window of one second still gets an x-axis of one second: gnuplot refuses an empty one.
std::string gnuplotscript(const Quantity& quantity, const std::vector<ChartLine>& lines,
                          const Window& window) {
    std::string script =
        "set terminal svg size 900,360 dynamic noenhanced font 'sans,11' background 'white'\n"
        "set encoding utf8\n"
        "set xdata time\n"
        "set timefmt '%s'\n"
        "set format x \"" +
        std::string(tickformat(window)) +
        "\"\n"
        "set xlabel 'time'\n"
        "set ylabel '" +
        std::string(quantity.axislabel) + "'\n" + "set xrange ['" + std::to_string(window.since) +
        "':'" + std::to_string(std::max(window.until, window.since + 1)) +
        "']\n"
        "set key outside right top\n"
        "set grid\n";
    char line[64];
    for (const ChartLine& chartline : lines) {
        script += "$mote" + std::to_string(chartline.moteid) + " << EOD\n";
        for (std::size_t run = 0; run < chartline.runs.size(); ++run) {
            if (run > 0) script += "\n";  // a blank line breaks the line
            for (const Point& point : chartline.runs[run]) {
                std::snprintf(line, sizeof line, "%lld %.10g\n", point.time, point.value);
                script += line;
            }
        }
        script += "EOD\n";
    }
    script += "plot";
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string mote = std::to_string(lines[i].moteid);
        // Points as well as lines: a run of one reading is still seen.
        script += std::string(i ? "," : "") + " $mote" + mote +
                  " using 1:2 with linespoints pointtype 7 pointsize 0.35 title 'mote " + mote +
                  "'";
    }
    return script + "\n";
}

std::string drawchart(const Quantity& quantity, const std::vector<ChartLine>& lines,
                      const Window& window) {
    // Without the user's ~/.gnuplot and the system's gnuplotrc, which could send the chart
    // elsewhere or change how it is drawn.
    const FilterResult result =
        runfilter("gnuplot", {"--default-settings"}, gnuplotscript(quantity, lines, window));
    const std::size_t start = result.out.find("<svg");
    if (result.status != 0 || result.signal != 0 || start == std::string::npos) {
        std::string why = result.err;
        while (!why.empty() && std::isspace(static_cast<unsigned char>(why.back()))) why.pop_back();
        const std::string ending =
            result.signal != 0 ? ": killed by signal " + std::to_string(result.signal) + " (" +
                                     strsignal(result.signal) + ")"
                               : " (status " + std::to_string(result.status) + ")";
        if (why.empty() && result.signal == 0) why = "no SVG in its output";
        throw std::runtime_error("gnuplot could not draw the " + std::string(quantity.title) +
                                 " chart" + ending + (why.empty() ? "" : ": " + why) +
                                 (result.status == 127 ? " (is gnuplot-nox installed?)" : ""));
    }
    return result.out.substr(start);
}

}  // namespace report
