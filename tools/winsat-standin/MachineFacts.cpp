// The machine's description for the stand-in's assessment file, from /proc and /sys.
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include "tools/winsat-standin/StandIn.h"

namespace tallyhive::standin {

namespace {

std::string Trimmed(std::string text) {
    const auto notSpace = text.find_last_not_of(" \t\r\n");
    text.erase(notSpace == std::string::npos ? 0 : notSpace + 1);
    const auto first = text.find_first_not_of(" \t");
    return first == std::string::npos ? std::string() : text.substr(first);
}

std::string ReadSmallFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

std::string ReadLine(const std::string& path) {
    return Trimmed(ReadSmallFile(path));
}

}  // namespace

std::string ProcessorNameFromCpuinfo(const std::string& cpuinfo) {
    std::istringstream lines(cpuinfo);
    for (std::string line; std::getline(lines, line);) {
        const auto colon = line.find(':');
        if (colon == std::string::npos) continue;
        if (Trimmed(line.substr(0, colon)) == "model name") return Trimmed(line.substr(colon + 1));
    }
    return {};
}

MachineFacts ReadMachineFacts(const std::string& folder) {
    MachineFacts facts;
    facts.processorName = ProcessorNameFromCpuinfo(ReadSmallFile("/proc/cpuinfo"));
    const long pages = ::sysconf(_SC_PHYS_PAGES), pageSize = ::sysconf(_SC_PAGESIZE);
    if (pages > 0 && pageSize > 0)
        facts.totalPhysicalBytes =
            static_cast<unsigned long long>(pages) * static_cast<unsigned long long>(pageSize);

    const std::string dmi = "/sys/class/dmi/id/";
    facts.manufacturer = ReadLine(dmi + "sys_vendor");
    facts.productName = ReadLine(dmi + "product_name");
    facts.version = ReadLine(dmi + "product_version");
    facts.boardManufacturer = ReadLine(dmi + "board_vendor");
    facts.boardProduct = ReadLine(dmi + "board_name");

    // The block device of the folder's file system; a partition keeps its disk's model one level up.
    struct stat st {};
    if (::stat(folder.c_str(), &st) == 0) {
        const std::string device =
            "/sys/dev/block/" + std::to_string(major(st.st_dev)) + ":" + std::to_string(minor(st.st_dev));
        for (const std::string& base : {device + "/device/", device + "/../device/"}) {
            if (facts.diskModel.empty()) facts.diskModel = ReadLine(base + "model");
            // A bus's numeric vendor id ("0x1af4") names no maker a user would recognise.
            const std::string vendor = ReadLine(base + "vendor");
            if (facts.diskVendor.empty() && vendor.rfind("0x", 0) != 0) facts.diskVendor = vendor;
        }
    }
    return facts;
}

}  // namespace tallyhive::standin
