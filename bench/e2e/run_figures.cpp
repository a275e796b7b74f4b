#include "run_figures.h"

double percentile(const std::vector<double>& values, double share) {
    return values.empty() ? 0 : values[static_cast<std::size_t>(share * static_cast<double>(values.size() - 1))];
}

std::string tallyText(const Tally& tally) {
    return "lost: " + std::to_string(tally.lost) +
           " packets, duplicated: " + std::to_string(tally.duplicated) + " packets";
}
