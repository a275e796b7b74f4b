// motelog-report: one HTML page with charts and a summary of the stored readings.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <stdexcept>

#include "assemble.h"

namespace {

// Writes `html` into the file `path`; throws saying what failed and why, having removed
// the file when `removeonfailure`.
void writefile(const std::string& path, const std::string& html, bool removeonfailure) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) throw std::runtime_error("cannot write " + path + ": " + std::strerror(errno));
    const bool written = std::fwrite(html.data(), 1, html.size(), file) == html.size();
    const int writeerror = errno;
    if (std::fclose(file) == 0 && written) return;
    const int cause = written ? errno : writeerror;
    if (removeonfailure) std::remove(path.c_str());
    throw std::runtime_error("cannot write " + path + ": " + std::strerror(cause));
}

// The file that `path` names after following its symbolic links (which may point to
// nothing yet); `path` itself when it is no link.
std::string linkedfile(std::string path) {
    char target[PATH_MAX];
    for (int hops = 0; hops < 40; ++hops) {
        const ssize_t size = readlink(path.c_str(), target, sizeof target - 1);
        if (size <= 0) break;
        std::string next(target, static_cast<std::size_t>(size));
        const std::size_t slash = path.rfind('/');
        if (next[0] != '/' && slash != std::string::npos) next = path.substr(0, slash + 1) + next;
        path = next;
    }
    return path;
}

// A new or regular file is written beside and renamed, so a failed run never leaves half
// a page; through a link, beside the file it points to, so that the link stays. Anything
// else (a device, a pipe) is written as it is: renaming would replace it.
void writepage(const std::string& path, const std::string& html) {
    struct stat status {};
    if (stat(path.c_str(), &status) == 0 && !S_ISREG(status.st_mode))
        return writefile(path, html, false);
    const std::string target = linkedfile(path);
    const std::string temporary = target + ".part";
    writefile(temporary, html, true);
    if (std::rename(temporary.c_str(), target.c_str()) != 0) {
        const int cause = errno;
        std::remove(temporary.c_str());
        throw std::runtime_error("cannot rename " + temporary + " to " + target + ": " +
                                 std::strerror(cause));
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
                          : content.motes.empty()
                                ? " readings: the table is empty"
                                : " readings: the table holds none of " +
                                      report::motesnamed(content.motes))
                  << ")\n";
        return 0;
    } catch (const std::exception& error) {
        std::cerr << "motelog-report: " << error.what() << "\n";
        return 1;
    }
}
