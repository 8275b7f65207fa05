// The floor of the report's work: enumerate the datastore, read the times the selection rule needs
// (only for names that qualify), pick the newest formal file and read it whole. No parsing, no
// checking, no output beyond one line. tallyhive-report cannot be faster than this.
//
// usage: report_floor FOLDER
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>
#include <string>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: report_floor FOLDER\n");
        return 2;
    }
    const std::string folder = argv[1];
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) {
        std::perror("opendir");
        return 2;
    }
    std::string best;
    std::time_t bestTime = 0;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        const std::string path = folder + "/" + name;
        if (path.find("Formal") == std::string::npos) continue;
        const std::size_t dot = name.rfind('.');
        if (dot == std::string::npos) continue;
        std::string extension = name.substr(dot);
        for (char& c : extension) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
        if (extension != ".xml") continue;
        struct statx sx {};
        if (::statx(AT_FDCWD, path.c_str(), 0, STATX_TYPE | STATX_MTIME | STATX_BTIME, &sx) != 0) continue;
        if (!S_ISREG(sx.stx_mode)) continue;
        // The same creation time as the program's: the birth time unless it is later than mtime.
        std::time_t created = sx.stx_mtime.tv_sec;
        if ((sx.stx_mask & STATX_BTIME) && sx.stx_btime.tv_sec <= sx.stx_mtime.tv_sec)
            created = sx.stx_btime.tv_sec;
        // Through local calendar fields and back, as the rule compares them.
        std::tm local{};
        ::localtime_r(&created, &local);
        local.tm_isdst = -1;
        const std::time_t comparable = std::mktime(&local);
        if (bestTime == 0 || bestTime < comparable) {
            best = path;
            bestTime = comparable;
        }
    }
    ::closedir(dir);
    if (best.empty()) return 1;

    const int fd = ::open(best.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return 2;
    static char buffer[1 << 16];
    std::size_t total = 0;
    for (ssize_t got; (got = ::read(fd, buffer, sizeof buffer)) > 0;) total += static_cast<std::size_t>(got);
    ::close(fd);
    std::printf("%s %zu bytes\n", best.c_str(), total);
    return 0;
}
