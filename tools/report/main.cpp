// motelog-report: one HTML page with charts and a summary of the stored readings.
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <stdexcept>

#include "assemble.h"

namespace {

// Writes beside the target and renames, so a failed run never leaves half a page.
void writepage(const std::string& path, const std::string& html) {
    const std::string temporary = path + ".part";
    {
        std::ofstream file(temporary, std::ios::binary | std::ios::trunc);
        file << html;
        file.close();
        if (!file) throw std::runtime_error("cannot write " + temporary);
    }
    if (std::rename(temporary.c_str(), path.c_str()) != 0) {
        std::remove(temporary.c_str());
        throw std::runtime_error("cannot rename " + temporary + " to " + path);
    }
}

}  // namespace

int main(int argc, char** argv) {
    // A gnuplot that fails early closes its input; that must be an error, not a signal.
    std::signal(SIGPIPE, SIG_IGN);
    report::ReportOptions options;
    try {
        options = report::parsereportoptions(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const std::invalid_argument& error) {
        std::cerr << "motelog-report: " << error.what() << "\n";
        return 2;
    }
    if (options.help) {
        std::cout << report::reportusage();
        return 0;
    }
    if (options.connection.askpassword) {
        options.connection.password = std::string(getpass("Enter password: "));
        options.connection.askpassword = false;
    }
    try {
        const report::ReportContent content = report::assemblereport(options);
        writepage(options.out, report::renderpage(content));
        long long readings = 0;
        for (const report::SummaryRow& row : content.summary) readings += row.series.count;
        std::cout << "motelog-report: wrote " << options.out << " (" << readings
                  << (content.window
                          ? " readings from " + report::formatwall(content.window->since) + " to " +
                                report::formatwall(content.window->until)
                          : " readings: the table is empty")
                  << ")\n";
        return 0;
    } catch (const std::exception& error) {
        std::cerr << "motelog-report: " << error.what() << "\n";
        return 1;
    }
}
